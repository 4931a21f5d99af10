#pragma once

#include <QDate>
#include <QDateTime>
#include <QTimeZone>

#include <optional>

namespace zelvar {

// A place on Earth in decimal degrees, north and east positive.
struct GeoPlace
{
    double latitude = 0;  // -90..90
    double longitude = 0; // -180..180

    bool isValid() const;
    bool operator==(const GeoPlace &) const = default;
};

// Sunrise and sunset of one day at one place, by the standard solar-position algorithm
// (NOAA's, after Meeus), for the sun's upper edge at -0.833° (refraction and the sun's
// radius). Within a minute of the almanacs up to ±65° of latitude.
//
// The day's events are those around its solar noon, as almanacs give them: far north in
// summer the sunset of a day may fall just after its midnight, on the next date.
// Empty when the sun does not rise (polar night) or does not set (polar day) that day,
// or for a place that is not valid.
class SunTimes
{
public:
    SunTimes(const QDate &date, const GeoPlace &place, const QTimeZone &zone = QTimeZone::systemTimeZone());

    std::optional<QDateTime> sunrise() const { return m_sunrise; }
    std::optional<QDateTime> sunset() const { return m_sunset; }
    // True on a day without sunrise nor sunset because the sun stays up (midnight sun);
    // false in a polar night and on every day the sun rises or sets.
    bool upAllDay() const { return m_upAllDay; }

private:
    std::optional<QDateTime> m_sunrise;
    std::optional<QDateTime> m_sunset;
    bool m_upAllDay = false;
};

} // namespace zelvar
