#include "TestFiles.h"
#include "cli/CliRun.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTime>
#include <gtest/gtest.h>

using zelvar::testing::CliResult;
using zelvar::testing::runCli;
using zelvar::testing::writeFile;

namespace {

// zelvar-cli reads the time zone from TZ, which it inherits: Paris for these runs.
class CliSun : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        previousZone = qgetenv("TZ");
        hadZone = qEnvironmentVariableIsSet("TZ");
        qputenv("TZ", "Europe/Paris");
    }
    void TearDown() override
    {
        if (hadZone)
            qputenv("TZ", previousZone);
        else
            qunsetenv("TZ");
    }
    CliResult run(const QStringList &arguments) { return runCli(dir.path(), QStringList{"sun"} + arguments); }

    QTemporaryDir dir;
    QByteArray previousZone;
    bool hadZone = false;
};

// Seconds from the almanac's minute (timeanddate.com: Paris, 21 June 2026, 05:47 and 21:58 CEST).
int secondsFrom(const QJsonValue &computed, const char *published)
{
    return std::abs(QTime::fromString(computed.toString(), "hh:mm:ss").secsTo(QTime::fromString(published, "hh:mm")));
}

} // namespace

TEST_F(CliSun, JsonAtTheFilesPlaceOrTheOnesGiven)
{
    writeFile(dir.filePath("Programateur.ini"), "[Programateur]\r\nNombre de lignes=0\r\nLatitude=48.8566\r\n"
                                                "Longitude=2.3522\r\n");
    const CliResult paris = run({"2026-06-21", "--json"});
    ASSERT_EQ(paris.status, 0) << paris.err.constData();
    const QJsonObject day = QJsonDocument::fromJson(paris.out).object();
    EXPECT_EQ(day["date"].toString(), "2026-06-21");
    EXPECT_LE(secondsFrom(day["sunrise"], "05:47"), 60) << paris.out.constData();
    EXPECT_LE(secondsFrom(day["sunset"], "21:58"), 60) << paris.out.constData();

    // The options win over the file; a polar night has neither time.
    const CliResult tromso = run({"2026-12-21", "--lat", "69.6492", "--lon", "18.9553", "--json"});
    EXPECT_EQ(tromso.status, 0);
    EXPECT_EQ(tromso.out, "{\"date\": \"2026-12-21\", \"sunrise\": null, \"sunset\": null}\n");

    const CliResult text = run({"2026-06-21", "--lat", "-33.8688", "--lon", "151.2093"});
    EXPECT_EQ(text.status, 0);
    EXPECT_TRUE(text.out.contains("-33.8688, 151.2093")) << text.out.constData();
}

TEST_F(CliSun, RefusesWhatItCannotUse)
{
    const struct
    {
        const char *file; // Programateur.ini, or nullptr for none
        QStringList arguments;
        int status;
        const char *message;
    } cases[] = {
        {nullptr, {}, 64, "aucun lieu"},
        {"[Programateur]\r\nNombre de lignes=2\r\n", {"--json"}, 64, "aucun lieu"},
        {nullptr, {"--lat", "48.85"}, 64, "--lat et --lon vont ensemble"},
        {nullptr, {"--lat", "91", "--lon", "0"}, 64, "--lat : « 91 » n'est pas entre -90 et 90"},
        {nullptr, {"--lat", "0", "--lon", "2,35"}, 64, "--lon : « 2,35 »"},
        {nullptr, {"2026-02-30", "--lat", "0", "--lon", "0"}, 64, "date « 2026-02-30 » invalide"},
        {"[Programateur]\r\nLatitude=north\r\nLongitude=0\r\n", {}, 1, "[Programateur] Latitude : « north »"},
    };
    for (const auto &c : cases) {
        QFile::remove(dir.filePath("Programateur.ini"));
        if (c.file)
            writeFile(dir.filePath("Programateur.ini"), c.file);
        const CliResult r = run(c.arguments);
        EXPECT_EQ(r.status, c.status) << c.arguments.join(' ').toStdString();
        EXPECT_TRUE(QString::fromUtf8(r.err).contains(QString::fromUtf8(c.message))) << r.err.constData();
        EXPECT_TRUE(r.out.isEmpty());
    }
}
