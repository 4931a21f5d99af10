#include "common/RegularFile.h"

#include "common/FileName.h"
#include "common/SystemError.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zelvar {

namespace {

std::optional<QByteArray> refuse(FileReadFailure *failure, const QString &reason)
{
    if (failure)
        *failure = {false, reason};
    return std::nullopt;
}

std::optional<QByteArray> refuseKind(FileReadFailure *failure, mode_t mode)
{
    return refuse(failure, S_ISDIR(mode) ? systemErrorText(EISDIR) : QStringLiteral("ce n'est pas un fichier ordinaire"));
}

std::optional<QByteArray> refuseSize(FileReadFailure *failure, qint64 maxBytes)
{
    return refuse(failure, QStringLiteral("fichier trop gros (plus de %1 Mo)").arg(maxBytes / (1024 * 1024)));
}

} // namespace

std::optional<QByteArray> readRegularFile(const QString &path, FileReadFailure *failure, qint64 maxBytes)
{
    const QByteArray name = encodeFileName(path);
    struct stat info = {};
    if (::stat(name.constData(), &info) != 0) {
        if (errno == ENOENT) {
            if (failure)
                *failure = {true, {}};
            return std::nullopt;
        }
        return refuse(failure, systemErrorText(errno));
    }
    if (!S_ISREG(info.st_mode))
        return refuseKind(failure, info.st_mode);
    if (info.st_size > maxBytes)
        return refuseSize(failure, maxBytes);

    // The name may have been given to something else since: what is opened is checked again,
    // and opening never waits.
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return refuse(failure, systemErrorText(errno));
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > maxBytes) {
        const int reason = errno;
        const struct stat seen = info;
        ::close(fd);
        if (!S_ISREG(seen.st_mode))
            return refuseKind(failure, seen.st_mode);
        return seen.st_size > maxBytes ? refuseSize(failure, maxBytes) : refuse(failure, systemErrorText(reason));
    }
    // A file that grows while it is read is still read no further than the limit.
    QByteArray bytes;
    bytes.reserve(qsizetype(info.st_size) + 1);
    char chunk[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || bytes.size() + n > maxBytes) {
            const int reason = errno;
            ::close(fd);
            if (n > 0)
                return refuseSize(failure, maxBytes);
            if (n < 0)
                return refuse(failure, systemErrorText(reason));
            return bytes;
        }
        bytes.append(chunk, n);
    }
}

} // namespace zelvar
