#include "editors/EditorFiles.h"

#include "../TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace zelvar;
using zelvar::testing::readFile;

namespace {

TEST(EditorFiles, AFailedSaveNamesTheFileAndLeavesTheOldPanelWhole)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString ini = dir.filePath(QStringLiteral("Zelvar2.ini"));
    PanelConfig config;
    config.buttons.resize(2);
    config.buttonsEverHeld = true;
    QImage picture(20, 10, QImage::Format_RGB32);
    picture.fill(Qt::red);
    ASSERT_TRUE(saveEditorPanel(config, picture, ini, dir.filePath(QStringLiteral("Zelvar2.bmp"))).ok);
    const QByteArray before = readFile(ini);

    // The picture cannot go where it is asked to: the panel file is not touched either.
    config.buttons.resize(1);
    const QString nowhere = dir.filePath(QStringLiteral("absent/Zelvar2.bmp"));
    const EditorSaveResult failed = saveEditorPanel(config, picture, ini, nowhere);
    EXPECT_FALSE(failed.ok);
    EXPECT_EQ(failed.file, nowhere);
    EXPECT_FALSE(failed.error.isEmpty());
    EXPECT_EQ(readFile(ini), before);

    // A character the file would write as "?" is named, with where it stands, and nothing
    // is written, the picture included.
    config.buttons[0].caption = QStringLiteral("Ωmega ☃");
    const QString otherPicture = dir.filePath(QStringLiteral("other.bmp"));
    const EditorSaveResult lossy = saveEditorPanel(config, picture, ini, otherPicture);
    EXPECT_FALSE(lossy.ok);
    EXPECT_EQ(lossy.file, ini);
    EXPECT_TRUE(lossy.error.contains(QStringLiteral("« Ω », « ☃ » dans [Bouton 1]"))) << lossy.error.toStdString();
    EXPECT_EQ(readFile(ini), before);
    EXPECT_FALSE(QFile::exists(otherPicture));
}

TEST(EditorFiles, SavingIsRefusedOverAFileNotReadOrReadInPart)
{
    EXPECT_FALSE(saveRefusal({}));
    EXPECT_TRUE(saveRefusal({.unreadable = true}));
    EXPECT_TRUE(saveRefusal({.truncated = true}));

    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("Zelvar2.ini"));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("Zelvar2.ini"))); // there, but no file to read
    EXPECT_TRUE(loadEditorPanel(ini, QString()).status.unreadable);
    EXPECT_FALSE(loadEditorPanel(dir.filePath(QStringLiteral("missing.ini")), QString()).status.unreadable);
}

} // namespace
