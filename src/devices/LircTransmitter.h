#pragma once

#include "devices/Pronto.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace zelvar {

// One write to the kernel's transmitter: pulse and space durations in microseconds,
// an odd count starting and ending with a pulse, then the silence to keep before the
// next write.
struct LircChunk
{
    std::vector<unsigned> durations;
    unsigned gapAfterUs = 0;
};

// The kernel's infrared transmitter device, fed Pronto codes converted to durations.
class LircTransmitter
{
public:
    // The kernel refuses a write longer than this in total, or with more values.
    static constexpr unsigned kMaxChunkUs = 500000;
    static constexpr std::size_t kMaxChunkValues = 1023;

    static QString defaultDevice();

    explicit LircTransmitter(QString devicePath);

    const QString &devicePath() const { return m_devicePath; }

    // Sends the code: the once sequence, then the repeat sequence repeatCount times (the
    // once sequence itself when the code has no repeat part). An invalid code, or one
    // outside the transmission limits, sends nothing and yields the reason; so does a
    // device that cannot be opened, and one that refuses a write stops there and says so.
    // A regular file standing for the device receives the durations.
    std::optional<QString> transmit(const QByteArray &prontoCode, int repeatCount) const;

    // The writes that send the code, each whole frame kept in one write when it fits.
    static std::vector<LircChunk> chunksFor(const ProntoCode &code, int repeatCount);

private:
    QString m_devicePath;
};

} // namespace zelvar
