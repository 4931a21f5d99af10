#include "devices/ComPortPty.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include "TestFiles.h"
#include "cli/CliRun.h"

using zelvar::testing::PseudoTerminal;
using zelvar::testing::readFile;
using zelvar::testing::runCli;
using zelvar::testing::writeFile;

namespace {

const QByteArray Panel = "[Reglages]\r\nNombre total de boutons=2\r\n"
                         "[Bouton 1]\r\nMode btn1=1\r\nCode btn1=4\r\nDescription  btn1=Sonnette\r\n"
                         "[Bouton 2]\r\nMode btn2=2\r\nCode btn2=5\r\nDescription  btn2=Lampe\r\n";
const QByteArray PortKey = "[Reglages du Com]\r\nn\xb0 du Port =";

// A working directory with a two-button panel and one activity.
class CliSequences : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pty.isValid());
        writeFile(dir.filePath("Zelvar2.ini"), Panel);
        QDir(dir.path()).mkdir("Activites");
        writeFile(dir.filePath("Activites/Show.ini"),
                  "[pistes]\r\nNombre total de piste=3\r\nBtn de boucle=125\r\ncurseur de taille=40\r\n"
                  "[piste1]\r\nNombre total de btns=2\r\nCode selectionne=1\r\nLeft du btn1=1\r\nLeft du btn2=3\r\n"
                  "[piste2]\r\nCode selectionne=9\r\nNombre total de btns=1\r\nLeft du btn1=1\r\n"
                  "[piste3]\r\nCode selectionne=2\r\nNombre total de btns=1\r\nLeft du btn1=1\r\n");
    }
    QStringList onPty(QStringList arguments) { return arguments << "--port" << pty.slavePath(); }

    QTemporaryDir dir;
    PseudoTerminal pty;
};

} // namespace

TEST_F(CliSequences, ListShowAndExport)
{
    auto r = runCli(dir.path(), {"seq", "list"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Default\nShow.ini\n");

    r = runCli(dir.path(), {"seq", "show", "Show.ini", "--json"});
    EXPECT_EQ(r.status, 0);
    const QJsonObject shown = QJsonDocument::fromJson(r.out).object();
    EXPECT_EQ(QJsonDocument(shown).toJson(QJsonDocument::Compact),
              R"({"count":3,"file":"Activites/Show.ini","loop":5,"tracks":[{"action":1,"times":[1,3]},)"
              R"({"action":9,"times":[1]},{"action":2,"times":[1]}],"zoom":12})");

    r = runCli(dir.path(), {"seq", "show", "absent.ini", "--json"});
    EXPECT_EQ(r.status, 0);
    const QJsonObject absent = QJsonDocument::fromJson(r.out).object();
    EXPECT_EQ(absent["count"].toInt(-9), 0);
    EXPECT_TRUE(absent["tracks"].toArray().isEmpty());

    // The action the panel lacks is written back as it was.
    EXPECT_EQ(runCli(dir.path(), {"seq", "export", "copy.ini", "Show.ini"}).status, 0);
    const QByteArray copy = readFile(dir.filePath("copy.ini"));
    EXPECT_TRUE(copy.contains("[piste2]\r\nNombre total de btns=1\r\nCode selectionne=9\r\nLeft du btn1=1\r\n"));
    EXPECT_TRUE(copy.contains("curseur de taille=12\r\n"));

    for (const char *own : {"Zelvar2.ini", "./Default.ini", "Zelvar2.bmp"}) {
        EXPECT_EQ(runCli(dir.path(), {"seq", "export", own, "Show.ini"}).status, 1) << own;
    }
    EXPECT_EQ(readFile(dir.filePath("Zelvar2.ini")), Panel);
    EXPECT_EQ(runCli(dir.path(), {"seq", "export"}).status, 64);
    EXPECT_EQ(runCli(dir.path(), {"seq", "shuffle"}).status, 64);
}

TEST_F(CliSequences, DefaultNamesTheSequencerFileAndAMissingFileIsNotExported)
{
    writeFile(dir.filePath("Sequenceur.ini"), readFile(dir.filePath("Activites/Show.ini")));
    auto r = runCli(dir.path(), {"seq", "show", "Default", "--json"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(QJsonDocument::fromJson(r.out).object()["file"].toString(), "Sequenceur.ini");
    EXPECT_EQ(QJsonDocument::fromJson(r.out).object()["count"].toInt(), 3);

    EXPECT_EQ(runCli(dir.path(), {"seq", "export", "copy.ini", "Default"}).status, 0);
    EXPECT_TRUE(readFile(dir.filePath("copy.ini")).contains("Nombre total de piste=3\r\n"));

    r = runCli(dir.path(), onPty({"play", "Default", "--ticks", "1"}));
    EXPECT_EQ(r.status, 0) << r.err.constData();
    EXPECT_EQ(pty.read(15), "S4N$#S4F$#S5N$#");

    // A mistyped FILE: said, status 1, nothing written.
    r = runCli(dir.path(), {"seq", "export", "typo.ini", "Shwo.ini"});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains("Shwo.ini")) << r.err.constData();
    EXPECT_FALSE(QFile::exists(dir.filePath("typo.ini")));
}

TEST_F(CliSequences, PlayGoesOnAfterARefusedInfraredCodeAndEndsWithStatus2)
{
    writeFile(dir.filePath("Zelvar2.ini"), QByteArray(Panel).replace("boutons=2", "boutons=3") +
                                               "[Bouton 3]\r\nMode btn3=5\r\nCodePronto btn3=0000 006D 0001 0001 "
                                               "0010 0020 0030 0040\r\n");
    writeFile(dir.filePath("ir.ini"), "[pistes]\r\nNombre total de piste=2\r\n"
                                      "[piste1]\r\nCode selectionne=3\r\nNombre total de btns=1\r\nLeft du btn1=1\r\n"
                                      "[piste2]\r\nCode selectionne=2\r\nNombre total de btns=1\r\nLeft du btn1=1\r\n");
    qputenv("ZELVAR_UUIRT_LIBRARY", QFile::encodeName(dir.filePath("no-driver.so")));
    qputenv("ZELVAR_LIRC_DEVICE", QFile::encodeName(dir.filePath("no-lirc")));
    const auto r = runCli(dir.path(), onPty({"play", "ir.ini", "--ticks", "2"}));
    qunsetenv("ZELVAR_UUIRT_LIBRARY");
    qunsetenv("ZELVAR_LIRC_DEVICE");
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.err.contains("no-lirc")) << r.err.constData();
    EXPECT_EQ(pty.read(5), "S5N$#") << "the other track still fires";
}

TEST_F(CliSequences, PlayFiresOnTheBoardAndPrintsEachFiring)
{
    const auto r = runCli(dir.path(), onPty({"play", "Show.ini", "--ticks", "3", "--from", "0"}));
    EXPECT_EQ(r.status, 0) << r.err.constData();
    EXPECT_EQ(r.out, "00:00:01 piste 1 bouton 1 Sonnette\n00:00:01 piste 3 bouton 2 Lampe\n"
                     "00:00:03 piste 1 bouton 1 Sonnette\n");
    EXPECT_EQ(pty.read(25), "S4N$#S4F$#S5N$#S4N$#S4F$#");
}

TEST_F(CliSequences, PlayExitStatuses)
{
    writeFile(dir.filePath("empty.ini"), "[pistes]\r\nNombre total de piste=0\r\n");
    const struct
    {
        QStringList arguments;
        int status;
    } cases[] = {
        {onPty({"play", "empty.ini"}), 1},
        {{"play", "Show.ini"}, 2}, // no port key in the panel file, no --port
        {{"play", "Show.ini", "--port", dir.filePath("no-such-port")}, 2},
        {onPty({"play", "Show.ini", "--speed", "12345"}), 64},
        {onPty({"play", "Show.ini", "--ticks", "0"}), 64},
    };
    for (const auto &c : cases)
        EXPECT_EQ(runCli(dir.path(), c.arguments).status, c.status) << c.arguments.join(' ').toStdString();
    EXPECT_EQ(pty.drain(), QByteArray());

    // With the panel's port key, play opens that port.
    writeFile(dir.filePath("Zelvar2.ini"), Panel + PortKey + pty.slavePath().toLatin1() + "\r\n");
    EXPECT_EQ(runCli(dir.path(), {"play", "Show.ini", "--ticks", "1"}).status, 0);
    EXPECT_EQ(pty.read(15), "S4N$#S4F$#S5N$#");
}

TEST_F(CliSequences, PlayEndsOnTerminateOrWhenTheBoardGoes)
{
    QProcess p;
    p.setWorkingDirectory(dir.path());
    p.start(QStringLiteral(ZELVAR_CLI), onPty({"play", "Show.ini"}));
    ASSERT_TRUE(p.waitForReadyRead(10000)); // the first firing: playing, its handlers in place
    p.terminate();
    ASSERT_TRUE(p.waitForFinished(5000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0);

    p.start(QStringLiteral(ZELVAR_CLI), onPty({"play", "Show.ini"}));
    ASSERT_TRUE(p.waitForStarted());
    QThread::msleep(300);
    pty.closeMaster(); // unplugged before the first firing
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 2) << p.readAllStandardError().constData();
}

TEST_F(CliSequences, LargeSequencesWholeAndAbsurdOnesRefused)
{
    // Two tracks, a mark a second for 100 minutes each.
    QByteArray large = "[pistes]\r\nNombre total de piste=2\r\n";
    for (int n = 1; n <= 2; ++n) {
        large += "[piste" + QByteArray::number(n) + "]\r\nNombre total de btns=6000\r\nCode selectionne=" +
                 QByteArray::number(n) + "\r\n";
        for (int j = 1; j <= 6000; ++j)
            large += "Left du btn" + QByteArray::number(j) + "=" + QByteArray::number(j) + "\r\n";
    }
    writeFile(dir.filePath("large.ini"), large);
    auto r = runCli(dir.path(), {"seq", "show", "large.ini", "--json"});
    ASSERT_EQ(r.status, 0);
    const QJsonArray tracks = QJsonDocument::fromJson(r.out).object()["tracks"].toArray();
    ASSERT_EQ(tracks.size(), 2);
    for (const QJsonValue &t : tracks)
        EXPECT_EQ(t.toObject()["times"].toArray().size(), 6000);

    EXPECT_EQ(runCli(dir.path(), {"seq", "export", "copy.ini", "large.ini"}).status, 0);
    EXPECT_EQ(readFile(dir.filePath("copy.ini")).count("Left du btn6000=6000\r\n"), 2);

    r = runCli(dir.path(), onPty({"play", "large.ini", "--from", "5999", "--ticks", "1"}));
    EXPECT_EQ(r.status, 0) << r.err.constData();
    EXPECT_EQ(r.out, "01:40:00 piste 1 bouton 1 Sonnette\n01:40:00 piste 2 bouton 2 Lampe\n");
    EXPECT_EQ(pty.read(15), "S4N$#S4F$#S5N$#");

    // 101 000 tracks and marks: refused whole, status 1, nothing written.
    writeFile(dir.filePath("huge.ini"), "[pistes]\r\nNombre total de piste=1\r\n[piste1]\r\nNombre total de btns=100999\r\n");
    for (const QStringList &arguments :
         {QStringList{"seq", "show", "huge.ini"}, {"seq", "export", "out.ini", "huge.ini"}, onPty({"play", "huge.ini"})}) {
        r = runCli(dir.path(), arguments);
        EXPECT_EQ(r.status, 1) << arguments.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains("plus de 100")) << r.err.constData();
    }
    EXPECT_FALSE(QFile::exists(dir.filePath("out.ini")));
    EXPECT_EQ(pty.drain(), QByteArray());
}

// A pipe or a device given as a sequence was read for ever; a full disk emptied the panel
// file and the command said it had worked.
TEST_F(CliSequences, UnreadableFilesAndAFullDiskEndInStatus1)
{
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath("Activites/pipe.ini")).constData(), 0600), 0);
    EXPECT_EQ(runCli(dir.path(), {"seq", "list"}).out, "Default\nShow.ini\n");
    for (const char *file : {"/dev/zero", "Activites/pipe.ini"}) {
        for (const char *command : {"show", "export"}) {
            const auto r = runCli(dir.path(), command == QLatin1String("show") ? QStringList{"seq", "show", file}
                                                                                 : QStringList{"seq", "export", "out.ini", file});
            EXPECT_EQ(r.status, 1) << file << " " << command;
            EXPECT_TRUE(r.err.contains(QByteArray(file) + " : illisible (ce n'est pas un fichier ordinaire)"))
                << r.err.constData();
        }
    }
    EXPECT_FALSE(QFile::exists(dir.filePath("out.ini")));

    auto fullDisk = [] {
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = {64, 64};
        setrlimit(RLIMIT_FSIZE, &limit);
    };
    const auto r = runCli(dir.path(), {"setport", "/dev/ttyUSB7"}, fullDisk);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.err.contains(QString::fromLocal8Bit(strerror(EFBIG)).toUtf8())) << r.err.constData();
    EXPECT_EQ(readFile(dir.filePath("Zelvar2.ini")), Panel);
}
