#include "forms/ErrorReport.h"
#include "app/Form_Base.h"
#include "common/DataPaths.h"
#include "common/SingleInstance.h"
#include "devices/ComError.h"
#include "devices/ComPort.h"
#include "devices/CommForward.h"
#include "devices/CommHolder.h"
#include "forms/Forms.h"
#include "forms/RemoteLink.h"
#include "panel/Form_ActBtn.h"
#include "widgets/Fonts.h"

#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

constexpr const char *HelpText =
    "Usage : zelvar [SEQUENCE]\n"
    "\n"
    "Panneau de commande d'une carte de 16 relais sur un port série et d'un émetteur\n"
    "infrarouge USB. Travaille sur le dossier courant : Zelvar2.ini (le panneau),\n"
    "Zelvar2.bmp (son image de fond), Default.ini (les réglages d'usine),\n"
    "Sequenceur.ini et Activites/ (les séquences), Programateur.ini (le programmateur).\n"
    "\n"
    "Avec un argument, quel qu'il soit (par exemple « zelvar sequenceur »), le séquenceur\n"
    "s'ouvre au démarrage à la place de la fenêtre principale.\n"
    "\n"
    "Options :\n"
    "  --service-folder  travaille dans ~/.local/share/zelvar, le dossier du service\n"
    "               (zelvar-cli serve), créé s'il manque : le menu du bureau lance ainsi\n"
    "               le programme, qui partage alors ses fichiers avec le service et, tant\n"
    "               que celui-ci tourne, écrit sur le port à travers lui\n"
    "  --help       affiche cette aide et s'arrête\n"
    "  --version    affiche la version et s'arrête\n"
    "\n"
    "zelvar-cli commande le même panneau sans bureau ; zelvar-board est une carte\n"
    "virtuelle pour essayer le programme sans matériel.\n";

} // namespace

int main(int argc, char **argv)
{
    // Answered before any window system is needed; neither is the one argument that opens
    // the sequencer.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("zelvar %s\n", ZELVAR_VERSION);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(HelpText, stdout);
            return 0;
        }
    }

    zelvar::Application app(argc, argv);
    // Started from the desktop's menu: the service's folder rather than the home folder.
    if (QCoreApplication::arguments().contains(QStringLiteral("--service-folder"))) {
        QString error;
        if (!zelvar::enterServiceFolder(&error))
            std::fprintf(stderr, "zelvar : %s ; le programme travaille dans le dossier courant.\n",
                         qPrintable(error));
    }
    // Qt's own texts (file dialogs, standard buttons) in French, like the program's.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::French), QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtTexts);
    // A desktop's own file dialog speaks the session's language, not the program's: Qt's
    // dialogs show the translation above whatever the desktop.
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    // The name the task bar and the message boxes show; the window itself is "Zelvar".
    QApplication::setApplicationName(QStringLiteral("Zelvare"));
    // Lets Wayland desktops match the windows with the installed desktop entry.
    QGuiApplication::setDesktopFileName(QStringLiteral(ZELVAR_APP_ID));

    // A second start only brings the running program back, before any window exists, from
    // whichever folder. While the service of this folder runs, the program works in full, its
    // port opened through the service; a service of another folder has its own board.
    zelvar::SingleInstance window(zelvar::host::Role::Program, zelvar::SingleInstance::windowName());
    if (window.claim() == zelvar::SingleInstance::Claim::Restored)
        return 0;
    zelvar::SingleInstance instance(zelvar::host::Role::Program);
    const zelvar::SingleInstance::Claim claim = instance.claim();
    if (claim == zelvar::SingleInstance::Claim::Restored)
        return 0;
    zelvar::Forms::instance().guest = claim == zelvar::SingleInstance::Claim::Guest;
    // A guest becomes the host once the service has ended, and takes the device from it first.
    instance.setOnHold(zelvar::comm::holdForwardedDevices);
    QTimer hostLeft;
    if (claim == zelvar::SingleInstance::Claim::Guest) {
        QObject::connect(&hostLeft, &QTimer::timeout, &instance, [&] {
            if (!instance.holdIfFree())
                return;
            hostLeft.stop();
            zelvar::Forms::instance().guest = false;
            if (zelvar::RemoteLink *remote = zelvar::Forms::instance().remote)
                remote->becomeHost();
        });
        hostLeft.start(zelvar::SingleInstance::HostLookMs);
    }
    // The other Zelvar processes of the user write through the panel's port.
    instance.setHandler([](const zelvar::host::Request &request, const zelvar::SingleInstance::Answer &answer) {
        zelvar::TForm_ActBtn *panel = zelvar::Forms::instance().Form_ActBtn;
        zelvar::answerHostRequest(request, zelvar::host::Role::Program, panel ? panel->ComPort1 : nullptr, answer);
    });

    // The serial messages are looked up in their catalogue once, at start-up.
    zelvar::EComPort::loadMessages();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/zelvar/zelvar-256.png")));
    QApplication::setFont(zelvar::uiFont());

    auto base = std::make_unique<zelvar::TForm_Base>();
    for (zelvar::SingleInstance *claimed : {&window, &instance})
        QObject::connect(claimed, &zelvar::SingleInstance::restoreRequested, base.get(),
                         &zelvar::TForm_Base::restoreWindow);
    // The main window allowed its close: the program ends, whatever other window is open.
    QObject::connect(base.get(), &zelvar::TForm_Base::closed, &app, [] { QCoreApplication::exit(0); },
                     Qt::QueuedConnection);
    base->Start(QApplication::arguments());
    return app.exec();
}
