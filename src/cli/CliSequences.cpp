#include "cli/CliCommands.h"
#include "cli/CliPort.h"

#include "common/ProfileFile.h"
#include "devices/ComError.h"
#include "devices/ComPort.h"
#include "devices/PortSender.h"
#include "panel/PanelButtons.h"
#include "panel/PanelConfig.h"
#include "sequencer/Activities.h"
#include "sequencer/SequenceFile.h"
#include "sequencer/SequencePlayer.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>


namespace zelvar::cli {

namespace {

const QString FileArgumentHelp = QStringLiteral(
    "Une activité de « seq list » (Default pour Sequenceur.ini, Jardin.ini lue dans Activites/) ou un chemin ; "
    "Sequenceur.ini par défaut.");

// FILE as every sequence command takes it: an activity of the chooser, else a path.
QString sequencePath(const QString &argument)
{
    if (argument.isEmpty())
        return Activities::DefaultFile;
    const QStringList items = Activities::DetectIni();
    const qsizetype index = items.indexOf(argument);
    return index >= 0 ? Activities::fileForItem(int(index), argument) : argument;
}

struct LoadedSequence
{
    SequenceState state;
    SequenceRead read;
};

// The sequence as the window loads it for the current panel; none when the file is there but
// cannot be read (said on the error output).
std::optional<LoadedSequence> loadSequence(const QString &command, const QString &path, const PanelButtons &panel)
{
    const std::optional<ProfileFile> profile = readProfile(command, path);
    if (!profile)
        return std::nullopt;
    LoadedSequence loaded;
    loaded.state.FichierSeq = path;
    loaded.read = readSequence(*profile, loaded.state, int(panel.size()) - 1);
    return loaded;
}

// A file the sequencer refuses is refused here too: status 1, with its reason.
bool reportRefusal(const QString &command, const QString &path, const LoadedSequence &loaded)
{
    if (loaded.read.refused.isEmpty())
        return false;
    err() << "zelvar-cli " << command << " : " << path << " : " << loaded.read.refused << "\n";
    return true;
}

PanelButtons panelButtons(const ProfileFile &profile)
{
    return buildPanelButtons(readPanelConfig(profile, PanelReader::Panel).buttons);
}

QString actionText(int code, const PanelButtons &panel)
{
    if (code == 0)
        return QStringLiteral("Off");
    if (code >= 1 && code < int(panel.size()))
        return QStringLiteral("bouton %1 « %2 »").arg(code).arg(panel[size_t(code)].description);
    return QStringLiteral("bouton %1 (absent du panneau : ne déclenche rien)").arg(code);
}

bool samePath(const QString &a, const QString &b)
{
    const QFileInfo fa(a), fb(b);
    if (fa.exists() && fb.exists())
        return fa.canonicalFilePath() == fb.canonicalFilePath();
    return QFileInfo(fa.absoluteFilePath()).absoluteFilePath() == fb.absoluteFilePath();
}

int seqList(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Affiche les éléments du choix d'activité du séquenceur, un par ligne : « Default » "
                       "(Sequenceur.ini), puis les fichiers .ini du dossier Activites."));
    int status = 0;
    if (!parseCommand(parser, arguments, &status))
        return status;
    if (!parser.positionalArguments().isEmpty()) {
        err() << "zelvar-cli seq list : aucun argument attendu\n";
        return UsageError;
    }
    for (const QString &item : Activities::DetectIni())
        out() << item << "\n";
    return 0;
}

int seqShow(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Affiche la séquence FILE telle que la fenêtre du séquenceur la charge avec le panneau de Zelvar2.ini "
        "(un fichier absent se charge sans piste)."));
    parser.addPositionalArgument(QStringLiteral("FILE"), FileArgumentHelp, QStringLiteral("[FILE]"));
    parser.addOption({QStringLiteral("json"), QStringLiteral("Un seul objet JSON (textes en UTF-8).")});
    int status = 0;
    if (!parseCommand(parser, arguments, &status))
        return status;
    if (parser.positionalArguments().size() > 1) {
        err() << "zelvar-cli seq show : un seul FILE attendu\n";
        return UsageError;
    }
    const QString path = sequencePath(parser.positionalArguments().value(0));
    const std::optional<ProfileFile> panelFile = readProfile(QStringLiteral("seq show"), PanelFiles::config());
    if (!panelFile)
        return 1;
    const PanelButtons panel = panelButtons(*panelFile);
    const std::optional<LoadedSequence> loaded = loadSequence(QStringLiteral("seq show"), path, panel);
    if (!loaded || reportRefusal(QStringLiteral("seq show"), path, *loaded))
        return 1;
    const SequenceState &s = loaded->state;

    if (parser.isSet(QStringLiteral("json"))) {
        QJsonArray tracks;
        for (int n = 1; n <= s.trackCount(); ++n) {
            const TPiste &piste = s.Pistes[size_t(n)];
            QJsonArray times;
            for (int j = 1; j <= piste.btnCount(); ++j)
                times.append(piste.Btns[size_t(j)]);
            tracks.append(QJsonObject{{"action", piste.storedCode()}, {"times", times}});
        }
        const QJsonObject root{{"file", path},
                               {"count", loaded->read.storedCount},
                               {"loop", double(s.loopTime())},
                               {"zoom", s.CoefTaille},
                               {"tracks", tracks}};
        out() << QString::fromUtf8(QJsonDocument(root).toJson(QJsonDocument::Indented));
        return 0;
    }

    out() << "Fichier : " << path << (QFileInfo::exists(path) ? "" : " (absent)") << "\n"
          << s.trackCount() << " piste(s) (nombre enregistré : " << loaded->read.storedCount << ")\n"
          << "Boucle : " << (s.loopTime() == 0 ? QStringLiteral("aucune") : playTimeText(s.loopTime()))
          << " (Btn de boucle=" << s.loopLeft << ")\n"
          << "Règle : " << 10 * s.CoefTaille << " minutes (curseur de taille " << s.CoefTaille << ")\n";
    for (int n = 1; n <= s.trackCount(); ++n) {
        const TPiste &piste = s.Pistes[size_t(n)];
        out() << "Piste " << n << " : " << actionText(piste.storedCode(), panel) << " ; " << piste.btnCount()
              << " bouton(s)";
        for (int j = 1; j <= piste.btnCount(); ++j)
            out() << (j == 1 ? " à " : ", ") << playTimeText(piste.Btns[size_t(j)]);
        out() << "\n";
    }
    return 0;
}

int seqExport(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Écrit dans OUT, octet pour octet, ce que « Enrg les reglages sous » de la fenêtre du séquenceur "
        "écrirait après avoir chargé FILE avec le panneau de Zelvar2.ini. Code de sortie 1 quand OUT est un "
        "fichier du panneau ou ne peut être écrit, ou quand FILE n'existe pas."));
    parser.addPositionalArgument(QStringLiteral("OUT"), QStringLiteral("Le fichier à écrire."));
    parser.addPositionalArgument(QStringLiteral("FILE"), FileArgumentHelp, QStringLiteral("[FILE]"));
    int status = 0;
    if (!parseCommand(parser, arguments, &status))
        return status;
    const QStringList args = parser.positionalArguments();
    if (args.isEmpty() || args.size() > 2) {
        err() << "zelvar-cli seq export : OUT [FILE] attendus\n";
        return UsageError;
    }
    const QString target = args[0];
    for (const QString &own : {PanelFiles::config(), PanelFiles::factory(), PanelFiles::picture()})
        if (samePath(target, own)) {
            err() << "zelvar-cli seq export : " << target << " est un fichier du panneau, il n'est pas remplacé\n";
            return 1;
        }
    const std::optional<ProfileFile> panelFile = readProfile(QStringLiteral("seq export"), PanelFiles::config());
    if (!panelFile)
        return 1;
    // A mistyped FILE would otherwise load as an empty sequence and be written as one.
    const QString path = sequencePath(args.value(1));
    if (!QFileInfo::exists(path)) {
        err() << "zelvar-cli seq export : " << path << " introuvable, rien n'est écrit\n";
        return 1;
    }
    const std::optional<LoadedSequence> loaded = loadSequence(QStringLiteral("seq export"), path, panelButtons(*panelFile));
    if (!loaded || reportRefusal(QStringLiteral("seq export"), path, *loaded))
        return 1;
    QString message;
    if (!loaded->state.EnregistrerIni_Seq(target, &message)) {
        err() << message << "\n";
        return 1;
    }
    return 0;
}

bool knownSpeed(const QString &text)
{
    const TBaudRate rate = TCustomComPort::BaudRateFromText(text);
    return rate != brCustom && (rate != br9600 || text == QLatin1String("9600"));
}

bool parseCount(const QCommandLineParser &parser, const QString &name, int minimum, int *value)
{
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    *value = parser.value(name).toInt(&ok);
    return ok && *value >= minimum;
}

} // namespace

int runSeq(const QStringList &arguments)
{
    const QString sub = arguments.value(1);
    // The sub-command stands for the command name in its usage line ("zelvar-cli seq show").
    QStringList subArguments = arguments.mid(1);
    if (!subArguments.isEmpty())
        subArguments[0] = QStringLiteral("seq ") + sub;
    if (sub == QLatin1String("list"))
        return seqList(subArguments);
    if (sub == QLatin1String("show"))
        return seqShow(subArguments);
    if (sub == QLatin1String("export"))
        return seqExport(subArguments);
    QTextStream &stream = sub == QLatin1String("--help") || sub == QLatin1String("-h") ? out() : err();
    if (&stream == &err() && !sub.isEmpty())
        err() << "zelvar-cli seq : sous-commande inconnue « " << sub << " »\n\n";
    stream << "Usage : zelvar-cli seq list|show|export …\n\n"
              "  list                  les activités du séquenceur (Default, puis Activites/*.ini)\n"
              "  show [FILE] [--json]  la séquence telle que la fenêtre la charge\n"
              "  export OUT [FILE]     ce que « Enrg les reglages sous » écrirait\n\n"
              "'zelvar-cli seq SOUS-COMMANDE --help' détaille chacune.\n";
    return &stream == &out() ? 0 : UsageError;
}

int runPlay(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Joue la séquence FILE sans fenêtre, avec le moteur du séquenceur, sur le port et les boutons du panneau "
        "(Zelvar2.ini) : une seconde par top d'horloge, à partir de la position S (le premier top va à S + 1). "
        "Chaque déclenchement affiche une ligne : temps de lecture, piste, numéro et description du bouton. "
        "S'arrête après N tops, ou sur SIGINT/SIGTERM."));
    parser.addPositionalArgument(QStringLiteral("FILE"), FileArgumentHelp, QStringLiteral("[FILE]"));
    parser.addOption({QStringLiteral("from"), QStringLiteral("Position de départ en secondes (0 par défaut)."),
                      QStringLiteral("S")});
    parser.addOption({QStringLiteral("ticks"), QStringLiteral("Nombre de tops avant de s'arrêter (sans fin par défaut)."),
                      QStringLiteral("N")});
    addPortOptions(parser);
    int status = 0;
    if (!parseCommand(parser, arguments, &status,
                      QStringLiteral("\nCode de sortie : 0 fin normale, 1 séquence sans piste ou refusée, 2 erreur du port "
                                     "(le message du port est affiché), aucun port ou un code infrarouge "
                                     "non envoyé pendant la lecture, 64 usage.\n")))
        return status;
    int from = 0;
    int ticks = -1;
    if (parser.positionalArguments().size() > 1 || !parseCount(parser, QStringLiteral("from"), 0, &from) ||
        !parseCount(parser, QStringLiteral("ticks"), 1, &ticks)) {
        err() << "zelvar-cli play : [FILE] [--from S (0 ou plus)] [--ticks N (1 ou plus)] attendus\n";
        return UsageError;
    }
    if (parser.isSet(QStringLiteral("speed")) && !knownSpeed(parser.value(QStringLiteral("speed")))) {
        err() << "zelvar-cli play : vitesse inconnue « " << parser.value(QStringLiteral("speed")) << " »\n";
        return UsageError;
    }

    const std::optional<ProfileFile> panelFile = readProfile(QStringLiteral("play"), PanelFiles::config());
    if (!panelFile)
        return 1;
    const ProfileFile &profile = *panelFile;
    const PanelConfig config = readPanelConfig(profile, PanelReader::Panel);
    const PanelButtons panel = buildPanelButtons(config.buttons);
    const QString path = sequencePath(parser.positionalArguments().value(0));
    std::optional<LoadedSequence> loaded = loadSequence(QStringLiteral("play"), path, panel);
    if (!loaded || reportRefusal(QStringLiteral("play"), path, *loaded))
        return 1;
    if (loaded->state.trackCount() < 1) {
        err() << "zelvar-cli play : " << path << " n'a aucune piste à jouer\n";
        return 1;
    }
    // COM1 is often the console: without a port chosen, nothing is opened.
    if (!portNamed(parser, profile)) {
        err() << "zelvar-cli play : aucun port choisi (--port, ou le port de Zelvar2.ini)\n";
        return DeviceError;
    }

    TComPort port;
    try {
        openPort(port, portChoice(parser, config.settings));
    } catch (const EComPort &error) {
        err() << error.Message() << "\n";
        return DeviceError;
    }

    SequenceState &state = loaded->state;
    state.PositionLecture = from;
    SequencePlayer player(state, [&] { return PanelTarget{&port, &panel}; });
    int result = 0;
    int ticked = 0;
    bool infraredRefused = false;
    auto finish = [&](int code) {
        result = code;
        player.Btn_StopClick();
        // Queued: the tick under way ends before the loop does.
        QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
    };
    QObject::connect(&player, &SequencePlayer::ticked, [&] {
        if (++ticked == ticks)
            finish(0);
    });
    QObject::connect(&player, &SequencePlayer::fired, [&](int track, int button, const QString &refused) {
        out() << playTimeText(state.PositionLecture) << " piste " << track << " bouton " << button << " "
              << panel[size_t(button)].description << "\n";
        out().flush();
        if (!refused.isEmpty()) {
            err() << refused << "\n";
            infraredRefused = true;
        }
    });
    QObject::connect(&player, &SequencePlayer::failed, [&](const QString &message) {
        err() << message << "\n";
        finish(DeviceError);
    });

    StopSignals stop;
    QSocketNotifier stopNotifier(stop.fd(), QSocketNotifier::Read);
    QObject::connect(&stopNotifier, &QSocketNotifier::activated, [&] {
        stopNotifier.setEnabled(false);
        finish(0);
    });

    player.Btn_LectureClick();
    QCoreApplication::exec();
    player.Btn_StopClick();
    // The steps already queued go out, and their lines are printed, before the port closes.
    port.sender().waitIdle();
    try {
        port.ClosePort();
    } catch (const EComPort &error) {
        err() << error.Message() << "\n";
        if (result == 0)
            result = DeviceError;
    }
    // The run goes on after a refused infrared code; its status still tells.
    if (result == 0 && infraredRefused)
        result = DeviceError;
    return result;
}

} // namespace zelvar::cli
