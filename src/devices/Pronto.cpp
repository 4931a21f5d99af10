#include "devices/Pronto.h"

#include <QList>
#include <QLocale>

#include <algorithm>
#include <cmath>
#include <numeric>

namespace zelvar {
namespace {

bool isProntoWord(const QByteArray &word)
{
    if (word.size() != 4)
        return false;
    for (char c : word) {
        const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (!hex)
            return false;
    }
    return true;
}

ProntoParseResult failure(const QString &reason)
{
    return {std::nullopt, reason};
}

} // namespace

ProntoParseResult parsePronto(const QByteArray &text)
{
    const QByteArray simplified = text.simplified();
    if (simplified.isEmpty())
        return failure(QStringLiteral("le code infrarouge est vide"));

    const QList<QByteArray> tokens = simplified.split(' ');
    std::vector<unsigned> words;
    words.reserve(tokens.size());
    for (qsizetype i = 0; i < tokens.size(); ++i) {
        if (!isProntoWord(tokens[i]))
            return failure(QStringLiteral("le mot %1 « %2 » n'est pas un mot Pronto (4 chiffres hexadécimaux)")
                               .arg(i + 1)
                               .arg(QString::fromLatin1(tokens[i].left(16))));
        words.push_back(tokens[i].toUInt(nullptr, 16));
    }

    if (words.size() % 2 != 0)
        return failure(QStringLiteral("nombre de mots impair (%1) : les salves vont par paires").arg(words.size()));
    if (words.size() < 4)
        return failure(QStringLiteral("code trop court (%1 mots) : il faut au moins l'en-tête de 4 mots").arg(words.size()));
    if (words[0] != 0)
        return failure(QStringLiteral("type de code %1 non pris en charge : seuls les codes appris (0000) le sont")
                           .arg(QString::fromLatin1(tokens[0])));
    const unsigned frequencyWord = words[1];
    if (frequencyWord == 0)
        return failure(QStringLiteral("fréquence porteuse nulle"));

    const std::size_t oncePairs = words[2];
    const std::size_t repeatPairs = words[3];
    if (oncePairs + repeatPairs == 0)
        return failure(QStringLiteral("le code n'annonce aucune salve"));
    const std::size_t pairsPresent = (words.size() - 4) / 2;
    if (pairsPresent != oncePairs + repeatPairs)
        return failure(QStringLiteral("le code annonce %1 paires de salves (%2 + %3) mais en contient %4")
                           .arg(oncePairs + repeatPairs)
                           .arg(oncePairs)
                           .arg(repeatPairs)
                           .arg(pairsPresent));

    const double periodUs = frequencyWord * kProntoUnitUs;
    ProntoCode code;
    code.carrierHz = static_cast<unsigned>(std::lround(1e6 / periodUs));
    for (std::size_t i = 4; i < words.size(); ++i) {
        if (words[i] == 0)
            return failure(QStringLiteral("durée nulle au mot %1").arg(i + 1));
        // A burst never rounds down to nothing: the device refuses zero durations.
        const auto us = static_cast<unsigned>(std::max(1L, std::lround(words[i] * periodUs)));
        (i < 4 + 2 * oncePairs ? code.once : code.repeat).push_back(us);
    }
    return {std::move(code), QString()};
}

namespace {

std::uint64_t sumUs(const std::vector<unsigned> &durations)
{
    return std::accumulate(durations.begin(), durations.end(), std::uint64_t{0});
}

QString seconds(std::uint64_t us)
{
    return QLocale(QLocale::French).toString(double(us) / 1e6, 'f', 2) + QStringLiteral(" s");
}

} // namespace

std::uint64_t transmissionUs(const ProntoCode &code, int repeatCount)
{
    const auto times = std::uint64_t(std::max(1, repeatCount));
    if (code.repeat.empty())
        return times * sumUs(code.once);
    return sumUs(code.once) + times * sumUs(code.repeat);
}

QString transmissionLimitError(const ProntoCode &code, int repeatCount)
{
    if (code.carrierHz < kMinCarrierHz || code.carrierHz > kMaxCarrierHz)
        return QStringLiteral("porteuse de %1 Hz hors de la plage de 15 à 500 kHz").arg(code.carrierHz);
    if (const std::uint64_t once = sumUs(code.once); once > kMaxPartUs)
        return QStringLiteral("la partie unique du code durerait %1, plus d'une seconde").arg(seconds(once));
    if (const std::uint64_t repeat = sumUs(code.repeat); repeat > kMaxPartUs)
        return QStringLiteral("une répétition du code durerait %1, plus d'une seconde").arg(seconds(repeat));
    if (const std::uint64_t whole = transmissionUs(code, repeatCount); whole > kMaxTransmissionUs)
        return QStringLiteral("l'émission entière (%1 répétitions) durerait %2, plus de 15 secondes")
            .arg(std::max(1, repeatCount))
            .arg(seconds(whole));
    return {};
}

} // namespace zelvar
