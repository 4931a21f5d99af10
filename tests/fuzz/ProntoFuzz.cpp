// Pronto text from arbitrary bytes: never a crash; a code the transmitters accept splits
// into kernel writes that keep its limits and add up to the whole signal.
#include "devices/LircTransmitter.h"
#include "devices/Pronto.h"

#include <cstdint>
#include <numeric>

using namespace zelvar;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const ProntoParseResult parsed = parsePronto(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    if (parsed.code.has_value() == !parsed.error.isEmpty())
        __builtin_trap();
    if (!parsed.code)
        return 0;
    const ProntoCode &code = *parsed.code;
    if (code.once.size() % 2 || code.repeat.size() % 2 || code.once.size() + code.repeat.size() == 0)
        __builtin_trap();
    for (const auto *part : {&code.once, &code.repeat})
        for (unsigned us : *part)
            if (us == 0)
                __builtin_trap();

    constexpr int Repeats = 10;
    if (!transmissionLimitError(code, Repeats).isEmpty())
        return 0;
    if (transmissionUs(code, Repeats) > kMaxTransmissionUs || code.carrierHz < kMinCarrierHz
        || code.carrierHz > kMaxCarrierHz)
        __builtin_trap();

    // The once part, then the repeats; a code without repeat part repeats its once part.
    std::vector<unsigned> whole;
    const auto append = [&](const std::vector<unsigned> &part) { whole.insert(whole.end(), part.begin(), part.end()); };
    if (!code.repeat.empty())
        append(code.once);
    for (int i = 0; i < Repeats; ++i)
        append(code.repeat.empty() ? code.once : code.repeat);

    std::vector<unsigned> joined;
    for (const LircChunk &chunk : LircTransmitter::chunksFor(code, Repeats)) {
        const std::uint64_t us = std::accumulate(chunk.durations.begin(), chunk.durations.end(), std::uint64_t{0});
        if (chunk.durations.size() % 2 == 0 || chunk.durations.size() > LircTransmitter::kMaxChunkValues)
            __builtin_trap();
        // Only a single pulse longer than a write allows stands alone over the limit.
        if (chunk.durations.size() > 1 && us > LircTransmitter::kMaxChunkUs)
            __builtin_trap();
        joined.insert(joined.end(), chunk.durations.begin(), chunk.durations.end());
        joined.push_back(chunk.gapAfterUs);
    }
    if (joined != whole)
        __builtin_trap();
    return 0;
}
