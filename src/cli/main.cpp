#include "cli/CliCommands.h"
#include "devices/ComError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <functional>
#include <unistd.h>

using namespace zelvar::cli;

namespace {

char **givenArguments = nullptr; // main's argv

// The commands that read or write pictures, and the service, run in programs of their own,
// so that the others never load Qt's GUI or network modules: each takes the arguments as
// they were given.
int runHelper(const QString &name)
{
    const QDir here(QCoreApplication::applicationDirPath());
    QString helper = here.filePath(name); // in the build tree
    if (!QFile::exists(helper))
        helper = QDir::cleanPath(here.filePath(QStringLiteral(ZELVAR_HELPERS_FROM_BIN "/") + name));
    const QByteArray path = QFile::encodeName(helper);
    givenArguments[0] = const_cast<char *>(path.constData());
    ::execv(path.constData(), givenArguments);
    err() << "zelvar-cli : " << helper << " : " << QString::fromLocal8Bit(std::strerror(errno)) << "\n";
    return 1;
}

int runPictureCommand(const QStringList &)
{
    return runHelper(QStringLiteral("zelvar-cli-pictures"));
}

int runServeCommand(const QStringList &)
{
    return runHelper(QStringLiteral("zelvar-cli-serve"));
}

struct Command
{
    const char *name;
    const char *summary;
    std::function<int(const QStringList &)> run;
};

const Command commands[] = {
    {"show", "affiche le panneau tel que le programme le construit (--json : un objet JSON)", runShow},
    {"check", "signale ce qui, dans Zelvar2.ini et Default.ini, ne sera pas lu comme prévu", runCheck},
    {"export", "écrit la configuration comme l'enregistrement de l'éditeur la réécrirait", runPictureCommand},
    {"relay", "commande un relais : relay N on|off|toggle|pulse [MS]", runRelay},
    {"press", "déclenche le bouton K du panneau comme un pas du séquenceur", runPress},
    {"send", "écrit un texte tel quel sur le port", runSend},
    {"ports", "liste les ports série présents", runPorts},
    {"setport", "enregistre le port et la vitesse dans Zelvar2.ini : setport PORT [VITESSE]", runSetPort},
    {"at", "déclenche des boutons à une heure dite : at [AAAA-MM-JJ] HH:MM:SS K [K…]", runAt},
    {"next", "les prochains déclenchements des lignes lancées : next [N] [--json]", runNext},
    {"sun", "lever et coucher du soleil : sun [AAAA-MM-JJ] [--lat L --lon L] [--json]", runSun},
    {"serve", "service sans fenêtre : déclenche les lignes lancées de Programateur.ini, serve [--port P]", runServeCommand},
    {"seq", "séquences : seq list | show [FILE] [--json] | export OUT [FILE]", runSeq},
    {"play", "joue une séquence sans fenêtre : play [FILE] [--from S] [--ticks N] [--port P]", runPlay},
};

void usage(QTextStream &stream)
{
    stream << "Usage : zelvar-cli COMMANDE [options]\n\n"
              "Travaille sur le dossier courant, comme le programme (Zelvar2.ini, Zelvar2.bmp, Default.ini).\n\n"
              "Commandes :\n";
    for (const Command &c : commands)
        stream << "  " << QString::fromLatin1(c.name).leftJustified(10) << QString::fromUtf8(c.summary) << "\n";
    stream << "\n'zelvar-cli COMMANDE --help' détaille chaque commande ; 'zelvar-cli --version' donne la version.\n";
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    givenArguments = argv;
    zelvar::EComPort::loadMessages();
    QCoreApplication::setApplicationName(QStringLiteral("zelvar-cli"));
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() < 2 || arguments[1] == "--help" || arguments[1] == "-h" || arguments[1] == "help") {
        usage(arguments.size() < 2 ? err() : out());
        return arguments.size() < 2 ? UsageError : 0;
    }
    if (arguments[1] == "--version") {
        out() << "zelvar-cli " << ZELVAR_VERSION << "\n";
        return 0;
    }
    for (const Command &c : commands)
        if (arguments[1] == QLatin1String(c.name))
            return c.run(arguments.mid(1));
    err() << "zelvar-cli : commande inconnue « " << arguments[1] << " »\n\n";
    usage(err());
    return UsageError;
}
