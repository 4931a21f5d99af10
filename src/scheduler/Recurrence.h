#pragma once

#include "scheduler/SunTimes.h"

#include <QDate>
#include <QString>
#include <QtGlobal>

#include <optional>

namespace zelvar {

// When a row fires: once on its date ("une fois"), or on chosen weekdays from its date on,
// at its clock time or at sunrise or sunset plus a whole number of minutes.
struct Recurrence
{
    enum class Sun { None, Rise, Set };

    // Bit d-1 for ISO weekday d (1 Monday … 7 Sunday); none for a row that fires once.
    quint8 weekdays = 0;
    Sun sun = Sun::None;
    int offsetMinutes = 0; // to the sun's event

    static constexpr quint8 EveryDay = 0x7f;
    // An offset beyond half a day would be another day's event.
    static constexpr int MaxOffsetMinutes = 720;

    bool repeats() const { return weekdays != 0; }
    bool firesOn(const QDate &date) const { return weekdays & (1u << (date.dayOfWeek() - 1)); }
    bool operator==(const Recurrence &) const = default;

    // The instant of the occurrence that belongs to `date`, with the row's time text for a
    // clock time and `place` for the sun. Empty when that day has none: a clock time the
    // spring change skips on a row that fires once, a day without that sun event, no place.
    // A repeating row's skipped time gives the first second after the change.
    std::optional<qint64> instantOn(const QDate &date, const QString &timeText,
                                    const std::optional<GeoPlace> &place) const;
};

// The end of a period: a clock time or the sun's event with an offset, the same day as the
// period's start or the next day when it comes earlier, and the button that ends it.
struct PeriodEnd
{
    QString timeText; // as the user left it; unused for the sun
    Recurrence::Sun sun = Recurrence::Sun::None;
    int offsetMinutes = 0;
    int button = 0;
    bool operator==(const PeriodEnd &) const = default;
};

// The file's words: "une fois", "chaque jour" or ISO weekday numbers "1,2,3,4,5".
QString repetitionText(quint8 weekdays);
std::optional<quint8> readRepetition(const QString &text);
// "lever", "coucher"; empty text for a clock time.
QString sunText(Recurrence::Sun sun);
std::optional<Recurrence::Sun> readSun(const QString &text);

// What the window shows: "Une fois", "Chaque jour", "lun mar mer jeu ven".
QString repetitionLabel(quint8 weekdays);
// "lundi" … "dimanche" for 1 … 7.
QString weekdayName(int isoDay);

} // namespace zelvar
