#include "scheduler/ScheduleEngine.h"

#include "scheduler/ScheduleTime.h"

#include <QDateTime>
#include <QLocale>
#include <QTimeZone>

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
    countText(timeText, +1);
    return count();
}

void ScheduleEngine::removeRow(int i)
{
    const bool wasArmed = row(i).armed;
    countText(row(i).timeText, -1);
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

void ScheduleEngine::countText(const QString &text, int delta)
{
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
    Slot &s = slot(i);
    if (s.row.timeText == text)
        return;
    countText(s.row.timeText, -1);
    countText(text, +1);
    s.row.timeText = text;
    s.instantKnown = false;
    edited(i);
}

void ScheduleEngine::setButton(int i, int button)
{
    slot(i).row.button = button;
}

void ScheduleEngine::edited(int i)
{
    Slot &s = slot(i);
    if (!s.row.armed)
        return;
    // The new second follows the ordinary rules, even within the second under way.
    s.atOnce = false;
    // Only the edited row's own text counts here: other rows' duplicates are not its fault.
    const Arming why = armable(i, false);
    if (why != Arming::Armed) {
        s.row.armed = false;
        scheduleNextLook();
    }
    emit armedChanged();
    if (why != Arming::Armed)
        emit stopped(i, why);
}

std::optional<qint64> ScheduleEngine::instantOf(int i) const
{
    const Slot &s = slot(i);
    if (!s.instantKnown) {
        const std::optional<QTime> time = readTimeOfDay(s.row.timeText);
        s.instant = time && s.row.date.isValid() ? localInstant(s.row.date, *time) : std::nullopt;
        s.instantKnown = true;
    }
    return s.instant;
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
    if (anyPair ? count() > 1 && m_sharedTexts > 0 : m_textCount.value(s.row.timeText) > 1)
        return Arming::Duplicate;
    if (!readTimeOfDay(s.row.timeText) || !s.row.date.isValid())
        return Arming::Unreadable;
    if (!instantOf(i))
        return Arming::Skipped;
    return Arming::Armed;
}

ScheduleEngine::Arming ScheduleEngine::arm(int i)
{
    const qint64 now = m_clock.nowMs();
    followZone(now);
    // Arming compares every pair of rows: any two with one text refuse it.
    if (const Arming refused = armable(i, true); refused != Arming::Armed)
        return refused;
    const qint64 instant = *instantOf(i);
    if (instant < startOfSecond(now))
        return Arming::Passed;
    if (!anyArmed())
        m_lastCheck = now;
    Slot &s = slot(i);
    s.row.armed = true;
    s.atOnce = instant <= now;
    if (s.atOnce)
        m_clock.singleShot(0, [this] { check(); });
    else
        scheduleNextLook();
    emit armedChanged();
    return Arming::Armed;
}

void ScheduleEngine::disarm(int i)
{
    Slot &s = slot(i);
    const bool wasArmed = s.row.armed;
    s.row.armed = false;
    s.atOnce = false;
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
        return QStringLiteral("« %1 » n'est pas une heure (hh:mm:ss attendu)").arg(r.timeText.trimmed());
    case Arming::Skipped:
        return QStringLiteral("le %1 à %2 ").arg(date, r.timeText.trimmed()) + notInLocalTime();
    case Arming::Passed:
        return QStringLiteral("le %1 à %2 est déjà passé").arg(date, r.timeText.trimmed());
    }
    return QString();
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

    enum class Outcome { Fire, Late, Moved, Stop };
    struct Due
    {
        quint64 id;
        Outcome outcome;
        Arming why = Arming::Armed;
    };
    std::vector<Due> due;
    for (int i = 1; i <= count(); ++i) {
        Slot &s = slot(i);
        if (!s.row.armed)
            continue;
        // Only a change of zone can make an armed row's second disappear.
        const std::optional<qint64> instant = instantOf(i);
        if (!instant)
            due.push_back({s.id, Outcome::Stop, readTimeOfDay(s.row.timeText) ? Arming::Skipped : Arming::Unreadable});
        else if (*instant > now)
            continue;
        else if (*instant > previous || s.atOnce)
            due.push_back({s.id, now - *instant > GraceMs ? Outcome::Late : Outcome::Fire});
        else
            due.push_back({s.id, Outcome::Moved});
        s.row.armed = false;
        s.atOnce = false;
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
            emit fired(i, row(i).button);
            break;
        case Outcome::Late:
            emit missed(i, now, Miss::Late);
            break;
        case Outcome::Moved:
            emit missed(i, now, Miss::Moved);
            break;
        case Outcome::Stop:
            emit stopped(i, d.why);
            break;
        }
    }
}

} // namespace zelvar
