#include "devices/LircTransmitter.h"

#include "common/SystemError.h"

#include <QFile>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <linux/lirc.h>
#include <numeric>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

namespace zelvar {
namespace {

static_assert(sizeof(unsigned) == sizeof(std::uint32_t), "the device takes 32-bit durations");

// Builds the chunks from frames, each frame a run of pulse/space pairs ending with a space.
class ChunkBuilder
{
public:
    void addFrame(const std::vector<unsigned> &frame)
    {
        if (frame.empty())
            return;
        if (fits(frame)) {
            m_current.insert(m_current.end(), frame.begin(), frame.end());
            return;
        }
        close();
        if (fits(frame)) {
            m_current = frame;
            return;
        }
        // A frame too long for one write is cut between pairs.
        for (std::size_t i = 0; i + 1 < frame.size(); i += 2) {
            const std::vector<unsigned> pair{frame[i], frame[i + 1]};
            if (!fits(pair))
                close();
            m_current.insert(m_current.end(), pair.begin(), pair.end());
        }
    }

    std::vector<LircChunk> finish()
    {
        close();
        return std::move(m_chunks);
    }

private:
    // Whether appending the pairs keeps the write within the kernel's limits; an empty
    // chunk takes anything, so that an oversized single pulse still ends up somewhere.
    bool fits(const std::vector<unsigned> &pairs) const
    {
        if (m_current.empty())
            return pairs.size() - 1 <= LircTransmitter::kMaxChunkValues
                   && sum(pairs) - pairs.back() <= LircTransmitter::kMaxChunkUs;
        return m_current.size() + pairs.size() - 1 <= LircTransmitter::kMaxChunkValues
               && sum(m_current) + sum(pairs) - pairs.back() <= LircTransmitter::kMaxChunkUs;
    }

    void close()
    {
        if (m_current.empty())
            return;
        LircChunk chunk;
        chunk.gapAfterUs = m_current.back();
        m_current.pop_back();
        chunk.durations = std::move(m_current);
        m_chunks.push_back(std::move(chunk));
        m_current.clear();
    }

    static std::uint64_t sum(const std::vector<unsigned> &values)
    {
        return std::accumulate(values.begin(), values.end(), std::uint64_t{0});
    }

    std::vector<unsigned> m_current;
    std::vector<LircChunk> m_chunks;
};

// False with errno set when the device took less than everything.
bool writeAll(int fd, const std::vector<unsigned> &values)
{
    const auto *bytes = reinterpret_cast<const char *>(values.data());
    std::size_t left = values.size() * sizeof(unsigned);
    while (left > 0) {
        const ssize_t written = ::write(fd, bytes, left);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = EIO;
            return false;
        }
        bytes += written;
        left -= static_cast<std::size_t>(written);
    }
    return true;
}

} // namespace

QString LircTransmitter::defaultDevice()
{
    return QStringLiteral("/dev/lirc0");
}

LircTransmitter::LircTransmitter(QString devicePath)
    : m_devicePath(std::move(devicePath))
{
}

std::vector<LircChunk> LircTransmitter::chunksFor(const ProntoCode &code, int repeatCount)
{
    const int times = std::max(1, repeatCount);
    ChunkBuilder builder;
    if (code.repeat.empty()) {
        for (int i = 0; i < times; ++i)
            builder.addFrame(code.once);
    } else {
        if (!code.once.empty())
            builder.addFrame(code.once);
        for (int i = 0; i < times; ++i)
            builder.addFrame(code.repeat);
    }
    return builder.finish();
}

std::optional<QString> LircTransmitter::transmit(const QByteArray &prontoCode, int repeatCount) const
{
    const ProntoParseResult parsed = parsePronto(prontoCode);
    if (!parsed.code)
        return parsed.error;
    if (const QString refused = transmissionLimitError(*parsed.code, repeatCount); !refused.isEmpty())
        return refused;

    // O_APPEND changes nothing for the device and lets a file standing for it keep
    // every transmission.
    const int fd = ::open(QFile::encodeName(m_devicePath).constData(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return QStringLiteral("impossible d'ouvrir l'émetteur infrarouge « %1 » : %2")
            .arg(m_devicePath, systemErrorText(errno));

    // Devices without a settable carrier refuse this and send on their own; so does a
    // plain file.
    std::uint32_t carrier = parsed.code->carrierHz;
    (void)::ioctl(fd, LIRC_SET_SEND_CARRIER, &carrier);

    // Each write returns once the device has sent it, so only the silence between
    // writes is left to wait for.
    const std::vector<LircChunk> chunks = chunksFor(*parsed.code, repeatCount);
    std::optional<QString> failure;
    for (std::size_t i = 0; i < chunks.size(); ++i) {
        if (!writeAll(fd, chunks[i].durations)) {
            failure = QStringLiteral("l'émetteur infrarouge « %1 » refuse le code : %2")
                          .arg(m_devicePath, systemErrorText(errno));
            break;
        }
        if (i + 1 < chunks.size())
            std::this_thread::sleep_for(std::chrono::microseconds(chunks[i].gapAfterUs));
    }
    ::close(fd);
    return failure;
}

} // namespace zelvar
