// zelvar-board: a virtual 16-relay board on a pseudo-terminal, for trying the program
// without the hardware.
#include "BoardWindow.h"
#include "PseudoTerminal.h"
#include "VirtualBoard.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTextStream>
#include <QTime>

#include <csignal>
#include <fcntl.h>
#include <cstdio>
#include <cstring>
#include <memory>
#include <unistd.h>

using namespace zelvar::board;

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    (void)!::write(signalPipe[1], &byte, 1);
}

// Quits the event loop on Ctrl+C, hang-up or termination, so the link is cleaned up.
void quitOnSignals(QObject *owner)
{
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, owner);
    QObject::connect(notifier, &QSocketNotifier::activated, QCoreApplication::instance(), &QCoreApplication::quit);
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
}

// A link to the pty at a fixed place; an old link is replaced, anything else kept.
bool makeLink(const QString &link, const QString &target, QString *error)
{
    const QFileInfo existing(link);
    if (existing.isSymLink()) {
        QFile::remove(link);
    } else if (existing.exists()) {
        *error = QStringLiteral("%1 existe déjà et n'est pas un lien symbolique").arg(link);
        return false;
    }
    if (::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) != 0) {
        *error = QStringLiteral("impossible de créer le lien %1 : %2")
                     .arg(link, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    return true;
}

bool wantsGui(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--gui") == 0)
            return true;
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    std::unique_ptr<QCoreApplication> app = wantsGui(argc, argv) ? std::make_unique<QApplication>(argc, argv)
                                                                  : std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zelvar-board"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ZELVAR_VERSION));

    QCommandLineParser options;
    options.setApplicationDescription(QStringLiteral(
        "Carte virtuelle à 16 relais sur un pseudo-terminal.\n"
        "Affiche sur sa première ligne le chemin du port à donner au programme, puis une ligne\n"
        "horodatée par commande reçue (S<relais>N$#, S<relais>F$#, S<relais>T$#) et par suite\n"
        "d'octets non reconnue. Ctrl+C pour quitter."));
    options.addHelpOption();
    options.addVersionOption();
    const QCommandLineOption linkOption(QStringLiteral("link"),
                                        QStringLiteral("Crée le lien symbolique <chemin> vers le port (retiré à la sortie)."),
                                        QStringLiteral("chemin"));
    const QCommandLineOption guiOption(QStringLiteral("gui"), QStringLiteral("Montre les relais comme des voyants dans une fenêtre."));
    options.addOption(linkOption);
    options.addOption(guiOption);
    options.process(*app);

    QTextStream out(stdout);
    QTextStream err(stderr);

    QString error;
    const std::unique_ptr<PseudoTerminal> pty = PseudoTerminal::open(&error);
    if (!pty) {
        err << "zelvar-board : " << error << Qt::endl;
        return 1;
    }
    const QString link = options.value(linkOption);
    if (!link.isEmpty() && !makeLink(link, pty->slavePath(), &error)) {
        err << "zelvar-board : " << error << Qt::endl;
        return 1;
    }

    out << pty->slavePath() << Qt::endl;
    if (!link.isEmpty())
        err << link << " -> " << pty->slavePath() << Qt::endl;

    VirtualBoard board;
    QObject::connect(&board, &VirtualBoard::reported, [&out](const QString &line) {
        out << QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz")) << "  " << line << Qt::endl;
    });
    QObject::connect(&board, &VirtualBoard::failed, [&err](const QString &reason) {
        err << "zelvar-board : lecture impossible : " << reason << Qt::endl;
        QCoreApplication::exit(1);
    });

    std::unique_ptr<BoardWindow> window;
    if (options.isSet(guiOption)) {
        window = std::make_unique<BoardWindow>(pty->slavePath());
        QObject::connect(&board, &VirtualBoard::relaySet, window.get(), &BoardWindow::setRelay);
        QObject::connect(&board, &VirtualBoard::described, window.get(), &BoardWindow::showLastEvent);
        // Without a window manager the program's 600-pixel main window opens in the top left
        // corner: the board opens to its right, so the lamps are not hidden under it.
        window->move(620, 0);
        window->show();
    }

    board.listen(pty->masterFd());
    quitOnSignals(app.get());
    const int status = app->exec();

    if (!link.isEmpty() && QFileInfo(link).symLinkTarget() == QFileInfo(pty->slavePath()).absoluteFilePath())
        QFile::remove(link);
    return status;
}
