#include "common/AtomicFile.h"

#include "common/FileName.h"
#include "common/SystemError.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <optional>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zelvar {

namespace {

constexpr int StaleTemporarySeconds = 10 * 60;
constexpr char TemporaryMark[] = ".zlv-";
constexpr int RandomLength = 6;
constexpr char RandomLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
// "." before the name, the mark and the random part after it.
constexpr int TemporaryExtra = 1 + int(sizeof TemporaryMark) - 1 + RandomLength;

bool isContinuationByte(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

int nameLimit(const QByteArray &folder)
{
    const long limit = ::pathconf(folder.constData(), _PC_NAME_MAX);
    return limit > 0 ? int(qMin<long>(limit, INT_MAX)) : NAME_MAX;
}

// ".<name>.zlv-": the start of every temporary of `name`, which is cut (never inside a
// UTF-8 character) so that the whole temporary name fits in `limit` bytes.
QByteArray temporaryPrefix(QByteArray name, int limit)
{
    const int room = qMax(1, limit - TemporaryExtra);
    if (name.size() > room) {
        int cut = room;
        while (cut > 1 && isContinuationByte(name[cut]))
            --cut;
        name.truncate(cut);
    }
    return '.' + name + TemporaryMark;
}

bool isTemporaryOf(const char *entry, const QByteArray &prefix)
{
    const size_t length = std::strlen(entry);
    if (length != size_t(prefix.size() + RandomLength) || std::memcmp(entry, prefix.constData(), size_t(prefix.size())) != 0)
        return false;
    for (size_t i = size_t(prefix.size()); i < length; ++i)
        if (!std::strchr(RandomLetters, entry[i]))
            return false;
    return true;
}

// Removes what a killed save of the same file left: our own temporaries, plain files of
// this user older than ten minutes. Nothing else in the folder is looked at twice.
void removeStaleTemporaries(const QByteArray &folder, const QByteArray &prefix)
{
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        return;
    const int fd = ::dirfd(dir);
    const time_t limit = std::time(nullptr) - StaleTemporarySeconds;
    while (const dirent *entry = ::readdir(dir)) {
        if (!isTemporaryOf(entry->d_name, prefix))
            continue;
        struct stat info = {};
        if (::fstatat(fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISREG(info.st_mode) && info.st_uid == ::getuid() && info.st_mtime < limit)
            ::unlinkat(fd, entry->d_name, 0);
    }
    ::closedir(dir);
}

// Whether a save may follow the symbolic link `link`. In a sticky folder anyone may write to
// (a shared /tmp folder), only the user's own links and the folder owner's are followed: the
// kernel's protected_symlinks rule, applied here too since it may be switched off. Another
// user's link there could aim the save at any file of ours.
bool mayFollow(const QString &link)
{
    struct stat linkInfo = {};
    struct stat folderInfo = {};
    if (::lstat(encodeFileName(link).constData(), &linkInfo) != 0
        || ::stat(encodeFileName(QFileInfo(link).absolutePath()).constData(), &folderInfo) != 0)
        return false;
    const bool shared = (folderInfo.st_mode & S_ISVTX) && (folderInfo.st_mode & S_IWOTH);
    return !shared || linkInfo.st_uid == ::getuid() || linkInfo.st_uid == folderInfo.st_uid;
}

// The file a save replaces: `path` itself, or the file its chain of symbolic links names;
// none when a link of the chain may not be followed, which *refused names.
std::optional<QString> finalTarget(const QString &path, QString *refused)
{
    QFileInfo info(path);
    for (int depth = 0; depth < 40 && info.isSymLink(); ++depth) {
        if (!mayFollow(info.absoluteFilePath())) {
            *refused = info.absoluteFilePath();
            return std::nullopt;
        }
        info.setFile(info.symLinkTarget());
    }
    return info.isSymLink() ? path : info.filePath();
}

// The mode a new file gets: 0666 less the umask, read without changing it (the process may
// have other threads).
mode_t newFileMode()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
            bool ok = false;
            const uint mask = line.startsWith("Umask:") ? line.mid(6).trimmed().toUInt(&ok, 8) : 0;
            if (ok)
                return 0666 & ~mode_t(mask);
        }
    }
    return 0644;
}

// Creates a temporary no one else uses; -1 with errno set when the folder takes none.
int createTemporary(const QByteArray &folder, const QByteArray &prefix, QByteArray *name)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        QByteArray candidate = folder + '/' + prefix;
        for (int i = 0; i < RandomLength; ++i)
            candidate += RandomLetters[QRandomGenerator::global()->bounded(int(sizeof RandomLetters) - 1)];
        // Private until written: a temporary left by a killed save shows no one a secret.
        const int fd = ::open(candidate.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST) {
            *name = candidate;
            return fd;
        }
    }
    return -1;
}

bool writeAll(int fd, const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        data += n;
        left -= n;
    }
    return true;
}

bool fail(QString *error, int code)
{
    if (error)
        *error = systemErrorText(code);
    return false;
}

} // namespace

bool writeFileAtomically(const QString &path, const QByteArray &bytes, QString *error)
{
    QString refused;
    const std::optional<QString> followed = finalTarget(path, &refused);
    if (!followed) {
        if (error)
            *error = QStringLiteral("%1 : lien symbolique d'un autre utilisateur dans un dossier partagé, non suivi")
                         .arg(refused);
        return false;
    }
    const QFileInfo target(*followed);
    const QByteArray targetName = encodeFileName(target.absoluteFilePath());
    const QByteArray folder = encodeFileName(target.absolutePath());
    const QByteArray prefix = temporaryPrefix(encodeFileName(target.fileName()), nameLimit(folder));
    removeStaleTemporaries(folder, prefix);

    struct stat existing = {};
    const bool replacing = ::stat(targetName.constData(), &existing) == 0;
    if (replacing && S_ISDIR(existing.st_mode))
        return fail(error, EISDIR);
    // A file the user made read-only stays as it is.
    if (replacing && ::access(targetName.constData(), W_OK) != 0)
        return fail(error, errno);

    QByteArray temporary;
    const int fd = createTemporary(folder, prefix, &temporary);
    if (fd < 0)
        return fail(error, errno);
    // Each step is checked: a write cut short by a full disk must never reach the rename.
    // The temporary is widened to the file's mode only once it is whole.
    const mode_t mode = replacing ? existing.st_mode & 0777 : newFileMode();
    int reason = 0;
    if (!writeAll(fd, bytes) || ::fsync(fd) != 0 || (mode != 0600 && ::fchmod(fd, mode) != 0))
        reason = errno;
    if (::close(fd) != 0 && reason == 0)
        reason = errno;
    if (reason == 0 && ::rename(temporary.constData(), targetName.constData()) != 0)
        reason = errno;
    if (reason != 0) {
        ::unlink(temporary.constData());
        return fail(error, reason);
    }
    return true;
}

} // namespace zelvar
