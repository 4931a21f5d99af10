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

// zelvar-cli sun in a working directory, in the Paris time zone (inherited through TZ).
class CliSun : public ::testing::Test
{
protected:
    void SetUp() override { qputenv("TZ", "Europe/Paris"); }
    void TearDown() override { previousZone.isNull() ? qunsetenv("TZ") : qputenv("TZ", previousZone); }
    CliResult run(const QStringList &arguments) { return runCli(dir.path(), QStringList{"sun"} + arguments); }

    QTemporaryDir dir;
    const QByteArray previousZone = qgetenv("TZ");
};

} // namespace

TEST_F(CliSun, JsonAtTheFilesPlaceOrTheOnesGiven)
{
    writeFile(dir.filePath("Programateur.ini"), "[Programateur]\r\nLatitude=48.8566\r\nLongitude=2.3522\r\n");
    const CliResult paris = run({"2026-06-21", "--json"});
    ASSERT_EQ(paris.status, 0) << paris.err.constData();
    const QJsonObject day = QJsonDocument::fromJson(paris.out).object();
    EXPECT_EQ(day["date"].toString(), "2026-06-21");
    // The times themselves are proven against the almanacs with the computation.
    EXPECT_TRUE(QTime::fromString(day["sunrise"].toString(), "hh:mm:ss").isValid()) << paris.out.constData();
    EXPECT_TRUE(QTime::fromString(day["sunset"].toString(), "hh:mm:ss").isValid()) << paris.out.constData();

    // The options win over the file; Tromsø's polar night has neither time.
    const CliResult tromso = run({"2026-12-21", "--lat", "69.6492", "--lon", "18.9553", "--json"});
    EXPECT_EQ(tromso.status, 0);
    EXPECT_EQ(tromso.out, "{\"date\": \"2026-12-21\", \"sunrise\": null, \"sunset\": null}\n");
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
        {nullptr, {"--lat", "48.85"}, 64, "--lat et --lon vont ensemble"},
        {nullptr, {"--lat", "91", "--lon", "0"}, 64, "--lat : « 91 » n'est pas entre -90 et 90"},
        {nullptr, {"--lat", "0", "--lon", "2,35"}, 64, "--lon : « 2,35 » n'est pas un nombre décimal"},
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
