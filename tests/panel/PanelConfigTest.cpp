#include "panel/PanelButtons.h"
#include "panel/PanelConfig.h"

#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include "TestFiles.h"

using zelvar::testing::dataFile;

using namespace zelvar;

namespace {

PanelConfig read(const QByteArray &bytes, PanelReader reader = PanelReader::Panel)
{
    return readPanelConfig(ProfileFile::fromBytes(bytes), reader);
}

PanelConfig twoButtonConfig()
{
    PanelConfig c;
    c.settings.CurrentPortName = "/dev/ttyUSB0";
    c.settings.CurrentPortSpeed = "19200";
    c.settings.ExitMenusEnabled = true;
    c.settings.ReduceToTray = false;
    c.settings.MoveMainWindow = true;
    ButtonConfig lamp;
    lamp.mode = 1;
    lamp.relay = 3;
    lamp.prontoCode = "ignored for relay modes";
    lamp.description = "Lampe du salon";
    lamp.left = 10;
    lamp.top = 20;
    lamp.caption = "Salon";
    lamp.shortcut = 112;
    lamp.shortcutName = "VK_F1";
    ButtonConfig tv;
    tv.mode = 5;
    tv.relay = 9;
    tv.prontoCode = "0000 006D 0001 0000 0010 0020";
    tv.description = "";
    tv.left = 100;
    tv.top = 40;
    tv.caption = QString::fromUtf8("Télé");
    tv.shortcutName = QString::fromUtf8("Non défini");
    c.buttons = {lamp, tv};
    c.texts = {{QString::fromUtf8("Entrée"), 5, 300}};
    return c;
}

} // namespace

TEST(PanelConfig, SaveMatchesTheLayoutByteForByte)
{
    const QByteArray expected = dataFile("two-buttons-save.ini");
    ASSERT_FALSE(expected.isEmpty());
    bool lossy = true;
    EXPECT_EQ(writePanelConfig(twoButtonConfig()).toBytes(&lossy), expected);
    EXPECT_FALSE(lossy);
}

TEST(PanelConfig, RelayAndInfraredKeysAfterASave)
{
    const QByteArray saved = writePanelConfig(twoButtonConfig()).toBytes();
    EXPECT_TRUE(saved.contains("Code btn1=3"));
    EXPECT_FALSE(saved.contains("CodePronto btn1"));
    EXPECT_FALSE(saved.contains("Code btn2"));

    const PanelConfig panel = read(saved);
    ASSERT_EQ(panel.buttons.size(), 2u);
    EXPECT_EQ(panel.buttons[0].relay, 3);
    EXPECT_EQ(panel.buttons[0].prontoCode, "0");
    EXPECT_EQ(panel.buttons[1].relay, 0);
    EXPECT_EQ(panel.buttons[1].prontoCode, "0000 006D 0001 0000 0010 0020");
    EXPECT_EQ(panel.settings.CurrentPortName, "/dev/ttyUSB0");
    EXPECT_EQ(panel.settings.CurrentPortSpeed, "19200");
    EXPECT_TRUE(panel.settings.ExitMenusEnabled);
    EXPECT_FALSE(panel.settings.ReduceToTray);
    EXPECT_TRUE(panel.settings.MoveMainWindow);

    const PanelConfig editor = read(saved, PanelReader::Editor);
    EXPECT_EQ(editor.buttons[0].prontoCode, "") << "the editor reads the code only for infrared buttons";
    EXPECT_EQ(editor.buttons[1].prontoCode, "0000 006D 0001 0000 0010 0020");
    EXPECT_EQ(editor.buttons[0].shortcutName, "VK_F1");
}

// A file without ids (or with ids taken twice or unusable) gets the ids of the buttons'
// places, those their entities had before ids, and keeps everything else as it was.
TEST(PanelConfig, ButtonIdsStayWithTheirButtons)
{
    const QByteArray withoutIds = writePanelConfig(twoButtonConfig()).toBytes();
    PanelConfig panel = read(withoutIds, PanelReader::Editor);
    EXPECT_EQ(panel.buttons[0].id, "button1");
    EXPECT_EQ(panel.buttons[1].id, "button2");
    panel.buttons[0].id.clear();
    panel.buttons[1].id.clear();
    EXPECT_EQ(writePanelConfig(panel).toBytes(), withoutIds) << "nothing else changes";


    struct Row { QString first, second, expectedFirst, expectedSecond; };
    const Row rows[] = {
        {"a1", "b2", "a1", "b2"},
        {"a1", "a1", "a1", "button2"},
        {"", "button1", "", "button1"}, // the place's id is taken: a new one
        {"mauvais id", "x/y", "button1", "button2"},
    };
    for (const Row &row : rows) {
        PanelConfig c = twoButtonConfig();
        c.buttons[0].id = row.first;
        c.buttons[1].id = row.second;
        const PanelConfig again = read(writePanelConfig(c).toBytes(), PanelReader::Editor);
        if (row.expectedFirst.isEmpty())
            EXPECT_TRUE(QRegularExpression("^[0-9a-f]{8}$").match(again.buttons[0].id).hasMatch()) << again.buttons[0].id.toStdString();
        else
            EXPECT_EQ(again.buttons[0].id, row.expectedFirst);
        EXPECT_EQ(again.buttons[1].id, row.expectedSecond);
    }
}

TEST(PanelConfig, EmptyDescriptionReadsDifferentlyForPanelAndEditor)
{
    const QByteArray saved = writePanelConfig(twoButtonConfig()).toBytes();
    const PanelButtons live = buildPanelButtons(read(saved).buttons);
    EXPECT_EQ(live[2].description, QString::fromUtf8("Non défini"));
    EXPECT_EQ(read(saved, PanelReader::Editor).buttons[1].description, "");

    const QByteArray missing = "[Reglages]\r\nNombre total de boutons=1\r\n";
    EXPECT_EQ(buildPanelButtons(read(missing).buttons)[1].description, QString::fromUtf8("Non défini"));
    EXPECT_EQ(read(missing, PanelReader::Editor).buttons[0].description, "Description");
    EXPECT_EQ(read(missing, PanelReader::Editor).buttons[0].shortcutName, QString::fromUtf8("Non défini"));
    EXPECT_EQ(read(missing).buttons[0].caption, "vide");
}

TEST(PanelConfig, MissingFileGivesTheDefaults)
{
    const PanelConfig c = read(QByteArray());
    EXPECT_EQ(c.settings.CurrentPortName, "COM1");
    EXPECT_EQ(c.settings.CurrentPortSpeed, "9600");
    EXPECT_TRUE(c.settings.ExitMenusEnabled);
    EXPECT_TRUE(c.settings.ReduceToTray);
    EXPECT_FALSE(c.settings.MoveMainWindow);
    EXPECT_TRUE(c.buttons.empty());
    EXPECT_FALSE(c.wantsPicture);
}

TEST(PanelConfig, CountsBelowOneStopTheLoad)
{
    for (const char *count : {"-1", "0", "abc"}) {
        const QByteArray file = QByteArray("[Reglages]\r\nNombre total de boutons=") + count +
                                "\r\nNombre total de Textes=1\r\n[Bouton 1]\r\nMode btn1=2\r\n"
                                "[Textes 1]\r\nTexte  1=t\r\n";
        const PanelConfig c = read(file);
        EXPECT_TRUE(c.buttons.empty()) << count;
        EXPECT_TRUE(c.texts.empty()) << count << ": no buttons, no texts";
        EXPECT_FALSE(c.wantsPicture) << count;
    }
    const PanelConfig noTexts = read("[Reglages]\r\nNombre total de boutons=1\r\nNombre total de Textes=-1\r\n");
    EXPECT_EQ(noTexts.buttons.size(), 1u);
    EXPECT_TRUE(noTexts.texts.empty());
    EXPECT_FALSE(noTexts.wantsPicture);
}

TEST(PanelConfig, CountsWrittenForNeverFilledAndEmptiedLists)
{
    PanelConfig never = read("[Reglages]\r\nNombre total de boutons=0\r\n", PanelReader::Editor);
    QByteArray bytes = writePanelConfig(never).toBytes();
    EXPECT_TRUE(bytes.contains("Nombre total de boutons=-1\r\n"));
    EXPECT_TRUE(bytes.contains("Nombre total de Textes=-1\r\n"));

    PanelConfig emptied = read(writePanelConfig(twoButtonConfig()).toBytes(), PanelReader::Editor);
    emptied.buttons.clear();
    emptied.texts.clear();
    bytes = writePanelConfig(emptied).toBytes();
    EXPECT_TRUE(bytes.contains("Nombre total de boutons=0\r\n"));
    EXPECT_TRUE(bytes.contains("Nombre total de Textes=0\r\n"));
}

TEST(PanelConfig, KeysKeepTheirBlanks)
{
    const PanelConfig c = read("[Reglages]\r\nNombre total de boutons=1\r\n"
                               "[Bouton 1]\r\nTop btn1=50\r\nLeft btn1=30\r\n");
    EXPECT_EQ(c.buttons[0].top, 0);
    EXPECT_EQ(c.buttons[0].left, 30);
}

TEST(PanelConfig, SaveDropsLeftoverSections)
{
    PanelConfig three = twoButtonConfig();
    three.buttons.push_back(three.buttons[0]);
    PanelConfig edited = read(writePanelConfig(three).toBytes(), PanelReader::Editor);
    ASSERT_EQ(edited.buttons.size(), 3u);
    edited.buttons.pop_back();
    const QByteArray bytes = writePanelConfig(edited).toBytes();
    EXPECT_FALSE(bytes.contains("[Bouton 3]"));
    EXPECT_TRUE(bytes.contains("Nombre total de boutons=2\r\n"));
}

TEST(PanelConfig, AccentedTextsSurviveARoundTrip)
{
    PanelConfig c = twoButtonConfig();
    c.buttons[0].caption = QString::fromUtf8("Cuisine été Œuf");
    c.texts[0].text = QString::fromUtf8("Séjour — « volets »");
    const PanelConfig back = read(writePanelConfig(c).toBytes(), PanelReader::Editor);
    EXPECT_EQ(back.buttons[0].caption, c.buttons[0].caption);
    EXPECT_EQ(back.buttons[1].caption, QString::fromUtf8("Télé"));
    EXPECT_EQ(back.texts[0].text, c.texts[0].text);
    EXPECT_EQ(back.texts[0].top, 300);
}

TEST(PanelConfig, FactoryReaderLeavesTheMoveFlagAndThePicture)
{
    const QByteArray saved = writePanelConfig(twoButtonConfig()).toBytes();
    const PanelConfig c = read(saved, PanelReader::Factory);
    EXPECT_FALSE(c.moveMainWindowRead);
    EXPECT_FALSE(c.settings.MoveMainWindow);
    EXPECT_FALSE(c.settings.ReduceToTray);
    EXPECT_EQ(c.buttons.size(), 2u);
    EXPECT_EQ(c.texts.size(), 1u);
    EXPECT_FALSE(c.wantsPicture);
    EXPECT_TRUE(read(saved).wantsPicture);
}

TEST(PanelConfig, AbsurdCountsAndCoordinatesAreBounded)
{
    const PanelConfig c = read("[Reglages]\r\nNombre total de boutons=2000000000\r\nNombre total de Textes=1\r\n"
                               "[Bouton 1]\r\nLeft btn1=-2147483648\r\nTop  btn1=99999999\r\n");
    EXPECT_EQ(int(c.buttons.size()), MaxPanelButtons);
    EXPECT_EQ(c.buttons[0].left, -MaxCoordinate);
    EXPECT_EQ(c.buttons[0].top, MaxCoordinate);
    ASSERT_EQ(c.warnings.size(), 1);
    EXPECT_TRUE(c.warnings[0].contains("2000000000"));
    // Saving what was cut would drop the rest of the user's panel: every writer refuses.
    EXPECT_TRUE(c.cut);
    EXPECT_FALSE(c.saveRefusal("Zelvar2.ini").isEmpty());
    EXPECT_TRUE(read("[Reglages]\r\nNombre total de boutons=4096\r\n").saveRefusal("Zelvar2.ini").isEmpty());
}

TEST(PanelConfig, JunkInputNeverCrashes)
{
    QByteArray junk;
    for (int i = 0; i < 200000; ++i)
        junk.append(char((i * 7919) % 256));
    junk += "\n[Reglages]\nNombre total de boutons=3\n" + QByteArray(100000, 'x') + "\n";
    const PanelConfig c = read(junk);
    EXPECT_EQ(c.buttons.size(), 3u);
    const QByteArray again = writePanelConfig(c).toBytes();
    EXPECT_EQ(read(again).buttons.size(), 3u);
}

TEST(PanelButtons, EntriesFromAConfiguration)
{
    const PanelButtons entries = buildPanelButtons(twoButtonConfig().buttons);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_TRUE(entries[0].pressCommand.isEmpty() && entries[0].clickCommand.isEmpty());
    EXPECT_EQ(entries[0].mode, 0);
    EXPECT_EQ(entries[1].pressCommand, "S3N$#");
    EXPECT_EQ(entries[1].releaseCommand, "S3F$#");
    EXPECT_EQ(entries[1].clickCommand, "");
    EXPECT_EQ(entries[1].shortcut, 112);
    EXPECT_EQ(entries[2].clickCommand, "0000 006D 0001 0000 0010 0020");
    EXPECT_EQ(entries[2].mode, 5);
}

TEST(PanelPicture, SavedAsAWindowsBitmap)
{
    QTemporaryDir dir;
    QImage picture(600, 350, QImage::Format_RGB32);
    picture.fill(QColor(10, 20, 30));
    ASSERT_TRUE(savePanelPicture(picture, dir.filePath("Zelvar2.bmp")));
    QFile f(dir.filePath("Zelvar2.bmp"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.read(2), "BM");
    const QImage back = loadPanelPicture(dir.filePath("Zelvar2.bmp"));
    EXPECT_EQ(back.size(), QSize(600, 350));
    EXPECT_EQ(back.pixelColor(5, 5), QColor(10, 20, 30));
    EXPECT_TRUE(loadPanelPicture(dir.filePath("missing.bmp")).isNull());

    // A pipe under the picture's name is refused at once instead of waiting for a writer.
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath("pipe.bmp")).constData(), 0600), 0);
    QString error;
    EXPECT_TRUE(readPicture(dir.filePath("pipe.bmp"), &error).isNull());
    EXPECT_EQ(error, QStringLiteral("ce n'est pas un fichier ordinaire"));
}
