#include "common/AtomicFile.h"

#include "TestFiles.h"

#include <QDir>
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

} // namespace

// Killed token creations once left temporaries readable by everyone with a whole secret
// inside: a temporary is the user's alone until it is whole, then gets the file's mode.
TEST(AtomicFile, TemporariesArePrivateUntilWholeThenTakeTheFilesMode)
{
    QTemporaryDir dir;
    const mode_t previous = ::umask(022);
    if (::fork() == 0) { // a save killed half-way by the file size limit
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::signal(SIGXFSZ, SIG_DFL);
        writeFileAtomically(dir.filePath("remote-token"), QByteArray(1 << 16, 's'));
        ::_exit(0);
    }
    ::wait(nullptr);
    const QStringList left = QDir(dir.path()).entryList({".remote-token.zlv-*"}, QDir::Files | QDir::Hidden);
    ASSERT_EQ(left.size(), 1);
    EXPECT_EQ(modeOf(dir.filePath(left.first())), 0600u);

    const struct { const char *name; mode_t before, umask, after; } cases[] = {
        {"new.ini", 0, 022, 0644}, {"private.ini", 0, 077, 0600}, {"kept.ini", 0640, 022, 0640}};
    for (const auto &c : cases) {
        const QString path = dir.filePath(c.name);
        if (c.before) {
            writeFile(path, "old");
            ::chmod(QFile::encodeName(path).constData(), c.before);
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
    const QString shared = dir.filePath("shared"), victim = dir.filePath("profile"), link = shared + "/Zelvar2.ini";
    ASSERT_TRUE(QDir().mkdir(shared));
    ASSERT_EQ(::chown(QFile::encodeName(shared).constData(), 4243, 4243), 0);
    const struct { uid_t linkOwner; mode_t folderMode; bool followed; } cases[] = {
        {4242, 01777, false}, {::getuid(), 01777, true}, {4243, 01777, true}, {4242, 0777, true}};
    for (const auto &c : cases) {
        writeFile(victim, "export PATH\n");
        QFile::remove(link);
        ASSERT_TRUE(QFile::link(victim, link));
        ASSERT_EQ(::lchown(QFile::encodeName(link).constData(), c.linkOwner, c.linkOwner), 0);
        ::chmod(QFile::encodeName(shared).constData(), c.folderMode);
        QString error;
        EXPECT_EQ(writeFileAtomically(link, "[Info]\r\n", &error), c.followed) << c.linkOwner;
        EXPECT_EQ(readFile(victim), c.followed ? QByteArray("[Info]\r\n") : QByteArray("export PATH\n")) << c.linkOwner;
        if (!c.followed)
            EXPECT_EQ(error, link + " : lien symbolique d'un autre utilisateur dans un dossier partagé, non suivi");
    }
}
