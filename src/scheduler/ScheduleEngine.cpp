#include "scheduler/ScheduleEngine.h"

#include "scheduler/ScheduleTime.h"

#include <QDateTime>
#include <QLocale>
#include <QTimeZone>

#include <algorithm>
#include <cstdlib>

namespace zelvar {

namespace {

qint64 startOfSecond(qint64 ms)
{
    return ms - ((ms % 1000) + 1000) % 1000;
}

} // namespace

ScheduleEngine::ScheduleEngine(ScheduleClock &clock, QObject *parent) : QObject(parent), m_clock(clock) {}

ScheduleEngine::~ScheduleEngine()
{
    m_clock.cancel();
}

int ScheduleEngine::addRow(const QDate &date, const QString &timeText, int button)
{
    Slot slot;
    slot.row.date = date;
    slot.row.timeText = timeText;
    slot.row.button = button;
    slot.id = m_nextId++;
    m_rows.push_back(slot);
    countText(slot.row, +1);
    return count();
}

void ScheduleEngine::removeRow(int i)
{
    const bool wasArmed = row(i).armed;
    countText(row(i), -1);
    m_rows.erase(m_rows.begin() + (i - 1));
    scheduleNextLook();
    if (wasArmed)
        emit armedChanged();
}

void ScheduleEngine::clear()
{
    const bool wasArmed = anyArmed();
    m_rows.clear();
    m_textCount.clear();
    m_sharedTexts = 0;
    m_clock.cancel();
    if (wasArmed)
        emit armedChanged();
}

void ScheduleEngine::countText(const ScheduleRow &row, int delta)
{
    if (!row.heldToDistinctTimes())
        return;
    const QString &text = row.timeText;
    int &n = m_textCount[text];
    const bool sharedBefore = n >= 2;
    n += delta;
    const bool sharedAfter = n >= 2;
    m_sharedTexts += int(sharedAfter) - int(sharedBefore);
    if (n <= 0)
        m_textCount.remove(text);
}

void ScheduleEngine::setDate(int i, const QDate &date)
{
    Slot &s = slot(i);
    if (s.row.date == date)
        return;
    s.row.date = date;
    s.instantKnown = false;
    edited(i);
}

void ScheduleEngine::setTimeText(int i, const QString &text)
{
    recount(i, &ScheduleRow::timeText, text);
}

void ScheduleEngine::setButton(int i, int button)
{
    slot(i).row.button = button;
}

void ScheduleEngine::setRecurrence(int i, const Recurrence &recurrence)
{
    recount(i, &ScheduleRow::recurrence, recurrence);
}

void ScheduleEngine::setEnd(int i, const std::optional<PeriodEnd> &end)
{
    recount(i, &ScheduleRow::end, end);
}

void ScheduleEngine::setReassert(int i, int minutes)
{
    Slot &s = slot(i);
    s.row.reassertMinutes = std::max(0, minutes);
    s.nextAssert = m_clock.nowMs() + qint64(s.row.reassertMinutes) * 60 * 1000;
}

void ScheduleEngine::setPlace(const std::optional<GeoPlace> &place)
{
    if (m_place == place)
        return;
    m_place = place;
    for (int i = 1; i <= count(); ++i) {
        const ScheduleRow &r = row(i);
        if (r.recurrence.sun == Recurrence::Sun::None && !(r.end && r.end->sun != Recurrence::Sun::None))
            continue;
        slot(i).instantKnown = false;
        edited(i);
    }
}

QDate ScheduleEngine::dayOf(qint64 ms) const
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::LocalTime).date();
}

std::optional<ScheduleEngine::Occurrence> ScheduleEngine::occurrence(int i, QDate from, qint64 notBefore,
                                                                      Sunless *sunless) const
{
    const Slot &s = slot(i);
    const Recurrence &r = s.row.recurrence;
    // A sun event with its offset, or a period's end, may fall on the next or the previous date.
    from = std::max({from, s.row.date, dayOf(notBefore).addDays(-1)});
    const QDate last = r.repeats() ? from.addDays(366) : s.row.date;
    for (QDate day = from; day <= last; day = day.addDays(1)) {
        if (!s.row.firesOn(day))
            continue;
        const std::optional<qint64> instant = eventOn(s.row, day, false);
        if (!instant) {
            if (sunless && r.sun != Recurrence::Sun::None) {
                if (!sunless->from.isValid())
                    sunless->from = day;
                sunless->to = day;
            }
            continue;
        }
        if (*instant >= notBefore)
            return Occurrence{day, *instant};
        if (!s.row.end)
            continue;
        if (const std::optional<qint64> end = eventOn(s.row, day, true); end && *end >= notBefore)
            return Occurrence{day, *end, true};
    }
    return std::nullopt;
}

std::optional<qint64> ScheduleEngine::eventOn(const ScheduleRow &row, const QDate &day, bool end) const
{
    const std::optional<qint64> start = row.recurrence.instantOn(day, row.timeText, m_place);
    if (!end || !start || !row.end)
        return start;
    // An end time the spring change skips ends the period at the first second after it.
    const Recurrence ending{Recurrence::EveryDay, row.end->sun, row.end->offsetMinutes};
    const std::optional<qint64> sameDay = ending.instantOn(day, row.end->timeText, m_place);
    if (sameDay && *sameDay > *start)
        return sameDay;
    const std::optional<qint64> nextDay = ending.instantOn(day.addDays(1), row.end->timeText, m_place);
    return nextDay && *nextDay > *start ? nextDay : std::nullopt;
}

bool ScheduleEngine::insidePeriod(int i, qint64 ms) const
{
    const ScheduleRow &r = row(i);
    if (!r.end)
        return false;
    const QDate today = dayOf(ms);
    for (const QDate &day : {today.addDays(-1), today}) {
        if (!r.firesOn(day))
            continue;
        const std::optional<qint64> start = eventOn(r, day, false);
        const std::optional<qint64> end = eventOn(r, day, true);
        if (start && end && *start <= ms && ms < *end)
            return true;
    }
    return false;
}

bool ScheduleEngine::anotherInside(int i, qint64 ms) const
{
    const ScheduleRow &r = row(i);
    for (int j = 1; j <= count(); ++j) {
        const ScheduleRow &other = row(j);
        if (j != i && other.armed && other.end && r.end
            && (other.button == r.button || other.end->button == r.end->button) && insidePeriod(j, ms))
            return true;
    }
    return false;
}

void ScheduleEngine::assertPeriods()
{
    for (int i = 1; i <= count(); ++i)
        assertPeriod(i);
}

void ScheduleEngine::assertPeriod(int i)
{
    Slot &s = slot(i);
    if (!s.row.armed || !s.row.end)
        return;
    s.assertPending = true;
    m_clock.singleShot(0, [this] { check(); });
}

bool ScheduleEngine::seek(int i, QDate from, qint64 notBefore, Sunless *sunless)
{
    Slot &s = slot(i);
    const std::optional<Occurrence> next = occurrence(i, from, notBefore, sunless);
    s.occurrence = next ? next->day : QDate();
    s.atEnd = next && next->end;
    s.instant = next ? std::optional<qint64>(next->instant) : std::nullopt;
    s.instantKnown = true;
    return next.has_value();
}

void ScheduleEngine::edited(int i)
{
    Slot &s = slot(i);
    if (!s.row.armed)
        return;
    // The new second follows the ordinary rules, even within the second under way.
    s.atOnce = false;
    // Only the edited row's own text counts here: other rows' duplicates are not its fault.
    Arming why = armable(i, false);
    // A repeating row or a period waits for its first instant after the last look.
    if (why == Arming::Armed && s.row.hasOccurrences() && !seek(i, QDate(), m_lastCheck + 1, nullptr))
        why = noOccurrence(i);
    if (why != Arming::Armed) {
        s.row.armed = false;
        s.assertPending = false;
        scheduleNextLook();
    } else if (s.row.end) {
        // The period changed: its relay follows at once.
        assertPeriod(i);
    }
    emit armedChanged();
    if (why != Arming::Armed)
        emit stopped(i, why);
}

std::optional<qint64> ScheduleEngine::instantOf(int i) const
{
    const Slot &s = slot(i);
    if (!s.instantKnown) {
        const QDate day = s.row.hasOccurrences() ? s.occurrence : s.row.date;
        s.instant = eventOn(s.row, day, s.row.end && s.atEnd);
        s.instantKnown = true;
    }
    return s.instant;
}

ScheduleEngine::Arming ScheduleEngine::noOccurrence(int i) const
{
    const ScheduleRow &r = row(i);
    if (r.recurrence.sun != Recurrence::Sun::None || (r.end && r.end->sun != Recurrence::Sun::None))
        return Arming::NoSun;
    if (r.recurrence.repeats())
        return Arming::Unreadable;
    // A period that does not repeat: its day skips its start, or it is over.
    return eventOn(r, r.date, false) ? Arming::Passed : Arming::Skipped;
}

bool ScheduleEngine::followZone(qint64 now)
{
    // The zone's name alone misses a zone file copied over; its offset now alone misses a
    // zone that differs only in its summer time: either change forgets every instant.
    const QByteArray id = QTimeZone::systemTimeZoneId();
    const int offset = QDateTime::fromMSecsSinceEpoch(now, Qt::LocalTime).offsetFromUtc();
    if (id == m_zoneId && offset == m_zoneOffset)
        return false;
    m_zoneId = id;
    m_zoneOffset = offset;
    for (const Slot &s : m_rows)
        s.instantKnown = false;
    return true;
}

ScheduleEngine::Arming ScheduleEngine::armable(int i, bool anyPair) const
{
    const Slot &s = slot(i);
    const Recurrence &r = s.row.recurrence;
    if (s.row.heldToDistinctTimes()
        && (anyPair ? m_sharedTexts > 0 : m_textCount.value(s.row.timeText) > 1))
        return Arming::Duplicate;
    const std::optional<PeriodEnd> &end = s.row.end;
    if (!s.row.date.isValid() || (r.sun == Recurrence::Sun::None && !readTimeOfDay(s.row.timeText))
        || (end && end->sun == Recurrence::Sun::None && !readTimeOfDay(end->timeText)))
        return Arming::Unreadable;
    if ((r.sun != Recurrence::Sun::None || (end && end->sun != Recurrence::Sun::None)) && (!m_place || !m_place->isValid()))
        return Arming::NoPlace;
    // The occurrence of a repeating row or a period is sought when it is armed.
    if (!s.row.hasOccurrences() && !instantOf(i))
        return r.sun == Recurrence::Sun::None ? Arming::Skipped : Arming::NoSun;
    return Arming::Armed;
}

ScheduleEngine::Arming ScheduleEngine::arm(int i)
{
    const qint64 now = m_clock.nowMs();
    followZone(now);
    // Arming compares every pair of rows: any two with one text refuse it.
    if (const Arming refused = armable(i, true); refused != Arming::Armed)
        return refused;
    Sunless dark;
    if (row(i).hasOccurrences() && !seek(i, QDate(), startOfSecond(now), &dark))
        return noOccurrence(i);
    const qint64 instant = *instantOf(i);
    if (instant < startOfSecond(now))
        return Arming::Passed;
    if (!anyArmed())
        m_lastCheck = now;
    Slot &s = slot(i);
    s.row.armed = true;
    s.atOnce = instant <= now;
    // An armed period puts its relay in the state it should be in at once.
    s.assertPending = s.row.end.has_value();
    if (s.atOnce || s.assertPending)
        m_clock.singleShot(0, [this] { check(); });
    else
        scheduleNextLook();
    emit armedChanged();
    if (dark.from.isValid())
        emit sunless(i, dark.from, dark.to);
    return Arming::Armed;
}

ScheduleEngine::Arming ScheduleEngine::resume(int i, std::optional<qint64> accountedUntil)
{
    const qint64 now = m_clock.nowMs();
    followZone(now);
    if (const Arming refused = armable(i, true); refused != Arming::Armed)
        return refused;
    Slot &s = slot(i);
    const qint64 second = startOfSecond(now);
    std::optional<Occurrence> due;
    if (s.row.end) {
        // A period is not caught up: the host has it say the state it should be in.
        const std::optional<qint64> end = eventOn(s.row, s.row.date, true);
        if (!s.row.recurrence.repeats() && accountedUntil && end && *end <= *accountedUntil)
            return Arming::Done;
        return arm(i);
    }
    if (!s.row.recurrence.repeats()) {
        const qint64 instant = *instantOf(i);
        if (accountedUntil && instant <= *accountedUntil)
            return Arming::Done;
        if (instant < second)
            due = Occurrence{s.row.date, instant};
    } else if (accountedUntil) {
        // Only the latest occurrence over is caught up: a long stop is one miss, not many.
        constexpr qint64 LookBackMs = 400LL * 24 * 3600 * 1000;
        std::optional<Occurrence> next = occurrence(i, QDate(), std::max(*accountedUntil + 1, now - LookBackMs), nullptr);
        while (next && next->instant < second) {
            due = next;
            next = occurrence(i, next->day.addDays(1), next->instant + 1, nullptr);
        }
        if (due) {
            s.occurrence = due->day;
            s.instant = due->instant;
            s.instantKnown = true;
        }
    }
    if (!due) {
        const Arming result = arm(i);
        // A clock set back since: the occurrence already dealt with does not come again.
        if (result == Arming::Armed && accountedUntil && instantOf(i).value_or(0) <= *accountedUntil) {
            if (!seek(i, QDate(), *accountedUntil + 1, nullptr)) {
                disarm(i);
                return Arming::Done;
            }
            scheduleNextLook();
        }
        return result;
    }
    if (!anyArmed())
        m_lastCheck = now;
    s.row.armed = true;
    s.atOnce = true;
    m_clock.singleShot(0, [this] { check(); });
    emit armedChanged();
    return Arming::Armed;
}

std::optional<qint64> ScheduleEngine::nextOccurrence(int i, qint64 notBefore) const
{
    const std::optional<Occurrence> next = occurrence(i, dayOf(notBefore), notBefore, nullptr);
    return next ? std::optional(next->instant) : std::nullopt;
}

std::vector<qint64> ScheduleEngine::upcoming(int i, int n) const
{
    std::vector<qint64> instants;
    for (const Upcoming &event : upcomingEvents(i, n))
        instants.push_back(event.at);
    return instants;
}

std::vector<ScheduleEngine::Upcoming> ScheduleEngine::upcomingEvents(int i, int n) const
{
    std::vector<Upcoming> events;
    const ScheduleRow &r = row(i);
    if (!r.armed || n <= 0)
        return events;
    const std::optional<qint64> first = instantOf(i);
    if (!first)
        return events;
    const auto buttonOf = [&r](bool end) { return end && r.end ? r.end->button : r.button; };
    events.push_back({*first, buttonOf(slot(i).atEnd)});
    if (!r.hasOccurrences())
        return events;
    QDate day = slot(i).occurrence;
    while (int(events.size()) < n) {
        const std::optional<Occurrence> next = occurrence(i, day, events.back().at + 1, nullptr);
        if (!next)
            break;
        events.push_back({next->instant, buttonOf(next->end)});
        day = next->day;
    }
    return events;
}

void ScheduleEngine::disarm(int i)
{
    Slot &s = slot(i);
    const bool wasArmed = s.row.armed;
    s.row.armed = false;
    s.atOnce = false;
    s.assertPending = false;
    scheduleNextLook();
    if (wasArmed)
        emit armedChanged();
}

QString ScheduleEngine::reason(Arming result, int i) const
{
    const ScheduleRow &r = row(i);
    const QString date = QLocale::system().toString(r.date, QLocale::ShortFormat);
    switch (result) {
    case Arming::Armed:
        return QString();
    case Arming::Duplicate:
        return QStringLiteral("une autre ligne a la même heure « %1 »").arg(r.timeText.trimmed());
    case Arming::Unreadable:
        if (!r.date.isValid())
            return QStringLiteral("la date n'est pas valide");
        return QStringLiteral("« %1 » n'est pas une heure (hh:mm:ss attendu)").arg(r.timeText.trimmed());
    case Arming::Skipped:
        return QStringLiteral("le %1 à %2 ").arg(date, r.timeText.trimmed()) + notInLocalTime();
    case Arming::Passed:
        return QStringLiteral("le %1 %2 est déjà passé").arg(date, timeOf(i));
    case Arming::NoPlace:
        return QStringLiteral("aucun lieu n'est réglé pour les heures du soleil (page « Lieu » des réglages)");
    case Arming::Done:
        return QStringLiteral("déjà déclenchée ou manquée");
    case Arming::NoSun:
        return r.recurrence.repeats()
                   ? QStringLiteral("le soleil ne se lève ou ne se couche pas de toute l'année à ce lieu")
                   : QStringLiteral("le %1, le soleil ne se lève ou ne se couche pas à ce lieu").arg(date);
    }
    return QString();
}

namespace {

// "07:30:00", "coucher du soleil + 15 min"; `sunWord` says whether it is the sun's.
QString momentText(const QString &timeText, Recurrence::Sun sun, int offsetMinutes, bool *sunWord)
{
    *sunWord = sun != Recurrence::Sun::None;
    if (!*sunWord)
        return timeText.trimmed();
    QString text = sun == Recurrence::Sun::Rise ? QStringLiteral("lever du soleil") : QStringLiteral("coucher du soleil");
    if (offsetMinutes != 0)
        text += QStringLiteral(" %1 %2 min").arg(offsetMinutes > 0 ? QStringLiteral("+") : QStringLiteral("-")).arg(std::abs(offsetMinutes));
    return text;
}

} // namespace

QString ScheduleEngine::timeOf(int i) const
{
    const ScheduleRow &r = row(i);
    bool sun = false;
    const QString start = momentText(r.timeText, r.recurrence.sun, r.recurrence.offsetMinutes, &sun);
    if (!r.end)
        return (sun ? QStringLiteral("au ") : QStringLiteral("à ")) + start;
    bool endSun = false;
    const QString end = momentText(r.end->timeText, r.end->sun, r.end->offsetMinutes, &endSun);
    // "de 07:00:00 à 07:30:00", "du coucher du soleil au lever du soleil + 10 min"
    return (sun ? QStringLiteral("du ") : QStringLiteral("de ")) + start + (endSun ? QStringLiteral(" au ") : QStringLiteral(" à ")) + end;
}

QString ScheduleEngine::refusal(Arming result, int i) const
{
    if (result == Arming::Armed)
        return QString();
    if (result == Arming::Duplicate)
        return QStringLiteral("Deux Programations horaire ne peuvent etre identiques ! ");
    QString text = reason(result, i);
    text[0] = text[0].toUpper();
    return text + QStringLiteral(" : la programmation n'est pas lancée.");
}

bool ScheduleEngine::anyArmed() const
{
    for (const Slot &s : m_rows)
        if (s.row.armed)
            return true;
    return false;
}

std::optional<qint64> ScheduleEngine::nextInstant() const
{
    std::optional<qint64> next;
    for (int i = 1; i <= count(); ++i) {
        if (!row(i).armed)
            continue;
        const std::optional<qint64> instant = instantOf(i);
        if (instant && (!next || *instant < *next))
            next = instant;
    }
    return next;
}

int ScheduleEngine::indexOf(quint64 id) const
{
    for (size_t k = 0; k < m_rows.size(); ++k)
        if (m_rows[k].id == id)
            return int(k) + 1;
    return 0;
}

void ScheduleEngine::scheduleNextLook()
{
    if (!anyArmed()) {
        m_clock.cancel();
        return;
    }
    // A row caught up or armed in its own second, or a period to say its state, is not kept
    // waiting for the next second.
    for (const Slot &s : m_rows)
        if (s.row.armed && (s.atOnce || s.assertPending)) {
            m_clock.singleShot(0, [this] { check(); });
            return;
        }
    const qint64 now = m_clock.nowMs();
    const int wait = int(startOfSecond(now) + 1000 - now) + LookAfterSecondMs;
    m_clock.singleShot(wait, [this] { check(); });
}

void ScheduleEngine::check()
{
    const qint64 now = m_clock.nowMs();
    const qint64 previous = m_lastCheck;
    m_lastCheck = now;
    const bool zoneChanged = followZone(now);

    enum class Outcome { Fire, Late, Moved, Stop, Sunless };
    struct Due
    {
        quint64 id;
        Outcome outcome;
        Arming why = Arming::Armed;
        Sunless days = {};
        qint64 dueMs = 0;
        int button = 0;
        bool end = false; // a period's end
    };
    std::vector<Due> due;
    for (int i = 1; i <= count(); ++i) {
        Slot &s = slot(i);
        if (!s.row.armed)
            continue;
        const bool repeats = s.row.hasOccurrences();
        const bool end = s.row.end && s.atEnd;
        const int button = end ? s.row.end->button : s.row.button;
        // Only a change of zone can make an armed row's second disappear.
        const std::optional<qint64> instant = instantOf(i);
        if (!instant && repeats) {
            // Its day lost its occurrence: it waits for the next one.
            if (seek(i, s.occurrence, now, nullptr))
                continue;
            due.push_back({s.id, Outcome::Stop, Arming::NoSun});
        } else if (!instant)
            due.push_back({s.id, Outcome::Stop, readTimeOfDay(s.row.timeText) ? Arming::Skipped : Arming::Unreadable});
        else if (*instant > now)
            continue;
        else if (*instant > previous || s.atOnce)
            due.push_back({s.id, now - *instant > GraceMs ? Outcome::Late : Outcome::Fire, Arming::Armed, {}, *instant, button, end});
        else
            due.push_back({s.id, Outcome::Moved, Arming::Armed, {}, *instant, button});
        s.atOnce = false;
        if (!repeats || due.back().outcome == Outcome::Stop) {
            s.row.armed = false;
            continue;
        }
        // A period that missed its start or end says the state its relay should be in.
        if (s.row.end && due.back().outcome != Outcome::Fire)
            s.assertPending = true;
        // The next instant after this one; those a long sleep passed are not made up. A
        // period's end comes on the day of its start.
        Sunless dark;
        if (!seek(i, s.row.end ? s.occurrence : s.occurrence.addDays(1), startOfSecond(now) + 1000, &dark))
            s.row.armed = false;
        if (dark.from.isValid())
            due.push_back({s.id, Outcome::Sunless, Arming::Armed, dark});
    }
    // Periods that say their state in this look: those asked to, and those whose time to say
    // it again has come.
    std::vector<quint64> asserting;
    for (Slot &s : m_rows) {
        // A period that does not repeat and missed its end is over, but still says its state.
        if (!s.row.end || (!s.row.armed && !s.assertPending)) {
            s.assertPending = false;
            continue;
        }
        if (s.row.armed && s.row.reassertMinutes > 0 && now >= s.nextAssert)
            s.assertPending = true;
        if (!s.assertPending)
            continue;
        s.assertPending = false;
        s.nextAssert = now + qint64(s.row.reassertMinutes) * 60 * 1000;
        asserting.push_back(s.id);
    }
    // The next look is set before anything is sent, so that a handler that blocks or runs
    // an event loop does not stop the clock for the other rows.
    scheduleNextLook();
    if (!due.empty() || zoneChanged)
        emit armedChanged();

    for (const Due &d : due) {
        const int i = indexOf(d.id);
        if (i == 0)
            continue;
        switch (d.outcome) {
        case Outcome::Fire:
            // Another period of the same output still running keeps it in its state.
            if (d.end && anotherInside(i, d.dueMs))
                break;
            emit fired(i, d.button, d.dueMs);
            break;
        case Outcome::Late:
            emit missed(i, now, Miss::Late, d.dueMs);
            break;
        case Outcome::Moved:
            emit missed(i, now, Miss::Moved, d.dueMs);
            break;
        case Outcome::Stop:
            emit stopped(i, d.why);
            break;
        case Outcome::Sunless:
            emit sunless(i, d.days.from, d.days.to);
            break;
        }
    }
    for (const quint64 id : asserting) {
        const int i = indexOf(id);
        if (i == 0 || !row(i).end)
            continue;
        const bool inside = insidePeriod(i, now);
        // Outside its period, a row leaves the output to another period of it that is inside
        // (a pump on in the morning and again in the afternoon).
        if (!inside && anotherInside(i, now))
            continue;
        emit asserted(i, inside ? row(i).button : row(i).end->button, inside);
    }
}

} // namespace zelvar
