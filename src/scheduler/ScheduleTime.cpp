#include "scheduler/ScheduleTime.h"

#include <QDateTime>
#include <QRegularExpression>

namespace zelvar {

std::optional<QTime> readTimeOfDay(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d{1,2}):(\\d{1,2})(?::(\\d{1,2}))?$"));
    const QRegularExpressionMatch match = pattern.match(text.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    const QTime time(match.captured(1).toInt(), match.captured(2).toInt(),
                     match.captured(3).isEmpty() ? 0 : match.captured(3).toInt());
    if (!time.isValid())
        return std::nullopt;
    return time;
}

QString timeOfDayText(const QTime &time)
{
    return time.toString(QStringLiteral("hh:mm:ss"));
}

std::optional<qint64> localInstant(const QDate &date, const QTime &time)
{
    const QDateTime local(date, time, Qt::LocalTime);
    if (!local.isValid())
        return std::nullopt;
    const qint64 ms = local.toMSecsSinceEpoch();
    const auto shows = [&](qint64 instant) {
        const QDateTime back = QDateTime::fromMSecsSinceEpoch(instant, Qt::LocalTime);
        return back.date() == date && back.time() == time;
    };
    if (!shows(ms))
        return std::nullopt;
    // The clock shows the same time again up to a few hours later when it is put back:
    // look for an earlier instant that shows it too.
    qint64 earliest = ms;
    for (qint64 back = 15; back <= 180; back += 15) {
        const qint64 candidate = ms - back * 60 * 1000;
        if (shows(candidate))
            earliest = candidate;
    }
    return earliest;
}

QString notInLocalTime()
{
    return QStringLiteral("n'existe pas à l'heure locale (passage à l'heure d'été)");
}

} // namespace zelvar
