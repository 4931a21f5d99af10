#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include "TestFiles.h"
#include "cli/CliRun.h"

using zelvar::testing::CliResult;
using zelvar::testing::runCli;
using zelvar::testing::writeFile;
using zelvar::testing::dataFile;

TEST(Cli, ShowJsonIsThePanelAsBuilt)
{
    QTemporaryDir dir;
    writeFile(dir.filePath("Zelvar2.ini"), dataFile("two-buttons-save.ini"));
    const CliResult run = runCli(dir.path(), {"show", "--json"});
    ASSERT_EQ(run.status, 0) << run.err.constData();
    const QJsonObject root = QJsonDocument::fromJson(run.out).object();
    const QJsonObject settings = root["settings"].toObject();
    EXPECT_EQ(settings["port"].toString(), "/dev/ttyUSB0");
    EXPECT_EQ(settings["speed"].toString(), "19200");
    EXPECT_TRUE(settings["exitMenus"].isBool() && settings["exitMenus"].toBool());
    EXPECT_FALSE(settings["reduceToTray"].toBool());
    const QJsonArray buttons = root["buttons"].toArray();
    ASSERT_EQ(buttons.size(), 2);
    EXPECT_EQ(buttons[0]["index"].toInt(), 1);
    EXPECT_EQ(buttons[0]["press"].toString(), "S3N$#");
    EXPECT_EQ(buttons[0]["release"].toString(), "S3F$#");
    EXPECT_EQ(buttons[0]["shortcut"].toInt(), 112);
    EXPECT_EQ(buttons[1]["caption"].toString(), QString::fromUtf8("Télé"));
    EXPECT_EQ(buttons[1]["description"].toString(), QString::fromUtf8("Non défini"));
    EXPECT_EQ(buttons[1]["click"].toString(), "0000 006D 0001 0000 0010 0020");
    const QJsonArray texts = root["texts"].toArray();
    ASSERT_EQ(texts.size(), 1);
    EXPECT_EQ(texts[0]["text"].toString(), QString::fromUtf8("Entrée"));
    EXPECT_EQ(texts[0]["top"].toInt(), 300);

    const CliResult text = runCli(dir.path(), {"show"});
    EXPECT_EQ(text.status, 0);
    EXPECT_TRUE(text.out.contains("S3N$#"));
}

TEST(Cli, CheckReportsLinesAndStatus)
{
    QTemporaryDir dir;
    writeFile(dir.filePath("Zelvar2.ini"), dataFile("two-buttons-save.ini"));
    EXPECT_EQ(runCli(dir.path(), {"check"}).status, 0);

    writeFile(dir.filePath("Default.ini"),
              "[Reglages]\r\nNombre total de boutons=1\r\n[Bouton 1]\r\nMode btn1=7\r\nMode btn1=1\r\n");
    const CliResult run = runCli(dir.path(), {"check"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.out.contains("Default.ini:4:")) << run.out.constData();
    EXPECT_TRUE(run.out.contains("Default.ini:5:")) << "the repeated key";

    // A sequence saved over the panel's file holds no panel at all.
    QFile::remove(dir.filePath("Default.ini"));
    writeFile(dir.filePath("Zelvar2.ini"), "[Sequenceur]\r\nNbrePistes=1\r\n[Piste 1]\r\nBouton=2\r\n");
    const CliResult sequence = runCli(dir.path(), {"check"});
    EXPECT_EQ(sequence.status, 1);
    EXPECT_TRUE(sequence.out.contains("Zelvar2.ini:0: aucune section « Reglages »")) << sequence.out.constData();
}

TEST(Cli, ExportWritesWhatTheEditorWouldSave)
{
    QTemporaryDir dir;
    writeFile(dir.filePath("Zelvar2.ini"), dataFile("two-buttons-save.ini"));
    QImage picture(600, 350, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    ASSERT_TRUE(picture.save(dir.filePath("Zelvar2.bmp"), "BMP"));

    const CliResult run = runCli(dir.path(), {"export", "copy.zel"});
    ASSERT_EQ(run.status, 0) << run.err.constData();
    QFile copy(dir.filePath("copy.zel"));
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    // What the editor saves: the same, with the ids given to the buttons of an older file.
    QByteArray saved = dataFile("two-buttons-save.ini");
    saved.replace("Code btn1=3\r\n", "Code btn1=3\r\nId btn1=button1\r\n");
    saved.replace("CodePronto btn2=0000 006D 0001 0000 0010 0020\r\n", "CodePronto btn2=0000 006D 0001 0000 0010 0020\r\nId btn2=button2\r\n");
    EXPECT_EQ(copy.readAll(), saved);
    EXPECT_EQ(QImage(dir.filePath("copy.bmp")).size(), QSize(600, 350));

    // A hand-made file comes out in the program's own layout, with the editor's defaults.
    writeFile(dir.filePath("Zelvar2.ini"), "[reglages]\nnombre total de boutons=1\n[bouton 1]\nmode btn1=2\ncode btn1=4\n");
    ASSERT_EQ(runCli(dir.path(), {"export", "small.ini"}).status, 0);
    QFile small(dir.filePath("small.ini"));
    ASSERT_TRUE(small.open(QIODevice::ReadOnly));
    const QByteArray bytes = small.readAll();
    EXPECT_TRUE(bytes.contains("Description  btn1=Description\r\n"));
    EXPECT_TRUE(bytes.contains("Nom Raccourci btn1=Non d\xE9" "fini\r\n"));
    EXPECT_TRUE(bytes.contains("Code btn1=4\r\n"));
    EXPECT_TRUE(bytes.contains("Nombre total de Textes=-1\r\n"));
    EXPECT_FALSE(QFile::exists(dir.filePath("small.bmp")));
}

// Each of these once wrote something with status 0 and lost data: a bitmap overwritten by
// the project, a panel cut at the reader's limit, an unreadable panel taken for an empty one.
TEST(Cli, ExportRefusesWhatWouldLoseDataAndWritesNothing)
{
    const QByteArray bitmap = "BM the user's own picture";
    const QByteArray cut = "[Reglages]\r\nNombre total de boutons=5000\r\nNombre total de Textes=1\r\n";
    const struct
    {
        const char *name;
        QByteArray panel; // empty: Zelvar2.ini is a folder
        const char *target;
        const char *message;
    } cases[] = {{"picture", dataFile("two-buttons-save.ini"), "x.bmp", "x.bmp"},
                 {"cut", cut, "copy.zel", "4096"},
                 {"unreadable", QByteArray(), "copy.zel", "Zelvar2.ini"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        if (c.panel.isEmpty())
            ASSERT_TRUE(QDir(dir.path()).mkdir("Zelvar2.ini"));
        else
            writeFile(dir.filePath("Zelvar2.ini"), c.panel);
        writeFile(dir.filePath("x.bmp"), bitmap);
        const CliResult run = runCli(dir.path(), {"export", c.target});
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(run.err.contains(c.message)) << run.err.constData();
        EXPECT_EQ(zelvar::testing::readFile(dir.filePath("x.bmp")), bitmap);
        EXPECT_FALSE(QFile::exists(dir.filePath("copy.zel")));
        EXPECT_FALSE(QFile::exists(dir.filePath("copy.bmp")));
    }
}

TEST(Cli, CheckSaysAnUnreadablePanelFileIsNotAMissingOne)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("Zelvar2.ini"));
    const CliResult run = runCli(dir.path(), {"check"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.out.contains("Zelvar2.ini : illisible (")) << run.out.constData();
    EXPECT_FALSE(run.out.contains("absent"));
}

TEST(Cli, EveryCommandHasHelpWhoseUsageLineNamesIt)
{
    QTemporaryDir dir;
    const struct
    {
        QStringList arguments;
        const char *usage;
    } cases[] = {
        {{"show", "--help"}, "zelvar-cli show [options]\n"},
        {{"check", "--help"}, "zelvar-cli check [options]\n"},
        {{"export", "--help"}, "zelvar-cli export [options] FICHIER\n"},
        {{"relay", "--help"}, "zelvar-cli relay [options] N ACTION [MS]\n"},
        {{"play", "--help"}, "zelvar-cli play [options] [FILE]\n"},
        {{"seq", "show", "--help"}, "zelvar-cli seq show [options] [FILE]\n"},
        {{"seq", "export", "--help"}, "zelvar-cli seq export [options] OUT [FILE]\n"},
    };
    for (const auto &c : cases) {
        const CliResult run = runCli(dir.path(), c.arguments);
        EXPECT_EQ(run.status, 0) << c.usage;
        EXPECT_TRUE(run.out.contains("--help")) << c.usage;
        EXPECT_EQ(run.out.left(run.out.indexOf('\n') + 1).mid(run.out.indexOf("zelvar-cli")), c.usage);
    }
    EXPECT_EQ(runCli(dir.path(), {"nonsense"}).status, 64);
}

// The everyday commands must start fast: Qt's GUI module (fonts, X libraries) is left to
// the picture commands' own program, the network modules to the service's.
TEST(Cli, EverydayCommandsLoadQtCoreAlone)
{
    auto libraries = [](const QString &program) {
        QProcess ldd;
        ldd.start(QStringLiteral("ldd"), {program});
        ldd.waitForFinished(10000);
        return ldd.readAllStandardOutput();
    };
    const QByteArray cli = libraries(QStringLiteral(ZELVAR_CLI));
    EXPECT_TRUE(cli.contains("libQt6Core")) << cli.constData();
    EXPECT_FALSE(cli.contains("libQt6Gui")) << cli.constData();
    EXPECT_FALSE(cli.contains("libQt6Network")) << cli.constData();
    EXPECT_FALSE(cli.contains("libsystemd")) << cli.constData();
    EXPECT_TRUE(libraries(QFileInfo(QStringLiteral(ZELVAR_CLI)).dir().filePath("zelvar-cli-serve")).contains("libsystemd"));
    EXPECT_TRUE(libraries(QFileInfo(QStringLiteral(ZELVAR_CLI)).dir().filePath("zelvar-cli-pictures")).contains("libQt6Gui"));
}
