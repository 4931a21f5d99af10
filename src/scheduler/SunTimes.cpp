#include "scheduler/SunTimes.h"

#include <cmath>
#include <numbers>

namespace zelvar {

namespace {

constexpr double UnixEpochJulianDay = 2440587.5;
constexpr double SecondsPerDay = 86400;
constexpr double HorizonAltitude = -0.833; // the upper edge seen on the horizon, refraction included

double radians(double degrees) { return degrees * std::numbers::pi / 180; }
double degrees(double radians) { return radians * 180 / std::numbers::pi; }

struct SunPosition
{
    double declination;    // radians
    double equationOfTime; // minutes, apparent minus mean solar time
};

SunPosition sunAt(double julianDay)
{
    const double t = (julianDay - 2451545.0) / 36525.0; // Julian centuries from J2000.0
    const double meanLongitude = radians(std::fmod(280.46646 + t * (36000.76983 + t * 0.0003032), 360.0));
    const double meanAnomaly = radians(357.52911 + t * (35999.05029 - 0.0001537 * t));
    const double eccentricity = 0.016708634 - t * (0.000042037 + 0.0000001267 * t);
    const double equationOfCentre = std::sin(meanAnomaly) * (1.914602 - t * (0.004817 + 0.000014 * t))
                                    + std::sin(2 * meanAnomaly) * (0.019993 - 0.000101 * t)
                                    + std::sin(3 * meanAnomaly) * 0.000289;
    const double omega = radians(125.04 - 1934.136 * t); // the Moon's ascending node, for nutation
    const double apparentLongitude =
        meanLongitude + radians(equationOfCentre - 0.00569 - 0.00478 * std::sin(omega));
    const double meanObliquity = 23 + (26 + (21.448 - t * (46.815 + t * (0.00059 - t * 0.001813))) / 60) / 60;
    const double obliquity = radians(meanObliquity + 0.00256 * std::cos(omega));

    const double y = std::pow(std::tan(obliquity / 2), 2);
    const double l = meanLongitude, m = meanAnomaly, e = eccentricity;
    const double equationOfTime = y * std::sin(2 * l) - 2 * e * std::sin(m)
                                  + 4 * e * y * std::sin(m) * std::cos(2 * l) - 0.5 * y * y * std::sin(4 * l)
                                  - 1.25 * e * e * std::sin(2 * m);
    return {std::asin(std::sin(obliquity) * std::sin(apparentLongitude)), degrees(equationOfTime) * 4};
}

// The hour angle (degrees) at which the sun's upper edge meets the horizon; empty when the
// sun stays above or below it all day.
std::optional<double> horizonHourAngle(double latitude, double declination)
{
    const double phi = radians(latitude);
    const double cosine = (std::sin(radians(HorizonAltitude)) - std::sin(phi) * std::sin(declination))
                          / (std::cos(phi) * std::cos(declination));
    if (!(cosine >= -1 && cosine <= 1))
        return std::nullopt;
    return degrees(std::acos(cosine));
}

// The Julian day of the sunrise (side -1) or sunset (side +1) around the solar transit of
// the UTC day starting at Julian day `utcDay`, refined at the event itself.
std::optional<double> horizonCrossing(double utcDay, const GeoPlace &place, int side)
{
    double julianDay = utcDay + (720 - 4 * place.longitude) / 1440; // the transit, roughly
    for (int pass = 0; pass < 3; ++pass) {
        const SunPosition sun = sunAt(julianDay);
        const std::optional<double> hourAngle = horizonHourAngle(place.latitude, sun.declination);
        if (!hourAngle)
            return std::nullopt;
        julianDay = utcDay + (720 - 4 * (place.longitude - side * *hourAngle) - sun.equationOfTime) / 1440;
    }
    return julianDay;
}

std::optional<QDateTime> toDateTime(std::optional<double> julianDay, const QTimeZone &zone)
{
    if (!julianDay)
        return std::nullopt;
    const qint64 seconds = std::llround((*julianDay - UnixEpochJulianDay) * SecondsPerDay);
    return QDateTime::fromSecsSinceEpoch(seconds, zone);
}

} // namespace

bool GeoPlace::isValid() const
{
    return latitude >= -90 && latitude <= 90 && longitude >= -180 && longitude <= 180;
}

SunTimes::SunTimes(const QDate &date, const GeoPlace &place, const QTimeZone &zone)
{
    const QDateTime localNoon(date, QTime(12, 0), zone);
    if (!place.isValid() || !localNoon.isValid())
        return;
    // The UTC day whose solar transit at this longitude lies nearest the local noon.
    const double noon = UnixEpochJulianDay + localNoon.toSecsSinceEpoch() / SecondsPerDay;
    const double transit = std::floor(noon - 0.5) + 0.5 + (720 - 4 * place.longitude) / 1440;
    const double utcDay = std::floor(noon - 0.5) + 0.5 + std::round(noon - transit);
    m_sunrise = toDateTime(horizonCrossing(utcDay, place, -1), zone);
    m_sunset = toDateTime(horizonCrossing(utcDay, place, +1), zone);
    if (!m_sunrise && !m_sunset) {
        // Without a crossing the sun stays on one side of the horizon: its height at the
        // transit tells which.
        const double declination = degrees(sunAt(utcDay + (720 - 4 * place.longitude) / 1440).declination);
        m_upAllDay = 90 - std::abs(place.latitude - declination) > HorizonAltitude;
    }
}

} // namespace zelvar
