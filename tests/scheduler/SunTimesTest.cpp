#include "scheduler/SchedulePlace.h"
#include "scheduler/SunTimes.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace zelvar;

namespace {

// Almanac values, local time of the zone named, to the minute as the tables print them:
// the US Naval Observatory's method (the sun's upper edge, 34' of refraction) computed with
// PyEphem 4.1, rounded; they agree with timeanddate.com's tables for Paris, Sydney and Reykjavik.
// "" for none (midnight sun, polar night). A "+1" event falls after the day's midnight.
struct Almanac
{
    const char *place;
    double latitude, longitude;
    const char *zone;
    QDate date;
    const char *sunrise;
    const char *sunset;
};

const Almanac almanac[] = {
    {"Paris, solstice", 48.8566, 2.3522, "Europe/Paris", {2026, 6, 21}, "05:47", "21:58"},
    {"Paris, winter", 48.8566, 2.3522, "Europe/Paris", {2026, 12, 21}, "08:41", "16:56"},
    {"Sydney, winter", -33.8688, 151.2093, "Australia/Sydney", {2026, 6, 21}, "07:00", "16:54"},
    {"Quito, equinox", -0.1807, -78.4678, "America/Guayaquil", {2026, 3, 20}, "06:18", "18:24"},
    {"New York, clocks forward", 40.7128, -74.0060, "America/New_York", {2026, 3, 8}, "07:19", "18:55"},
    {"Kiritimati, UTC+14", 1.87, -157.43, "Pacific/Kiritimati", {2026, 1, 15}, "06:38", "18:40"},
    {"Reykjavik, solstice", 64.1466, -21.9426, "Atlantic/Reykjavik", {2026, 6, 21}, "02:55", "+1 00:04"},
    {"Tromsø, midnight sun", 69.6492, 18.9553, "Europe/Oslo", {2026, 6, 21}, "", ""},
    {"Tromsø, polar night", 69.6492, 18.9553, "Europe/Oslo", {2026, 12, 21}, "", ""},
};

void expectNear(const std::optional<QDateTime> &computed, const char *published, const Almanac &a)
{
    const QString text = QString::fromLatin1(published);
    if (text.isEmpty()) {
        EXPECT_FALSE(computed) << a.place << ": " << computed->toString(Qt::ISODate).toStdString();
        return;
    }
    ASSERT_TRUE(computed) << a.place;
    const bool nextDay = text.startsWith(QLatin1String("+1 "));
    const QDateTime expected(a.date.addDays(nextDay ? 1 : 0), QTime::fromString(text.right(5), "hh:mm"),
                             QTimeZone(a.zone));
    EXPECT_LE(std::abs(computed->secsTo(expected)), 60)
        << a.place << ": " << computed->toString(Qt::ISODate).toStdString() << " for " << published;
}

} // namespace

TEST(SunTimes, WithinAMinuteOfTheAlmanacs)
{
    for (const Almanac &a : almanac) {
        const SunTimes sun(a.date, {a.latitude, a.longitude}, QTimeZone(a.zone));
        expectNear(sun.sunrise(), a.sunrise, a);
        expectNear(sun.sunset(), a.sunset, a);
    }
}

TEST(SchedulePlace, ReadsAndWritesTheFilesPlace)
{
    // Written beside the rows, it leaves them as they are and reads back the same.
    ProfileFile file = ProfileFile::fromBytes("[Programateur]\r\nNombre de lignes=1\r\n[Ligne1]\r\nHeure=07:30:00\r\n");
    QString error;
    EXPECT_FALSE(readPlace(file, &error));
    EXPECT_TRUE(error.isEmpty()) << "a file without a place is not an error";
    writePlace(file, GeoPlace{-33.8688, 151.2093});
    EXPECT_EQ(file.toBytes(), QByteArray("[Programateur]\r\nNombre de lignes=1\r\nLatitude=-33.8688\r\n"
                                         "Longitude=151.2093\r\n[Ligne1]\r\nHeure=07:30:00\r\n"));
    const std::optional<GeoPlace> place = readPlace(file, &error);
    ASSERT_TRUE(place);
    EXPECT_EQ(place->latitude, -33.8688);
    EXPECT_EQ(place->longitude, 151.2093);

    // One key without the other is named.
    EXPECT_FALSE(readPlace(ProfileFile::fromBytes("[Programateur]\r\nLatitude=48.85\r\n"), &error));
    EXPECT_EQ(error, "[Programateur] Longitude manque");
}
