#pragma once

#include <QByteArray>
#include <QString>

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

} // namespace zelvar
