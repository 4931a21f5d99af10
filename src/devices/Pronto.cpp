#include "devices/Pronto.h"

#include <QList>

#include <algorithm>
#include <cmath>

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

} // namespace zelvar
