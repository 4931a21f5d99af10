#pragma once

#include "scheduler/ScheduleClock.h"

#include <QDate>
#include <QObject>
#include <QString>

#include <vector>

namespace zelvar {

// One alarm: a panel button to fire once at a local date and second.
struct ScheduleRow
{
    int button = 0;   // index in the panel's button list, from 1; 0 for none chosen
    QDate date;
    QString timeText; // as the user left it; read as a time of day when needed
    bool armed = false;
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
// time can do harm. A row fires once: firing disarms it, so a clock set back never fires
// it again.
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
        Unreadable, // the time text is not a time of day, or that day's clock never shows it
        Passed,     // its second is over
    };

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

    // Changing an armed row's date or time leaves it armed for the new second.
    void setDate(int i, const QDate &date);
    void setTimeText(int i, const QString &text);
    void setButton(int i, int button);

    // Arms row i unless a rule forbids it: with two rows or more, no two time texts may be
    // equal (whatever their dates); the text must read as a time of day on the row's date;
    // its second must not be over. A row armed during its own second fires at once.
    Arming arm(int i);
    void disarm(int i);

    // What the user is told when arming is refused.
    QString refusal(Arming result, int i) const;

    // The local instant of row i's second, when its date and time text give one.
    std::optional<qint64> instantOf(int i) const;

    // Looks at the clock now (the timer does it on its own).
    void check();

signals:
    void fired(int row, int button);
    // The look at checkedAtMs came too late for the row's second.
    void missed(int row, qint64 checkedAtMs);
    // An armed row's time text stopped being a time: the row is disarmed.
    void unreadable(int row);

private:
    struct Slot
    {
        ScheduleRow row;
        quint64 id = 0;
        bool atOnce = false; // armed during its own second
    };

    bool anyArmed() const;
    int indexOf(quint64 id) const;
    void scheduleNextLook();

    ScheduleClock &m_clock;
    std::vector<Slot> m_rows;
    quint64 m_nextId = 1;
    qint64 m_lastCheck = 0;
};

} // namespace zelvar
