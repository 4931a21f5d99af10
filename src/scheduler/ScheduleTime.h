#pragma once

#include <QDate>
#include <QString>
#include <QTime>
#include <QtGlobal>

#include <optional>

namespace zelvar {

// A time of day as the user may type it: "h:mm" or "h:mm:ss", one or two digits a field,
// blanks and line breaks around it ignored. Empty for anything else.
std::optional<QTime> readTimeOfDay(const QString &text);

// "hh:mm:ss", two digits each.
QString timeOfDayText(const QTime &time);

// The instant (milliseconds since the epoch) at which the local clock shows that date and
// time. Empty when the local clock never shows it (skipped by a change to summer time); a
// time shown twice (the change back) gives its first occurrence.
std::optional<qint64> localInstant(const QDate &date, const QTime &time);

// What the window and the command line say of a date and time that localInstant() refuses.
QString notInLocalTime();

} // namespace zelvar
