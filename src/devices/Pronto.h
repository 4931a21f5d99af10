#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace zelvar {

// A learned Pronto code ("0000" type) in physical units: the carrier and the bursts
// as alternating pulse and space durations in microseconds, each sequence starting
// with a pulse and ending with a space.
struct ProntoCode
{
    unsigned carrierHz = 0;
    std::vector<unsigned> once;
    std::vector<unsigned> repeat;
};

// Either a code or the reason the text is not one, in words a user can read.
struct ProntoParseResult
{
    std::optional<ProntoCode> code;
    QString error;
};

// One Pronto time unit in microseconds: the frequency word counts these per carrier period.
inline constexpr double kProntoUnitUs = 0.241246;

// Reads Pronto text: four-digit hexadecimal words separated by blanks, a zero type word,
// the frequency word, the once and repeat burst pair counts, then the bursts in carrier
// periods.
ProntoParseResult parsePronto(const QByteArray &text);

// What any transmitter is asked to send: a carrier an infrared receiver can use, and a
// transmission short enough for the program that waits for its end.
inline constexpr unsigned kMinCarrierHz = 15000;
inline constexpr unsigned kMaxCarrierHz = 500000;
inline constexpr std::uint64_t kMaxPartUs = 1000000;          // the once part, or one repeat
inline constexpr std::uint64_t kMaxTransmissionUs = 15000000; // the once part and its repeats

// How long sending the code takes: the once part, then the repeat part repeatCount times
// (the once part itself when the code has no repeat part).
std::uint64_t transmissionUs(const ProntoCode &code, int repeatCount);

// Why the code must not be sent with repeatCount repeats, in words a user can read, or an
// empty text when it may.
QString transmissionLimitError(const ProntoCode &code, int repeatCount);

} // namespace zelvar
