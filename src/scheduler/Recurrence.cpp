#include "scheduler/Recurrence.h"

#include "scheduler/ScheduleTime.h"

#include <QDateTime>
#include <QStringList>

namespace zelvar {

namespace {

const char *const WeekdayNames[] = {"lundi", "mardi", "mercredi", "jeudi", "vendredi", "samedi", "dimanche"};

// The first second at which the local clock shows `date` at `time` or later: the end of
// a spring change's gap for a time inside it.
std::optional<qint64> firstSecondFrom(const QDate &date, const QTime &time)
{
    qint64 low = QDateTime(date.addDays(-1), QTime(12, 0)).toSecsSinceEpoch();
    qint64 high = QDateTime(date.addDays(1), QTime(12, 0)).toSecsSinceEpoch();
    const auto reached = [&](qint64 s) {
        const QDateTime local = QDateTime::fromSecsSinceEpoch(s, Qt::LocalTime);
        return local.date() > date || (local.date() == date && local.time() >= time);
    };
    if (!reached(high))
        return std::nullopt;
    while (high - low > 1) {
        const qint64 middle = low + (high - low) / 2;
        (reached(middle) ? high : low) = middle;
    }
    const QDateTime found = QDateTime::fromSecsSinceEpoch(high, Qt::LocalTime);
    if (found.date() != date)
        return std::nullopt;
    return high * 1000;
}

} // namespace

std::optional<qint64> Recurrence::instantOn(const QDate &date, const QString &timeText,
                                            const std::optional<GeoPlace> &place) const
{
    if (!date.isValid())
        return std::nullopt;
    if (sun != Sun::None) {
        if (!place || !place->isValid())
            return std::nullopt;
        const SunTimes times(date, *place);
        const std::optional<QDateTime> event = sun == Sun::Rise ? times.sunrise() : times.sunset();
        if (!event)
            return std::nullopt;
        // Whole seconds, as every other row.
        const qint64 second = event->toSecsSinceEpoch() + qint64(offsetMinutes) * 60;
        return second * 1000;
    }
    const std::optional<QTime> time = readTimeOfDay(timeText);
    if (!time)
        return std::nullopt;
    if (const std::optional<qint64> instant = localInstant(date, *time))
        return instant;
    return repeats() ? firstSecondFrom(date, *time) : std::nullopt;
}

QString repetitionText(quint8 weekdays)
{
    if (weekdays == 0)
        return QStringLiteral("une fois");
    if (weekdays == Recurrence::EveryDay)
        return QStringLiteral("chaque jour");
    QStringList days;
    for (int d = 1; d <= 7; ++d)
        if (weekdays & (1u << (d - 1)))
            days << QString::number(d);
    return days.join(QLatin1Char(','));
}

std::optional<quint8> readRepetition(const QString &text)
{
    const QString t = text.trimmed().toLower();
    if (t == QLatin1String("une fois"))
        return quint8(0);
    if (t == QLatin1String("chaque jour"))
        return Recurrence::EveryDay;
    quint8 days = 0;
    for (const QString &part : t.split(QLatin1Char(','))) {
        bool ok = false;
        const int d = part.trimmed().toInt(&ok);
        if (!ok || d < 1 || d > 7)
            return std::nullopt;
        days |= quint8(1u << (d - 1));
    }
    return days;
}

QString sunText(Recurrence::Sun sun)
{
    switch (sun) {
    case Recurrence::Sun::None:
        return QString();
    case Recurrence::Sun::Rise:
        return QStringLiteral("lever");
    case Recurrence::Sun::Set:
        return QStringLiteral("coucher");
    }
    return QString();
}

std::optional<Recurrence::Sun> readSun(const QString &text)
{
    const QString t = text.trimmed().toLower();
    if (t.isEmpty())
        return Recurrence::Sun::None;
    if (t == QLatin1String("lever"))
        return Recurrence::Sun::Rise;
    if (t == QLatin1String("coucher"))
        return Recurrence::Sun::Set;
    return std::nullopt;
}

QString weekdayName(int isoDay)
{
    return QString::fromLatin1(WeekdayNames[isoDay - 1]);
}

QString repetitionLabel(quint8 weekdays)
{
    if (weekdays == 0)
        return QStringLiteral("Une fois");
    if (weekdays == Recurrence::EveryDay)
        return QStringLiteral("Chaque jour");
    QStringList days;
    for (int d = 1; d <= 7; ++d)
        if (weekdays & (1u << (d - 1)))
            days << weekdayName(d).left(3);
    return days.join(QLatin1Char(' '));
}

} // namespace zelvar
