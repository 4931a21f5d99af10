#include "common/AtomicFile.h"

#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using zelvar::writeFileAtomically;
using zelvar::testing::readFile;
using zelvar::testing::writeFile;

namespace {

mode_t modeOf(const QString &path)
{
    struct stat info = {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

// A save killed half-way (here by the file size limit) leaves its temporary behind.
QString leftoverOfAKilledSave(const QString &path)
{
    const pid_t child = ::fork();
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_DFL);
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        writeFileAtomically(path, QByteArray(1 << 16, 's'));
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    const QDir folder = QFileInfo(path).dir();
    const QStringList left = folder.entryList({QStringLiteral(".*.zlv-*")}, QDir::Files | QDir::Hidden);
    return left.size() == 1 ? folder.filePath(left.first()) : QString();
}

} // namespace

// Killed token creations once left temporaries readable by everyone with a whole secret
// inside: a temporary is the user's alone until it is whole, then gets the file's mode.
TEST(AtomicFile, TemporariesArePrivateUntilWholeThenTakeTheFilesMode)
{
    QTemporaryDir dir;
    const mode_t previous = ::umask(022);
    const QString secret = dir.filePath(QStringLiteral("remote-token"));
    const QString leftover = leftoverOfAKilledSave(secret);
    ASSERT_FALSE(leftover.isEmpty());
    EXPECT_EQ(modeOf(leftover), 0600u);

    struct Case
    {
        const char *name;
        mode_t before; // 0: a new file
        mode_t umask;
        mode_t after;
    };
    const Case cases[] = {{"new.ini", 0, 022, 0644}, {"private.ini", 0, 077, 0600}, {"kept.ini", 0640, 022, 0640},
                          {"wide.ini", 0666, 077, 0666}};
    for (const Case &c : cases) {
        const QString path = dir.filePath(QString::fromLatin1(c.name));
        if (c.before) {
            writeFile(path, "old");
            ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), c.before), 0);
        }
        ::umask(c.umask);
        EXPECT_TRUE(writeFileAtomically(path, "new")) << c.name;
        EXPECT_EQ(modeOf(path), c.after) << c.name;
    }
    ::umask(previous);
}

// In a sticky folder anyone may write to, another user's link named like our file once
// made a save rewrite the file it pointed at (~/.profile). Only the user's own links and the
// folder owner's are followed there, as the kernel's protected_symlinks would.
TEST(AtomicFile, AnotherUsersLinkInASharedFolderIsNotFollowed)
{
    if (::getuid() != 0)
        GTEST_SKIP() << "giving a link to another user needs root";
    QTemporaryDir dir;
    const QString shared = dir.filePath(QStringLiteral("shared"));
    const QString victim = dir.filePath(QStringLiteral("profile"));
    ASSERT_TRUE(QDir().mkdir(shared));
    constexpr uid_t FolderOwner = 4243;
    ASSERT_EQ(::chown(QFile::encodeName(shared).constData(), FolderOwner, FolderOwner), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(shared).constData(), 01777), 0);
    const QString link = QDir(shared).filePath(QStringLiteral("Zelvar2.ini"));

    const struct
    {
        uid_t linkOwner;
        mode_t folderMode;
        bool followed;
    } cases[] = {{4242, 01777, false}, {::getuid(), 01777, true}, {FolderOwner, 01777, true}, {4242, 0777, true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "link of " << c.linkOwner << " in a folder of mode " << std::oct << c.folderMode);
        writeFile(victim, "export PATH\n");
        QFile::remove(link);
        ASSERT_TRUE(QFile::link(victim, link));
        ASSERT_EQ(::lchown(QFile::encodeName(link).constData(), c.linkOwner, c.linkOwner), 0);
        ASSERT_EQ(::chmod(QFile::encodeName(shared).constData(), c.folderMode), 0);
        QString error;
        EXPECT_EQ(writeFileAtomically(link, "[Info]\r\n", &error), c.followed);
        EXPECT_EQ(readFile(victim), c.followed ? QByteArray("[Info]\r\n") : QByteArray("export PATH\n"));
        if (!c.followed)
            EXPECT_EQ(error, link + QStringLiteral(" : lien symbolique d'un autre utilisateur dans un dossier partagé, non suivi"));
    }
}
