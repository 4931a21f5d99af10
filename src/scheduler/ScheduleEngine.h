#pragma once

#include "scheduler/Recurrence.h"
#include "scheduler/ScheduleClock.h"

#include <QByteArray>
#include <QDate>
#include <QHash>
#include <QObject>
#include <QString>

#include <optional>
#include <vector>

namespace zelvar {

// One alarm: a panel button to fire at a local date and second, or at each occurrence of
// a repeating time from its date on.
struct ScheduleRow
{
    int button = 0;   // index in the panel's button list, from 1; 0 for none chosen
    QDate date;       // the day it fires once, or the first day a repeating row may fire
    QString timeText; // as the user left it; read as a time of day when needed, unused for the sun
    Recurrence recurrence;
    // A period: its start fires `button`, its end `end->button`, and the relay is put back in
    // the state it should be in whenever the host asks (at its start, when its port is back).
    std::optional<PeriodEnd> end;
    int reassertMinutes = 0; // a period also says its state this often; 0 for never
    bool armed = false;

    // Only rows that fire once at a clock time are held to distinct time texts.
    bool heldToDistinctTimes() const
    {
        return !recurrence.repeats() && recurrence.sun == Recurrence::Sun::None && !end;
    }
    // Rows with more than one instant to wait for: repeating rows and periods.
    bool hasOccurrences() const { return recurrence.repeats() || end.has_value(); }
    // The days that have an occurrence, from the row's date on: that date alone for a row that
    // does not repeat.
    bool firesOn(const QDate &day) const
    {
        return recurrence.repeats() ? day >= date && recurrence.firesOn(day) : day == date;
    }
};

// Decides which alarm fires when. Rows are numbered from 1 in the order they were added;
// removing one moves the later ones up.
//
// The engine looks at the wall clock just after every whole second while a row is armed,
// and each look fires, in row order, every armed row whose second lies after the previous
// look and no later than now. So a late look (a blocked user-interface thread, a slow
// machine) still fires every alarm it passed, once. A look that comes more than a minute
// after a row's second (the machine slept, the clock was set forward) fires nothing for
// it: the row is disarmed and reported missed, because switching a relay long after its
// time can do harm. An armed row whose second is at or before the previous look (its time
// or date was changed, or the time zone) is reported missed too. A row that fires once is
// disarmed by its firing, so a clock set back never fires it again. A repeating row stays
// armed and waits for its next occurrence after each firing or miss; its occurrences are
// counted by day, so the hour the autumn change repeats fires once.
//
// Each row keeps its instant until its date, its time text, its recurrence, the place or
// the time zone changes, or its occurrence passes, so a look costs little whatever the
// number of rows.
//
// A period waits for its start, then its end, on each of its days; a look that finds one of
// them missed, an edit of the period, arming it, `reassertMinutes` and the host's request
// (assertPeriods) have it say the state its relay should be in now: asserted(). Periods that
// share a start or an end button drive one output, which stays in the start's state while any
// of them is inside: the others' ends and "outside" states are not sent meanwhile.
//
// Signals are emitted from inside the look, after the row has been disarmed; a handler may
// run an event loop (a message box) and change the rows meanwhile.
class ScheduleEngine : public QObject
{
    Q_OBJECT

public:
    enum class Arming {
        Armed,
        Duplicate,  // two rows have the same time text
        Unreadable, // the time text is not a time of day
        Skipped,    // the row's day never shows that time on the local clock
        Passed,     // its second is over
        NoPlace,    // a sun row without a place to compute the sun for
        NoSun,      // the sun does not rise or set on its day(s)
        Done,       // its one occurrence was already fired or reported missed
    };
    Q_ENUM(Arming)
    enum class Miss {
        Late,  // the look came more than a minute after the row's second
        Moved, // the row's second was moved to before a look already made
    };
    Q_ENUM(Miss)

    // How late a look may come after a row's second and still fire it.
    static constexpr qint64 GraceMs = 60 * 1000;
    // Looks come this long after the whole second, so that the wall clock has reached it.
    static constexpr int LookAfterSecondMs = 2;

    explicit ScheduleEngine(ScheduleClock &clock, QObject *parent = nullptr);
    ~ScheduleEngine() override;

    int count() const { return int(m_rows.size()); }
    // 1 <= i <= count()
    const ScheduleRow &row(int i) const { return m_rows[size_t(i - 1)].row; }

    // Adds a disarmed row at the end; returns its number.
    int addRow(const QDate &date, const QString &timeText, int button = 0);
    void removeRow(int i);
    void clear();

    // Changing an armed row's date or time leaves it armed for the new second, unless the
    // new values could not be armed (a time text another row has, or one that is not a time
    // on that day): the row is then disarmed and stopped() says why. A new second already
    // looked at is reported missed by the next look.
    void setDate(int i, const QDate &date);
    void setTimeText(int i, const QString &text);
    void setButton(int i, int button);
    void setRecurrence(int i, const Recurrence &recurrence);
    // Makes row i a period ending so, or a row that fires once per occurrence (none).
    void setEnd(int i, const std::optional<PeriodEnd> &end);
    void setReassert(int i, int minutes);
    // Where the sun's times are computed; none leaves sun rows unable to fire.
    void setPlace(const std::optional<GeoPlace> &place);
    const std::optional<GeoPlace> &place() const { return m_place; }

    // Arms row i unless a rule forbids it: with two rows or more that fire once at a clock
    // time, no two of their time texts may be equal (whatever their dates); the text must
    // read as a time of day that the row's day shows; its second must not be over. A
    // repeating row arms for its first occurrence still ahead. A row armed during its own
    // second fires at once.
    Arming arm(int i);
    void disarm(int i);
    // Arms row i as a host does when it starts or reads its rows again: `accountedUntil` is
    // the last occurrence it fired or reported missed (or when it first armed the row). The
    // latest occurrence after it that is over is caught up once, by the next look: fired
    // when its second is less than GraceMs old, reported missed otherwise. A row that fires
    // once and whose occurrence is accounted for stays disarmed: Done.
    Arming resume(int i, std::optional<qint64> accountedUntil);

    bool anyArmed() const;
    // The earliest second an armed row waits for.
    std::optional<qint64> nextInstant() const;

    // What the user is told when arming is refused.
    QString refusal(Arming result, int i) const;
    // Why row i cannot be armed, in a few words that fit in a sentence.
    QString reason(Arming result, int i) const;

    // The local instant of row i's second (an armed repeating row's next occurrence), when
    // its values give one.
    std::optional<qint64> instantOf(int i) const;
    // "à 07:30:00", "au coucher du soleil + 15 min"
    QString timeOf(int i) const;
    // The first second at or after notBefore that row i would fire at if it were armed now;
    // none when its values give none.
    std::optional<qint64> nextOccurrence(int i, qint64 notBefore) const;
    // The next `n` seconds armed row i fires at, from the one it waits for; none when disarmed.
    std::vector<qint64> upcoming(int i, int n) const;
    // The same with the button each one fires (a period's end fires its end button).
    struct Upcoming
    {
        qint64 at;
        int button;
    };
    std::vector<Upcoming> upcomingEvents(int i, int n) const;

    // Looks at the clock now (the timer does it on its own).
    void check();

    // Whether `ms` lies within one of period row i's occurrences, from its start to its end.
    bool insidePeriod(int i, qint64 ms) const;
    // Has every armed period, or row i alone, say its state at the next look, at once.
    void assertPeriods();
    void assertPeriod(int i);

signals:
    // dueMs is the row's second, which a late look fires after. A period's end fires its end
    // button.
    void fired(int row, int button, qint64 dueMs);
    // The state armed period `row` should be in now: `button` is its start button when the
    // clock is inside the period, its end button otherwise. Sent as a firing is.
    void asserted(int row, int button, bool inside);
    // The look at checkedAtMs found the row's second, dueMs, missed.
    void missed(int row, qint64 checkedAtMs, ScheduleEngine::Miss why, qint64 dueMs);
    // An armed row was edited into values it could not be armed with: it is disarmed.
    void stopped(int row, ScheduleEngine::Arming why);
    // Which rows are armed, or the second one of them waits for, changed.
    void armedChanged();
    // A repeating sun row found no such event on these days (polar night or day): it fires
    // on the next day that has one.
    void sunless(int row, const QDate &from, const QDate &to);

private:
    struct Slot
    {
        ScheduleRow row;
        quint64 id = 0;
        bool atOnce = false; // armed during its own second
        QDate occurrence;    // the day of a repeating row's or a period's pending occurrence
        bool atEnd = false;  // the pending instant is the end of that day's period
        bool assertPending = false;
        qint64 nextAssert = 0; // when a period with reassertMinutes says its state again
        // The instant of the row's second, kept until its date, text or the zone changes.
        mutable bool instantKnown = false;
        mutable std::optional<qint64> instant;
    };

    Slot &slot(int i) { return m_rows[size_t(i - 1)]; }
    const Slot &slot(int i) const { return m_rows[size_t(i - 1)]; }
    // Why row i could not be armed now, leaving aside whether its second is over; with
    // anyPair, any two rows with one text forbid it, else only another row with row i's.
    Arming armable(int i, bool anyPair) const;
    // After an edit of row i: an armed row that can no longer be armed stops.
    void edited(int i);
    void countText(const ScheduleRow &row, int delta);
    // Sets a field that decides whether and how row i counts among the time texts.
    template <typename T>
    void recount(int i, T ScheduleRow::*field, const T &value)
    {
        Slot &s = slot(i);
        if (s.row.*field == value)
            return;
        countText(s.row, -1);
        s.row.*field = value;
        countText(s.row, +1);
        s.instantKnown = false;
        edited(i);
    }
    // Moves repeating row i to its first occurrence at or after notBefore, from day `from`
    // on; false when none comes within a year. Days without the sun's event go to *sunless.
    struct Sunless
    {
        QDate from, to;
    };
    bool seek(int i, QDate from, qint64 notBefore, Sunless *sunless);
    struct Occurrence
    {
        QDate day;
        qint64 instant;
        bool end = false; // a period's end
    };
    // The instant of the start or end of row i's occurrence on `day`, when it has one.
    std::optional<qint64> eventOn(const ScheduleRow &row, const QDate &day, bool end) const;
    // Whether another armed period that drives row i's output (its start or end button is
    // row i's) is inside its period at `ms`.
    bool anotherInside(int i, qint64 ms) const;
    // Why armed row i has no instant left to wait for.
    Arming noOccurrence(int i) const;
    std::optional<Occurrence> occurrence(int i, QDate from, qint64 notBefore, Sunless *sunless) const;
    QDate dayOf(qint64 ms) const;
    // Forgets every instant when the local time zone changed; true then.
    bool followZone(qint64 now);
    int indexOf(quint64 id) const;
    void scheduleNextLook();

    ScheduleClock &m_clock;
    std::vector<Slot> m_rows;
    // How many rows have each time text, and how many texts are on two rows or more.
    QHash<QString, int> m_textCount;
    int m_sharedTexts = 0;
    quint64 m_nextId = 1;
    qint64 m_lastCheck = 0;
    QByteArray m_zoneId;
    int m_zoneOffset = 0;
    std::optional<GeoPlace> m_place;
};

} // namespace zelvar
