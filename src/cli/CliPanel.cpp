#include "cli/CliCommands.h"

#include "devices/RelayCommand.h"
#include "panel/PanelButtons.h"
#include "panel/PanelCheck.h"
#include "panel/PanelConfig.h"
#include "panel/PanelJson.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace zelvar::cli {

namespace {

QString commandText(const QByteArray &command)
{
    return decodeWindows1252(command);
}

void printWarnings(const PanelConfig &config)
{
    for (const QString &warning : config.warnings)
        err() << "Zelvar2.ini : " << warning << "\n";
}

} // namespace

int runShow(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Affiche le panneau de Zelvar2.ini tel que le panneau en marche le construit."));
    parser.addOption({QStringLiteral("json"), QStringLiteral("Un seul objet JSON (textes en UTF-8).")});
    int status = 0;
    if (!parseCommand(parser, arguments, &status))
        return status;

    const PanelConfig config = readPanelConfig(ProfileFile::load(PanelFiles::config()), PanelReader::Panel);
    if (!config.unreadable.isEmpty()) {
        err() << PanelFiles::config() << " : illisible (" << config.unreadable << ")\n";
        return 1;
    }
    printWarnings(config);
    const PanelButtons entries = buildPanelButtons(config.buttons);
    const PanelSettings &s = config.settings;

    if (parser.isSet(QStringLiteral("json"))) {
        QJsonArray buttons;
        for (size_t k = 1; k < entries.size(); ++k) {
            const ButtonEntry &e = entries[k];
            const ButtonConfig &b = config.buttons[k - 1];
            QJsonObject button = buttonJson(int(k), e, b);
            button.insert("shortcut", e.shortcut);
            button.insert("press", commandText(e.pressCommand));
            button.insert("release", commandText(e.releaseCommand));
            button.insert("click", commandText(e.clickCommand));
            buttons.append(button);
        }
        QJsonArray texts;
        for (size_t k = 0; k < config.texts.size(); ++k)
            texts.append(textJson(int(k + 1), config.texts[k]));
        const QJsonObject settings{{"port", s.CurrentPortName},
                                   {"speed", s.CurrentPortSpeed},
                                   {"exitMenus", s.ExitMenusEnabled},
                                   {"reduceToTray", s.ReduceToTray},
                                   {"moveMainWindow", s.MoveMainWindow}};
        const QJsonObject root{{"settings", settings}, {"buttons", buttons}, {"texts", texts}};
        out() << QString::fromUtf8(QJsonDocument(root).toJson(QJsonDocument::Indented));
        return 0;
    }

    auto yesNo = [](bool b) { return b ? QStringLiteral("oui") : QStringLiteral("non"); };
    out() << "Port " << s.CurrentPortName << " à " << s.CurrentPortSpeed << " bauds\n"
          << "Menus de sortie : " << yesNo(s.ExitMenusEnabled) << " ; réduction dans la barre des tâches : "
          << yesNo(s.ReduceToTray) << " ; déplacer la fenêtre principale : " << yesNo(s.MoveMainWindow) << "\n\n";
    out() << entries.size() - 1 << " bouton(s)\n";
    auto show = [](const QByteArray &c) { return c.isEmpty() ? QStringLiteral("-") : commandText(c); };
    for (size_t k = 1; k < entries.size(); ++k) {
        const ButtonEntry &e = entries[k];
        const ButtonConfig &b = config.buttons[k - 1];
        out() << QString("%1. « %2 » %3 (%4) à %5,%6").arg(k).arg(b.caption, QString::fromLatin1(buttonModeName(e.mode)))
                     .arg(e.mode).arg(b.left).arg(b.top);
        if (e.shortcut)
            out() << " raccourci " << e.shortcut;
        out() << " — " << e.description << "\n"
              << "    appui " << show(e.pressCommand) << " ; relâché " << show(e.releaseCommand) << " ; clic "
              << show(e.clickCommand) << "\n";
    }
    out() << "\n" << config.texts.size() << " texte(s)\n";
    for (size_t k = 0; k < config.texts.size(); ++k)
        out() << QString("%1. « %2 » à %3,%4\n").arg(k + 1).arg(config.texts[k].text).arg(config.texts[k].left).arg(config.texts[k].top);
    out() << "\nImage de fond : "
          << (config.wantsPicture ? (QFileInfo::exists(PanelFiles::picture()) ? PanelFiles::picture()
                                                                               : QStringLiteral("Zelvar2.bmp absente"))
                                  : QStringLiteral("non chargée (il faut au moins un bouton et un texte)"))
          << "\n";
    return 0;
}

int runCheck(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Lit Zelvar2.ini (et Default.ini s'il existe) et signale, avec leur numéro de ligne : les modes inconnus, "
        "les relais hors de 1 à 16, les raccourcis partagés, les nombres de boutons ou de textes qui ne "
        "correspondent pas aux sections, les clés qui ne diffèrent d'une clé connue que par des blancs ou des "
        "accents. Code de sortie 1 si un problème est trouvé."));
    int status = 0;
    if (!parseCommand(parser, arguments, &status))
        return status;

    int found = 0;
    for (const QString &file : {PanelFiles::config(), PanelFiles::factory()}) {
        bool exists = false;
        const ProfileFile profile = ProfileFile::load(file, &exists);
        if (profile.unreadable()) {
            out() << file << " : illisible (" << profile.readError() << ")\n";
            ++found;
            continue;
        }
        if (!exists) {
            if (file == PanelFiles::config())
                out() << file << " : absent (le panneau démarre vide, port COM1 à 9600)\n";
            continue;
        }
        const auto problems = checkPanelFile(profile);
        for (const PanelProblem &p : problems)
            out() << file << ":" << p.line << ": " << p.message << "\n";
        if (problems.empty())
            out() << file << " : aucun problème\n";
        found += int(problems.size());
    }
    return found ? 1 : 0;
}

} // namespace zelvar::cli
