#include "panel/ProjectFile.h"
#include "panel/PanelConfig.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>
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
        EXPECT_FALSE(QFile::exists(PanelFiles::config() + QStringLiteral(".bak")));
        EXPECT_FALSE(QFile::exists(PanelFiles::picture() + QStringLiteral(".bak")));
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

TEST_F(ProjectFiles, ImportKeepsThePreviousConfigurationAndPictureAsBackups)
{
    const QString source = project(QStringLiteral("salon.zel"));
    ASSERT_TRUE(writePanelConfig(panelWith(QStringLiteral("Salon"))).save(source).ok);
    ASSERT_TRUE(savePanelPicture(picture(Qt::blue), project(QStringLiteral("salon.bmp"))));

    ASSERT_TRUE(ProjectFile::importFrom(source).ok);

    EXPECT_EQ(readFile(PanelFiles::config()), readFile(source));
    EXPECT_EQ(readFile(PanelFiles::picture()), readFile(project(QStringLiteral("salon.bmp"))));
    EXPECT_EQ(readFile(PanelFiles::config() + QStringLiteral(".bak")), currentConfig);
    EXPECT_EQ(readFile(PanelFiles::picture() + QStringLiteral(".bak")), currentPicture);
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

TEST_F(ProjectFiles, ExportToAPlaceThatCannotBeWrittenSaysWhy)
{
    const ProjectFile::Result result = ProjectFile::exportTo(project(QStringLiteral("absent/copie.zel")));
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.error.contains(QStringLiteral("copie.zel")));
}

} // namespace
