#include "panel/ProjectFile.h"
#include "panel/PanelConfig.h"
#include "common/SystemError.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <cerrno>
#include "TestFiles.h"

using zelvar::testing::readFile;
using zelvar::testing::writeFile;

using namespace zelvar;

namespace {

QImage picture(QColor colour)
{
    QImage image(600, 350, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

PanelConfig panelWith(const QString &caption)
{
    PanelConfig config;
    config.settings.CurrentPortName = QStringLiteral("/dev/null-board");
    ButtonConfig button;
    button.mode = 2;
    button.relay = 3;
    button.caption = caption;
    button.description = caption + QStringLiteral(" : description");
    button.id = QStringLiteral("a1b2c3d4");
    config.buttons.push_back(button);
    config.texts.push_back(TextConfig{QStringLiteral("Entrée"), 10, 20});
    config.buttonsEverHeld = config.textsEverHeld = true;
    return config;
}

// Each test works in a working directory of its own, holding a panel with its picture, and
// keeps its project files in a second directory.
class ProjectFiles : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(work.isValid() && projects.isValid());
        previous = QDir::currentPath();
        QDir::setCurrent(work.path());
        ASSERT_TRUE(writePanelConfig(panelWith(QStringLiteral("Actuel"))).save(PanelFiles::config()).ok);
        ASSERT_TRUE(savePanelPicture(picture(Qt::green), PanelFiles::picture()));
        currentConfig = readFile(PanelFiles::config());
        currentPicture = readFile(PanelFiles::picture());
    }
    void TearDown() override { QDir::setCurrent(previous); }

    QString project(const QString &name) const { return projects.filePath(name); }

    void expectUntouched()
    {
        EXPECT_EQ(readFile(PanelFiles::config()), currentConfig);
        EXPECT_EQ(readFile(PanelFiles::picture()), currentPicture);
        EXPECT_TRUE(ProjectFile::backupsOf(PanelFiles::config()).isEmpty());
        EXPECT_TRUE(ProjectFile::backupsOf(PanelFiles::picture()).isEmpty());
    }

    QTemporaryDir work;
    QTemporaryDir projects;
    QString previous;
    QByteArray currentConfig;
    QByteArray currentPicture;
};

TEST_F(ProjectFiles, ImportRefusesWhatIsNotAPanelConfigurationAndChangesNothing)
{
    writeFile(project(QStringLiteral("notes.zel")), "Liste des courses\r\npain\r\nlait\r\n");
    writeFile(project(QStringLiteral("count.zel")), "[Reglages]\r\nNombre total de boutons=beaucoup\r\n");
    writeFile(project(QStringLiteral("other.zel")), "[Autre]\r\nNombre total de boutons=2\r\n");
    writeFile(project(QStringLiteral("empty.zel")), "");
    for (const char *name : {"notes.zel", "count.zel", "other.zel", "empty.zel", "missing.zel"}) {
        SCOPED_TRACE(name);
        const ProjectFile::Result result = ProjectFile::importFrom(project(QString::fromLatin1(name)));
        EXPECT_FALSE(result.ok);
        EXPECT_FALSE(result.error.isEmpty());
        expectUntouched();
    }
}

// An import on a full disk once said "ok" and left an empty panel file; /dev/zero was read
// until the memory ran out.
TEST_F(ProjectFiles, ImportOnAFullDiskOrFromADeviceSaysWhyAndChangesNothing)
{
    const QString salon = project(QStringLiteral("salon.zel"));
    ASSERT_TRUE(writePanelConfig(panelWith(QStringLiteral("Salon"))).save(salon).ok);
    ProjectFile::Result result;
    {
        zelvar::testing::FileSizeLimit fullDisk(64);
        result = ProjectFile::importFrom(salon);
    }
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.error.endsWith(systemErrorText(EFBIG))) << result.error.toStdString();
    expectUntouched();

    result = ProjectFile::importFrom(QStringLiteral("/dev/zero"));
    EXPECT_EQ(result.error, QStringLiteral("Impossible de lire /dev/zero : ce n'est pas un fichier ordinaire"));
    expectUntouched();
}

// A second import once destroyed the only backup: each replaced file is now kept apart.
TEST_F(ProjectFiles, EachImportKeepsTheFilesItReplacedAsBackupsOfTheirOwn)
{
    const QString salon = project(QStringLiteral("salon.zel"));
    ASSERT_TRUE(writePanelConfig(panelWith(QStringLiteral("Salon"))).save(salon).ok);
    ASSERT_TRUE(savePanelPicture(picture(Qt::blue), project(QStringLiteral("salon.bmp"))));
    const QString cuisine = project(QStringLiteral("cuisine.zel"));
    ASSERT_TRUE(writePanelConfig(panelWith(QStringLiteral("Cuisine"))).save(cuisine).ok);
    ASSERT_TRUE(savePanelPicture(picture(Qt::red), project(QStringLiteral("cuisine.bmp"))));

    // Both in the same second: the second backup takes the "-2" suffix.
    const QDateTime now(QDate(2026, 12, 7), QTime(23, 15, 0));
    ASSERT_TRUE(ProjectFile::importFrom(salon, now).ok);
    ASSERT_TRUE(ProjectFile::importFrom(cuisine, now).ok);

    EXPECT_EQ(readFile(PanelFiles::config()), readFile(cuisine));
    EXPECT_EQ(readFile(PanelFiles::picture()), readFile(project(QStringLiteral("cuisine.bmp"))));
    const QString stamp = QStringLiteral(".20261207-231500");
    EXPECT_EQ(ProjectFile::backupsOf(PanelFiles::config()),
              (QStringList{PanelFiles::config() + stamp + ".bak", PanelFiles::config() + stamp + "-2.bak"}));
    EXPECT_EQ(readFile(PanelFiles::config() + stamp + ".bak"), currentConfig);
    EXPECT_EQ(readFile(PanelFiles::config() + stamp + "-2.bak"), readFile(salon));
    EXPECT_EQ(readFile(PanelFiles::picture() + stamp + ".bak"), currentPicture);
    EXPECT_EQ(readFile(PanelFiles::picture() + stamp + "-2.bak"), readFile(project(QStringLiteral("salon.bmp"))));
}

TEST_F(ProjectFiles, OnlyTheTenNewestBackupsAreKept)
{
    const QString salon = project(QStringLiteral("salon.zel"));
    ASSERT_TRUE(writePanelConfig(panelWith(QStringLiteral("Salon"))).save(salon).ok);
    writeFile(PanelFiles::config() + QStringLiteral(".bak"), "made by an older version");
    const QDateTime start(QDate(2026, 12, 7), QTime(9, 0, 0));
    for (int i = 0; i < 12; ++i)
        ASSERT_TRUE(ProjectFile::importFrom(salon, start.addSecs(i < 11 ? i * 3600 : 0)).ok);

    const QStringList kept = ProjectFile::backupsOf(PanelFiles::config());
    ASSERT_EQ(kept.size(), ProjectFile::KeptBackups);
    // The last import's clock went back: its backup stays, the oldest of the others goes.
    EXPECT_EQ(kept.first(), PanelFiles::config() + QStringLiteral(".20261207-090000.bak"));
    EXPECT_FALSE(kept.contains(PanelFiles::config() + QStringLiteral(".20261207-100000.bak")));
    EXPECT_EQ(kept.last(), PanelFiles::config() + QStringLiteral(".20261207-190000.bak"));
    EXPECT_TRUE(QFile::exists(PanelFiles::config() + QStringLiteral(".bak"))) << "not one of ours to remove";
}

TEST_F(ProjectFiles, ImportWithoutAUsablePictureKeepsTheCurrentOne)
{
    const QString source = project(QStringLiteral("cuisine.zel"));
    ASSERT_TRUE(writePanelConfig(panelWith(QStringLiteral("Cuisine"))).save(source).ok);
    ASSERT_TRUE(ProjectFile::importFrom(source).ok);
    EXPECT_EQ(readFile(PanelFiles::picture()), currentPicture);

    // A file beside the project that is no picture is left out as well.
    writeFile(project(QStringLiteral("cuisine.bmp")), "pas une image");
    ASSERT_TRUE(ProjectFile::importFrom(source).ok);
    EXPECT_EQ(readFile(PanelFiles::picture()), currentPicture);
    EXPECT_EQ(readFile(PanelFiles::config()), readFile(source));
}

TEST_F(ProjectFiles, ExportedProjectImportsBackToTheSameConfiguration)
{
    const QString target = project(QStringLiteral("copie.zel"));
    ASSERT_TRUE(ProjectFile::exportTo(target).ok);
    EXPECT_EQ(QImage(project(QStringLiteral("copie.bmp"))), QImage(PanelFiles::picture()));

    ASSERT_TRUE(writePanelConfig(panelWith(QStringLiteral("Autre"))).save(PanelFiles::config()).ok);
    ASSERT_TRUE(savePanelPicture(picture(Qt::red), PanelFiles::picture()));
    ASSERT_TRUE(ProjectFile::importFrom(target).ok);

    EXPECT_EQ(readFile(PanelFiles::config()), currentConfig);
    EXPECT_EQ(QImage(PanelFiles::picture()), QImage(project(QStringLiteral("copie.bmp"))));
}

// A target named like a picture, or beside the panel's own files, once lost data and said
// it succeeded.
TEST_F(ProjectFiles, ExportRefusesATargetThatWouldReplaceItsPictureOrThePanelsFiles)
{
    writeFile(project(QStringLiteral("x.bmp")), "a bitmap of the user");
    writeFile(PanelFiles::factory(), "[Reglages]\r\n");
    for (const QString &target : {project(QStringLiteral("x.bmp")), QStringLiteral("Zelvar2.bmp"),
                                  QStringLiteral("Zelvar2.zel"), QStringLiteral("./Zelvar2.ini"),
                                  work.filePath(QStringLiteral("Default.ini"))}) {
        SCOPED_TRACE(target.toStdString());
        const ProjectFile::Result result = ProjectFile::exportTo(target);
        EXPECT_FALSE(result.ok);
        EXPECT_FALSE(result.error.isEmpty());
        expectUntouched();
        EXPECT_EQ(readFile(PanelFiles::factory()), QByteArray("[Reglages]\r\n"));
        EXPECT_EQ(readFile(project(QStringLiteral("x.bmp"))), QByteArray("a bitmap of the user"));
    }
    EXPECT_EQ(QDir(work.path()).entryList(QDir::Files).size(), 3);
    EXPECT_EQ(QDir(projects.path()).entryList(QDir::Files).size(), 1);
}

TEST_F(ProjectFiles, ExportToAPlaceThatCannotBeWrittenSaysWhy)
{
    const ProjectFile::Result result = ProjectFile::exportTo(project(QStringLiteral("absent/copie.zel")));
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.error.contains(QStringLiteral("absent"))) << result.error.toStdString();
}

} // namespace
