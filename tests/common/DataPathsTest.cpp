#include "common/DataPaths.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace zelvar;

// The program started from the desktop must land in the folder the service unit works in.
TEST(DataPaths, ServiceFolderIsCreatedPrivateAndEntered)
{
    QTemporaryDir dir;
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    const QString cwd = QDir::currentPath();

    qputenv("XDG_DATA_HOME", "relative/ignored");
    EXPECT_EQ(serviceFolder(), QDir::homePath() + QStringLiteral("/.local/share/zelvar"));

    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath("data")));
    QString error;
    ASSERT_TRUE(enterServiceFolder(&error)) << error.toStdString();
    EXPECT_EQ(QDir::currentPath(), dir.filePath("data/zelvar"));
    struct stat info = {};
    ASSERT_EQ(::stat(QFile::encodeName(dir.filePath("data/zelvar")).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_TRUE(enterServiceFolder(&error)); // already there

    // A file where the folder should be: refused with the system's reason, nothing entered.
    QDir::setCurrent(cwd);
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.filePath("plain")));
    QDir().mkpath(dir.filePath("plain"));
    QFile file(dir.filePath("plain/zelvar"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_FALSE(enterServiceFolder(&error));
    EXPECT_TRUE(error.startsWith(dir.filePath("plain/zelvar") + QStringLiteral(" : "))) << error.toStdString();
    EXPECT_EQ(QDir::currentPath(), cwd);

    QDir::setCurrent(cwd);
    if (saved.isNull())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", saved);
}
