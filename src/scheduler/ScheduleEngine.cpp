#include "scheduler/ScheduleEngine.h"

#include "scheduler/ScheduleTime.h"

#include <QDateTime>
#include <QLocale>

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
    return count();
}

void ScheduleEngine::removeRow(int i)
{
    m_rows.erase(m_rows.begin() + (i - 1));
    scheduleNextLook();
}

void ScheduleEngine::clear()
{
    m_rows.clear();
    m_clock.cancel();
}

void ScheduleEngine::setDate(int i, const QDate &date)
{
    m_rows[size_t(i - 1)].row.date = date;
}

void ScheduleEngine::setTimeText(int i, const QString &text)
{
    m_rows[size_t(i - 1)].row.timeText = text;
}

void ScheduleEngine::setButton(int i, int button)
{
    m_rows[size_t(i - 1)].row.button = button;
}

std::optional<qint64> ScheduleEngine::instantOf(int i) const
{
    const ScheduleRow &r = row(i);
    const std::optional<QTime> time = readTimeOfDay(r.timeText);
    if (!time || !r.date.isValid())
        return std::nullopt;
    return localInstant(r.date, *time);
}

ScheduleEngine::Arming ScheduleEngine::arm(int i)
{
    if (count() > 1) {
        for (int a = 1; a <= count(); ++a)
            for (int b = a + 1; b <= count(); ++b)
                if (row(a).timeText == row(b).timeText)
                    return Arming::Duplicate;
    }
    const std::optional<qint64> instant = instantOf(i);
    if (!instant)
        return Arming::Unreadable;
    const qint64 now = m_clock.nowMs();
    const qint64 currentSecond = startOfSecond(now);
    if (*instant < currentSecond)
        return Arming::Passed;
    if (!anyArmed())
        m_lastCheck = now;
    Slot &slot = m_rows[size_t(i - 1)];
    slot.row.armed = true;
    slot.atOnce = *instant <= now;
    if (slot.atOnce)
        m_clock.singleShot(0, [this] { check(); });
    else
        scheduleNextLook();
    return Arming::Armed;
}

void ScheduleEngine::disarm(int i)
{
    m_rows[size_t(i - 1)].row.armed = false;
    m_rows[size_t(i - 1)].atOnce = false;
    scheduleNextLook();
}

QString ScheduleEngine::refusal(Arming result, int i) const
{
    const ScheduleRow &r = row(i);
    switch (result) {
    case Arming::Armed:
        return QString();
    case Arming::Duplicate:
        return QStringLiteral("Deux Programations horaire ne peuvent etre identiques ! ");
    case Arming::Unreadable:
        return QStringLiteral("« %1 » n'est pas une heure du %2 (hh:mm:ss attendu) : la programmation n'est pas lancée.")
            .arg(r.timeText.trimmed(), QLocale::system().toString(r.date, QLocale::ShortFormat));
    case Arming::Passed:
        return QStringLiteral("Le %1 à %2 est déjà passé : la programmation n'est pas lancée.")
            .arg(QLocale::system().toString(r.date, QLocale::ShortFormat), r.timeText.trimmed());
    }
    return QString();
}

bool ScheduleEngine::anyArmed() const
{
    for (const Slot &slot : m_rows)
        if (slot.row.armed)
            return true;
    return false;
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

    enum class Outcome { Fire, Missed, Unreadable };
    struct Due
    {
        quint64 id;
        Outcome outcome;
    };
    std::vector<Due> due;
    for (int i = 1; i <= count(); ++i) {
        Slot &slot = m_rows[size_t(i - 1)];
        if (!slot.row.armed)
            continue;
        const std::optional<qint64> instant = instantOf(i);
        if (!instant) {
            due.push_back({slot.id, Outcome::Unreadable});
        } else if (*instant <= now && (*instant > previous || slot.atOnce)) {
            due.push_back({slot.id, now - *instant > GraceMs ? Outcome::Missed : Outcome::Fire});
        } else {
            continue;
        }
        slot.row.armed = false;
        slot.atOnce = false;
    }
    // The next look is set before anything is sent, so that a handler that blocks or runs
    // an event loop does not stop the clock for the other rows.
    scheduleNextLook();

    for (const Due &d : due) {
        const int i = indexOf(d.id);
        if (i == 0)
            continue;
        switch (d.outcome) {
        case Outcome::Fire:
            emit fired(i, row(i).button);
            break;
        case Outcome::Missed:
            emit missed(i, now);
            break;
        case Outcome::Unreadable:
            emit unreadable(i);
            break;
        }
    }
}

} // namespace zelvar
