#include "panel/PanelCheck.h"

#include "devices/RelayCommand.h"
#include "panel/PanelConfig.h"

#include <QHash>
#include <QRegularExpression>
#include <algorithm>
#include <map>

namespace zelvar {

namespace K = PanelKeys;

namespace {

// A key's letters alone: no blanks, no accents, no letter case.
QString skeleton(const QString &name)
{
    const QString decomposed = name.normalized(QString::NormalizationForm_D);
    QString out;
    for (QChar c : decomposed) {
        if (c.isSpace() || c.category() == QChar::Mark_NonSpacing)
            continue;
        out += c;
    }
    return out.toCaseFolded();
}

QStringList knownKeys(const QString &section, int *number)
{
    static const QRegularExpression numbered(QStringLiteral("^(Bouton|Textes) (\\d+)$"),
                                             QRegularExpression::CaseInsensitiveOption);
    const QString name = section.trimmed();
    *number = 0;
    if (ProfileFile::foldName(section) == ProfileFile::foldName(K::Info))
        return {"_", "__", "___", "____", "_____"};
    if (ProfileFile::foldName(section) == ProfileFile::foldName(K::Settings))
        return {K::ButtonCount, K::TextCount, K::ExitMenus, K::ReduceToTray, K::MoveMainWindow, K::Separator};
    if (ProfileFile::foldName(section) == ProfileFile::foldName(K::Com))
        return {K::PortName, K::PortSpeed, K::Separator};
    const auto match = numbered.match(name);
    if (!match.hasMatch())
        return {};
    bool ok = false;
    const int k = match.captured(2).toInt(&ok);
    if (!ok)
        return {};
    *number = k;
    if (match.captured(1).compare("Bouton", Qt::CaseInsensitive) == 0)
        return {K::numbered(K::Mode, k), K::numbered(K::Description, k), K::numbered(K::Left, k),
                K::numbered(K::Top, k), K::numbered(K::Caption, k), K::numbered(K::Shortcut, k),
                K::numbered(K::ShortcutName, k), K::numbered(K::Relay, k), K::numbered(K::Pronto, k),
                K::Separator};
    return {K::numbered(K::Text, k), K::numbered(K::TextLeft, k), K::numbered(K::TextTop, k), K::Separator};
}

const ProfileFile::Entry *entryOf(const ProfileFile::Section &section, const QString &key)
{
    const QString folded = ProfileFile::foldName(key);
    for (const auto &entry : section.entries)
        if (ProfileFile::foldName(entry.key) == folded)
            return &entry;
    return nullptr;
}

} // namespace

std::vector<PanelProblem> checkPanelFile(const ProfileFile &profile)
{
    std::vector<PanelProblem> problems;
    std::map<int, const ProfileFile::Section *> buttons;
    std::map<int, const ProfileFile::Section *> texts;
    QHash<QString, bool> seenSections;

    for (const ProfileFile::Section &section : profile.sections()) {
        const QString folded = ProfileFile::foldName(section.name);
        if (seenSections.contains(folded)) {
            problems.push_back({section.line, QStringLiteral("section « %1 » en double : seule la première est lue")
                                                  .arg(section.name)});
            continue;
        }
        seenSections.insert(folded, true);
        int number = 0;
        const QStringList known = knownKeys(section.name, &number);
        if (number > 0)
            (section.name.trimmed().startsWith("B", Qt::CaseInsensitive) ? buttons : texts)[number] = &section;

        QHash<QString, QString> bySkeleton;
        QHash<QString, bool> exact;
        for (const QString &key : known) {
            bySkeleton.insert(skeleton(key), key);
            exact.insert(ProfileFile::foldName(key), true);
        }
        QHash<QString, int> firstLine;
        for (const auto &entry : section.entries) {
            const QString foldedKey = ProfileFile::foldName(entry.key);
            if (const auto first = firstLine.constFind(foldedKey); first != firstLine.constEnd()) {
                problems.push_back({entry.line, QStringLiteral("clé « %1 » en double dans la section « %2 » : seule celle de la ligne %3 est lue")
                                                    .arg(entry.key.trimmed(), section.name.trimmed())
                                                    .arg(*first)});
                continue;
            }
            firstLine.insert(foldedKey, entry.line);
            if (exact.contains(foldedKey))
                continue;
            const auto near = bySkeleton.constFind(skeleton(entry.key));
            if (near != bySkeleton.constEnd())
                problems.push_back({entry.line, QStringLiteral("clé « %1 » : le programme attend « %2 » (blancs et accents comptent), elle est ignorée")
                                                    .arg(entry.key, *near)});
        }
    }

    auto countLine = [&](const QString &key) {
        for (const auto &section : profile.sections())
            if (ProfileFile::foldName(section.name) == ProfileFile::foldName(K::Settings))
                if (const auto *e = entryOf(section, key))
                    return e->line;
        return 0;
    };
    auto checkCount = [&](const QString &key, const std::map<int, const ProfileFile::Section *> &present,
                          const QString &what) {
        const int count = std::max(0, profile.readInteger(K::Settings, key, 0));
        int expected = 0;
        while (present.count(expected + 1))
            ++expected;
        if (count != expected || int(present.size()) != expected)
            problems.push_back({countLine(key), QStringLiteral("« %1 » vaut %2 mais le fichier contient %3 section(s) de %4 numérotées de suite à partir de 1 (%5 en tout)")
                                                    .arg(key.trimmed())
                                                    .arg(count)
                                                    .arg(expected)
                                                    .arg(what)
                                                    .arg(present.size())});
    };
    // Another program's file saved under the panel's name (a sequence, say) opens as an empty panel.
    if (!seenSections.contains(ProfileFile::foldName(K::Settings)))
        problems.push_back({0, QStringLiteral("aucune section « %1 » : ce fichier n'est pas un panneau, le programme "
                                              "l'ouvre comme un panneau vide")
                                   .arg(K::Settings.trimmed())});
    checkCount(K::ButtonCount, buttons, QStringLiteral("boutons"));
    checkCount(K::TextCount, texts, QStringLiteral("textes"));

    // The readers stop at a button count below 1: the texts are never shown then.
    const int textCount = profile.readInteger(K::Settings, K::TextCount, 0);
    if (profile.readInteger(K::Settings, K::ButtonCount, 0) < 1 && (textCount > 0 || !texts.empty()))
        problems.push_back({countLine(K::ButtonCount),
                            QStringLiteral("le fichier n'a aucun bouton : ses textes (%1 section(s)) ne sont pas lus, "
                                           "le programme ne lit les textes que s'il y a au moins un bouton")
                                .arg(texts.size())});

    QHash<int, int> shortcutOwner;
    for (const auto &[k, section] : buttons) {
        const QString sectionName = K::numbered(K::ButtonSection, k);
        const auto *modeEntry = entryOf(*section, K::numbered(K::Mode, k));
        const int mode = profile.readInteger(sectionName, K::numbered(K::Mode, k), 0);
        int parsed = 0;
        if (modeEntry && (!ProfileFile::parseInteger(modeEntry->value, &parsed) || !isKnownButtonMode(parsed)))
            problems.push_back({modeEntry->line, QStringLiteral("bouton %1 : mode inconnu « %2 » (0 à 6 attendus)")
                                                     .arg(k)
                                                     .arg(modeEntry->value.trimmed())});
        if (isRelayMode(mode)) {
            const auto *relayEntry = entryOf(*section, K::numbered(K::Relay, k));
            const int relay = profile.readInteger(sectionName, K::numbered(K::Relay, k), 0);
            if (relay < 1 || relay > 16)
                problems.push_back({relayEntry ? relayEntry->line : (modeEntry ? modeEntry->line : section->line),
                                    QStringLiteral("bouton %1 : relais %2 hors de 1 à 16 pour le mode %3")
                                        .arg(k)
                                        .arg(relay)
                                        .arg(QString::fromLatin1(buttonModeName(mode)))});
        }
        const int shortcut = profile.readInteger(sectionName, K::numbered(K::Shortcut, k), 0);
        if (shortcut != 0) {
            if (shortcutOwner.contains(shortcut)) {
                const auto *e = entryOf(*section, K::numbered(K::Shortcut, k));
                problems.push_back({e ? e->line : section->line,
                                    QStringLiteral("bouton %1 : même raccourci (%2) que le bouton %3 ; seul le bouton de plus haut numéro réagit")
                                        .arg(k)
                                        .arg(shortcut)
                                        .arg(shortcutOwner.value(shortcut))});
            }
            shortcutOwner.insert(shortcut, k);
        }
    }

    std::stable_sort(problems.begin(), problems.end(),
                     [](const PanelProblem &a, const PanelProblem &b) { return a.line < b.line; });
    return problems;
}

} // namespace zelvar
