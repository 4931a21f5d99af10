#include "cli/CliCommands.h"
#include "cli/CliFiring.h"
#include "cli/CliPort.h"

#include "common/ProfileFile.h"
#include "common/SingleInstance.h"
#include "devices/ComError.h"
#include "devices/ComPort.h"
#include "devices/CommHolder.h"
#include "devices/SendSequences.h"
#include "panel/PanelButtons.h"
#include "panel/PanelConfig.h"
#include "remote/HttpRemote.h"
#include "remote/MqttBridge.h"
#include "remote/RelayStates.h"
#include "remote/RemoteControl.h"
#include "remote/RemoteSequences.h"
#include "remote/RemoteSettings.h"
#include "scheduler/ScheduleEngine.h"
#include "scheduler/PortWaitingFirings.h"
#include "scheduler/ScheduleFile.h"
#include "scheduler/SchedulePlace.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHash>
#include <QHostAddress>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <memory>
#include <optional>

namespace zelvar::cli {

namespace {

// A change of the folder is read this long after it, so that a save in several steps is
// read once, whole.
constexpr int ReloadDelayMs = 200;

// The alarms of Programateur.ini run without a window: the armed rows fire on the panel's
// buttons, on a port held from start to end, and each event is one line on the output.
class ScheduleService
{
public:
    ScheduleService(const PanelConfig &panel, PanelButtons buttons, bool portNamed, PortChoice portChoice)
        : m_engine(m_clock), m_buttons(std::move(buttons)), m_portNamed(portNamed), m_portChoice(std::move(portChoice)),
          m_remote(RemoteControl::Host::Service, m_port, m_relays)
    {
        m_relays.follow(m_port);
        m_remote.setPanel(panel);
        m_remote.setScheduleSource([this] { return remoteRows(); });
        QObject::connect(&m_engine, &ScheduleEngine::fired, [this](int i, int button) { fire(i, button); });
        QObject::connect(&m_engine, &ScheduleEngine::missed, [this](int i, qint64 checkedAt, ScheduleEngine::Miss) {
            m_done[m_keys[size_t(i - 1)]] = checkedAt;
            log(QStringLiteral("missed"), i, QStringLiteral("heure passée de plus d'une minute, rien n'est envoyé"));
        });
        QObject::connect(&m_engine, &ScheduleEngine::stopped, [this](int i, ScheduleEngine::Arming why) {
            log(QStringLiteral("error"), i, m_engine.reason(why, i));
        });
        QObject::connect(&m_port, &TCustomComPort::lost, [](const QString &name) {
            logLine(QStringLiteral("port perdu %1 : nouvel essai chaque seconde").arg(name));
        });
        QObject::connect(&m_port, &TCustomComPort::found, [this](const QString &name) {
            logLine(QStringLiteral("port retrouvé %1").arg(name));
            firePortWaiting();
        });
        m_portWaitCheck.setInterval(1000);
        QObject::connect(&m_portWaitCheck, &QTimer::timeout, [this] {
            for (const PortWaitingFirings::Firing &f : m_portWaiting.takeExpired(QDateTime::currentMSecsSinceEpoch()))
                logPortMissed(f);
            if (m_portWaiting.isEmpty())
                m_portWaitCheck.stop();
        });
        QObject::connect(&m_engine, &ScheduleEngine::sunless, [this](int i, const QDate &from, const QDate &to) {
            err() << "zelvar-cli serve : ligne " << i << " : pas d'événement du soleil du " << from.toString(Qt::ISODate)
                  << " au " << to.toString(Qt::ISODate) << "\n";
            err().flush();
        });
    }

    // Opens the port now when a row may need it, or always; a failure is logged and the
    // firings try again.
    void openPortAhead(bool always)
    {
        bool needed = always;
        for (const ButtonEntry &entry : m_buttons)
            needed = needed || writesToSerialLine(entry);
        if (!needed || !m_portNamed || m_port.Connected())
            return;
        try {
            openPort(m_port, m_portChoice);
        } catch (const EComPort &error) {
            logLine(QStringLiteral("error port %1 : %2").arg(m_portChoice.name, error.Message()));
        }
    }

    // Reads the file and runs its armed rows in place of the rows in force. A file that cannot
    // be read leaves those rows; false then, with the reason logged. Unchanged bytes are not
    // read again unless `always`.
    bool load(bool always)
    {
        bool exists = false;
        const ProfileFile file = ProfileFile::load(ScheduleFiles::path(), &exists);
        if (file.unreadable()) {
            logLine(QStringLiteral("error %1 illisible : %2").arg(ScheduleFiles::path(), file.readError()));
            return false;
        }
        const QByteArray bytes = exists ? file.toBytes() : QByteArray();
        if (!always && m_loaded && bytes == m_bytes)
            return true;
        const ReadSchedule read = readSchedule(file);
        if (!read.refused.isEmpty()) {
            logLine(QStringLiteral("error %1 illisible : %2").arg(ScheduleFiles::path(), read.refused));
            return false;
        }
        m_loaded = true;
        m_bytes = bytes;
        for (const QString &problem : read.problems)
            logLine(QStringLiteral("error %1 : %2").arg(ScheduleFiles::path(), problem));
        QString placeError;
        m_engine.setPlace(readPlace(file, &placeError));
        if (!placeError.isEmpty())
            logLine(QStringLiteral("error %1 : %2").arg(ScheduleFiles::path(), placeError));

        m_engine.clear();
        m_rows = read.rows;
        m_keys.clear();
        QHash<QString, int> seen;
        for (const SavedScheduleRow &saved : m_rows) {
            const int i = m_engine.addRow(saved.date, saved.time, restoredButton(saved, m_buttons));
            m_engine.setRecurrence(i, saved.recurrence);
            const QString key = contentKey(saved);
            m_keys.push_back(key + QLatin1Char('#') + QString::number(seen[key]++));
        }
        int armed = 0;
        for (int i = 1; i <= m_engine.count(); ++i)
            if (m_rows[size_t(i - 1)].armed && arm(i))
                ++armed;
        err() << "zelvar-cli serve : " << ScheduleFiles::path() << " : " << armed << " ligne(s) lancée(s) sur "
              << m_engine.count() << "\n";
        err().flush();
        return true;
    }

    // What the remote interfaces act through.
    RemoteControl &remote() { return m_remote; }
    // The port the service holds, which the other Zelvar processes of the user write through.
    TComPort &port() { return m_port; }

    // The port for a remote action, opened when it is not; why it cannot be otherwise.
    std::optional<QString> openPortForRemote()
    {
        if (!m_portNamed)
            return QStringLiteral("aucun port (ni --port, ni port dans Zelvar2.ini)");
        if (m_port.Lost())
            return QStringLiteral("port %1 perdu : nouvel essai chaque seconde").arg(m_port.Port());
        try {
            if (!m_port.Connected())
                openPort(m_port, m_portChoice);
        } catch (const EComPort &error) {
            m_port.ClosePort();
            return error.Message();
        }
        return std::nullopt;
    }
    const PanelButtons &buttons() const { return m_buttons; }

    // One line of the journal: the time, then the event.
    static void logLine(const QString &line, const QDateTime &when = QDateTime::currentDateTime())
    {
        out() << when.toOffsetFromUtc(when.offsetFromUtc()).toString(Qt::ISODateWithMs) << " " << line << "\n";
        out().flush();
    }

private:
    std::vector<RemoteScheduleRow> remoteRows() const { return remoteScheduleRows(m_engine, m_rows); }

    // Arms row i for its next occurrence that was neither fired nor missed yet, so that a
    // file read again during or after a row's second does not fire it twice.
    bool arm(int i)
    {
        const auto done = m_done.constFind(m_keys[size_t(i - 1)]);
        ScheduleEngine::Arming result = m_engine.arm(i);
        if (result == ScheduleEngine::Arming::Armed && done != m_done.constEnd()
            && m_engine.instantOf(i).value_or(0) <= *done) {
            m_engine.disarm(i);
            if (!m_engine.row(i).recurrence.repeats())
                return false;
            m_engine.setDate(i, QDateTime::fromMSecsSinceEpoch(*done).date().addDays(1));
            result = m_engine.arm(i);
        }
        if (result == ScheduleEngine::Arming::Armed)
            return true;
        // A row whose time went by since it fired or was missed is no news.
        // One whose time went by while nothing ran is missed; one that cannot run is an error.
        if (done == m_done.constEnd())
            log(result == ScheduleEngine::Arming::Passed ? QStringLiteral("missed") : QStringLiteral("error"), i,
                QStringLiteral("non relancée, ") + m_engine.reason(result, i));
        return false;
    }

    // `waitedSinceMs`: the second of a firing that waited for the lost port.
    void fire(int i, int button, std::optional<qint64> waitedSinceMs = std::nullopt)
    {
        m_done[m_keys[size_t(i - 1)]] = QDateTime::currentMSecsSinceEpoch();
        if (button < 1 || size_t(button) >= m_buttons.size()) {
            log(QStringLiteral("refused"), i, QStringLiteral("ce bouton n'est pas sur le panneau"));
            return;
        }
        const ButtonEntry &entry = m_buttons[size_t(button)];
        const CommandSlots commands = entry.commands();
        if (entry.mode == UsbUirt) {
            const QDateTime when = QDateTime::currentDateTime();
            if (const auto refused = Send::step(m_port, entry.mode, commands))
                log(QStringLiteral("error"), i, QStringLiteral("code infrarouge non émis : ") + *refused, when);
            else
                log(QStringLiteral("fired"), i, QString(), when);
            return;
        }
        if (!writesToSerialLine(entry)) {
            log(QStringLiteral("fired"), i, QStringLiteral("rien à envoyer"));
            return;
        }
        if (!m_portNamed) {
            log(QStringLiteral("error"), i, QStringLiteral("aucun port (ni --port, ni port dans Zelvar2.ini)"));
            return;
        }
        const qint64 dueMs = waitedSinceMs.value_or(QDateTime::currentMSecsSinceEpoch());
        if (waitForPort(i, button, dueMs))
            return;
        try {
            if (!m_port.Connected())
                openPort(m_port, m_portChoice);
            // Nothing waits before the first command: it is written now.
            const QDateTime when = QDateTime::currentDateTime();
            Send::step(m_port, entry.mode, commands);
            log(QStringLiteral("fired"), i, waitedSinceMs ? QStringLiteral("au retour du port, prévue à ") + timeOf(dueMs) : QString(), when);
        } catch (const EComPort &error) {
            if (waitForPort(i, button, dueMs))
                return;
            // A port that failed is opened again at the next firing.
            m_port.ClosePort();
            log(QStringLiteral("error"), i, error.Message());
        }
    }

    // A firing that meets a lost port waits for its return; false when the port is not lost.
    bool waitForPort(int i, int button, qint64 dueMs)
    {
        if (!m_port.Lost())
            return false;
        m_portWaiting.add({i, button, dueMs, m_keys[size_t(i - 1)]});
        m_portWaitCheck.start();
        return true;
    }

    // The port is back: what waited for it within its minute is sent now, the rest missed.
    void firePortWaiting()
    {
        m_portWaitCheck.stop();
        QList<PortWaitingFirings::Firing> missed;
        const QList<PortWaitingFirings::Firing> ready = m_portWaiting.takeOnReturn(QDateTime::currentMSecsSinceEpoch(), &missed);
        for (const PortWaitingFirings::Firing &f : missed)
            logPortMissed(f);
        for (const PortWaitingFirings::Firing &f : ready)
            if (const int i = rowOf(f))
                fire(i, f.button, f.dueMs);
    }

    void logPortMissed(const PortWaitingFirings::Firing &f)
    {
        if (const int i = rowOf(f))
            log(QStringLiteral("missed"), i,
                QStringLiteral("port perdu, pas revenu dans la minute, rien n'est envoyé (prévue à %1)").arg(timeOf(f.dueMs)));
    }

    static QString timeOf(qint64 ms) { return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("HH:mm:ss")); }

    // The row a waiting firing belongs to now (the file may have been read again), or 0 when
    // it was taken out of the file meanwhile.
    int rowOf(const PortWaitingFirings::Firing &f) const
    {
        if (f.row >= 1 && size_t(f.row) <= m_keys.size() && m_keys[size_t(f.row - 1)] == f.key)
            return f.row;
        const auto it = std::find(m_keys.begin(), m_keys.end(), f.key);
        return it == m_keys.end() ? 0 : int(it - m_keys.begin()) + 1;
    }

    static QString contentKey(const SavedScheduleRow &row)
    {
        return QStringList{row.date.toString(Qt::ISODate), row.time, QString::number(row.button), row.description,
                           QString::number(row.recurrence.weekdays), QString::number(int(row.recurrence.sun)),
                           QString::number(row.recurrence.offsetMinutes)}
            .join(QChar(0x1f));
    }

    // "2026-12-08T07:30:00.003+01:00 fired ligne 2 bouton 3 « Lampe jardin »", then the detail.
    void log(const QString &event, int i, const QString &detail, const QDateTime &when = QDateTime::currentDateTime())
    {
        const SavedScheduleRow &saved = m_rows[size_t(i - 1)];
        QString line = QStringLiteral("%1 ligne %2 bouton %3 « %4 »").arg(event).arg(i).arg(saved.button).arg(saved.description);
        if (!detail.isEmpty())
            line += QStringLiteral(" : ") + detail;
        logLine(line, when);
        if (event == QLatin1String("fired"))
            m_remote.notifyFired(i, saved.button);
    }

    SystemScheduleClock m_clock;
    ScheduleEngine m_engine;
    PanelButtons m_buttons;
    bool m_portNamed;
    PortChoice m_portChoice;
    TComPort m_port;
    RelayStates m_relays;
    RemoteControl m_remote;
    std::vector<SavedScheduleRow> m_rows; // as read, row i at i - 1
    std::vector<QString> m_keys;          // each row's content, told apart from its equals by rank
    // When each row's last occurrence was fired or missed, by content: kept across reads.
    QHash<QString, qint64> m_done;
    bool m_loaded = false;
    QByteArray m_bytes;
    PortWaitingFirings m_portWaiting;
    QTimer m_portWaitCheck; // gives up what waited a minute while the port stays lost
};

// --http [ADDR:]PORT over what remote.ini holds; none when the option is malformed.
std::optional<HttpSettings> httpOption(const QString &value, HttpSettings settings)
{
    QString address = QStringLiteral("127.0.0.1");
    QString port = value;
    const qsizetype colon = value.lastIndexOf(u':');
    if (colon >= 0) {
        address = value.left(colon);
        port = value.mid(colon + 1);
        if (address.startsWith(u'[') && address.endsWith(u']'))
            address = address.mid(1, address.size() - 2);
    }
    bool ok = false;
    const int number = port.toInt(&ok);
    if (!ok || number < 0 || number > 65535 || QHostAddress(address).isNull())
        return std::nullopt;
    settings.enabled = true;
    settings.address = address;
    settings.port = quint16(number);
    return settings;
}

// The broker of --mqtt HOST[:PORT] ("[::1]:1883" for an IPv6 address) and --node, over
// remote.ini's MQTT section (user, password, CA file); without --mqtt, that section as it is.
std::optional<MqttSettings> mqttChoice(const QCommandLineParser &parser, MqttSettings settings)
{
    if (parser.isSet(QStringLiteral("mqtt"))) {
        const QString value = parser.value(QStringLiteral("mqtt")).trimmed();
        QString host = value;
        QString port;
        if (value.startsWith(u'[')) {
            host = value.section(u']', 0, 0).mid(1);
            port = value.section(u']', 1);
            if (!port.isEmpty() && !port.startsWith(u':'))
                return std::nullopt;
            port = port.mid(1);
        } else if (value.count(u':') == 1) {
            host = value.section(u':', 0, 0);
            port = value.section(u':', 1);
        }
        bool ok = true;
        const int number = port.isEmpty() ? 1883 : port.toInt(&ok);
        if (host.isEmpty() || !ok || number < 1 || number > 65535)
            return std::nullopt;
        settings.enabled = true;
        settings.host = host;
        settings.port = quint16(number);
    }
    if (parser.isSet(QStringLiteral("node")))
        settings.node = cleanNodeName(parser.value(QStringLiteral("node")));
    return settings;
}

} // namespace

int runServe(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Service sans fenêtre : déclenche à leur heure les lignes lancées de Programateur.ini (celles enregistrées "
        "lancées), avec les boutons du panneau de Zelvar2.ini, comme le programmateur. Le port est ouvert au "
        "départ et gardé jusqu'à la fin ; perdu (adaptateur débranché), il est rouvert par son nom chaque seconde, "
        "et une alarme venue entre-temps part à son retour si elle a moins d'une minute. Chaque événement est une ligne sur la sortie standard : l'heure, puis "
        "fired (envoyé), missed (manqué de plus d'une minute), refused (bouton absent du panneau) ou error. "
        "Programateur.ini est relu quand il change et sur SIGHUP, sans rien déclencher deux fois ; un fichier "
        "absent ne donne aucune ligne. SIGTERM ou SIGINT arrêtent le service après l'envoi en cours. Pendant qu'il "
        "tient le port, les autres commandes de zelvar-cli et le programme écrivent à travers lui."));
    addPortOptions(parser);
    parser.addOption({QStringLiteral("http"),
                      QStringLiteral("Télécommande web et interface JSON sur [ADDR:]PORT (127.0.0.1 par défaut ; "
                                     "0.0.0.0 pour le réseau local). Sans cette option : selon remote.ini."),
                      QStringLiteral("[ADDR:]PORT")});
    parser.addOption({QStringLiteral("mqtt"),
                      QStringLiteral("Relie le service au broker MQTT HOTE[:PORT] (1883 par défaut) : relais, boutons et "
                                     "découverte Home Assistant sous zelvar/NOEUD/. Utilisateur, mot de passe et "
                                     "fichier CA viennent de ~/.config/zelvar/remote.ini. Sans cette option, la "
                                     "section MQTT de remote.ini s'applique quand elle est active."),
                      QStringLiteral("HOTE[:PORT]")});
    parser.addOption({QStringLiteral("node"),
                      QStringLiteral("Le nom du nœud MQTT (lettres, chiffres et _ ; par défaut le nom de la machine)."),
                      QStringLiteral("NOM")});
    int status = 0;
    if (!parseCommand(parser, arguments, &status,
                      QStringLiteral("\nCode de sortie : 0 arrêté par SIGTERM ou SIGINT, 1 Zelvar2.ini ou "
                                     "Programateur.ini illisible au départ, un service qui tourne déjà dans ce "
                                     "dossier ou --http impossible, 64 usage.\n")))
        return status;
    if (!parser.positionalArguments().isEmpty()) {
        err() << "zelvar-cli serve : aucun argument attendu\n";
        return UsageError;
    }
    QString unreadable;
    const RemoteSettings remoteSettings = readRemoteSettings(&unreadable);
    if (!unreadable.isEmpty())
        err() << "zelvar-cli serve : " << unreadable << "\n";
    HttpSettings http = remoteSettings.http;
    if (parser.isSet(QStringLiteral("http"))) {
        const std::optional<HttpSettings> chosen = httpOption(parser.value(QStringLiteral("http")), remoteSettings.http);
        if (!chosen) {
            err() << "zelvar-cli serve : --http [ADDR:]PORT attendu, par exemple 8765 ou 0.0.0.0:8765\n";
            return UsageError;
        }
        http = *chosen;
    }
    const std::optional<MqttSettings> mqtt = mqttChoice(parser, remoteSettings.mqtt);
    if (!mqtt) {
        err() << "zelvar-cli serve : --mqtt attend HOTE ou HOTE:PORT (port de 1 à 65535)\n";
        return UsageError;
    }

    const std::optional<ProfileFile> panelFile = readProfile(QStringLiteral("serve"), PanelFiles::config());
    if (!panelFile)
        return 1;
    const PanelConfig config = readPanelConfig(*panelFile, PanelReader::Panel);
    // Without the panel's file there is no panel: every firing is refused.
    PanelButtons buttons;
    if (QFileInfo::exists(PanelFiles::config()))
        buttons = buildPanelButtons(config.buttons);

    // Two services of one folder would fire each alarm twice.
    if (SingleInstance::serviceRunsIn(QDir::currentPath())) {
        err() << "zelvar-cli serve : un service tourne déjà dans ce dossier\n";
        return 1;
    }
    // The host of the user's Zelvar processes, unless the program is already: then the port
    // opens through the program.
    SingleInstance instance(host::Role::Service);
    const bool guest = instance.claim() == SingleInstance::Claim::Guest;

    StopSignals caught(StopSignals::Hangup::Caught);
    ScheduleService service(config, std::move(buttons), portNamed(parser, *panelFile), portChoice(parser, config.settings));
    if (!service.load(true))
        return 1;
    instance.setHandler([&service](const host::Request &request) {
        return answerHostRequest(request, host::Role::Service, &service.port());
    });
    RemoteSequences sequences([&service] { return PanelTarget{&service.port(), &service.buttons()}; },
                              [](const QString &line) { ScheduleService::logLine(line); },
                              [&service] { return service.openPortForRemote(); });
    service.remote().setSequencePlayer([&sequences](const QString &activity) { return sequences.play(activity); },
                                       [&sequences] { return sequences.stop(); });
    service.remote().setPortOpener([&service] { return service.openPortForRemote(); });
    HttpRemote httpRemote(service.remote());
    QObject::connect(&httpRemote, &HttpRemote::logLine, [](const QString &line) { ScheduleService::logLine(QStringLiteral("http ") + line); });
    std::unique_ptr<MqttBridge> bridge;
    // Only the host that holds the port serves the remote interfaces: a guest of the program
    // leaves them to it, and takes them up when it becomes the host.
    const auto startRemote = [&]() -> bool {
        if (mqtt->enabled) {
            bridge = std::make_unique<MqttBridge>(service.remote());
            QObject::connect(bridge.get(), &MqttBridge::logLine, [](const QString &line) { ScheduleService::logLine(QStringLiteral("mqtt ") + line); });
            bridge->start(*mqtt);
        }
        // The host holds its port from the start, whatever its rows need: a program started
        // later then finds it taken and writes through this service, instead of taking the
        // device for itself and leaving the service's firings a busy port.
        service.openPortAhead(true);
        if (!http.enabled)
            return true;
        QString tokenError, startError;
        const QByteArray token = remoteToken(&tokenError);
        if (token.isEmpty() || !httpRemote.start(http, token, &startError)) {
            ScheduleService::logLine(QStringLiteral("error http : ") + (token.isEmpty() ? tokenError : startError));
            // Asked for on the command line, a server that cannot start stops the service.
            return !parser.isSet(QStringLiteral("http"));
        }
        ScheduleService::logLine(QStringLiteral("http à l'écoute sur %1 port %2").arg(http.address).arg(httpRemote.serverPort()));
        return true;
    };
    if (!guest) {
        if (!startRemote())
            return 1;
    } else {
        service.openPortAhead(false);
        if (http.enabled || mqtt->enabled)
            ScheduleService::logLine(QStringLiteral("le programme tient le port : il sert la télécommande tant qu'il tourne"));
    }

    // An atomic save replaces the file, so the folder is watched, and the file for a change in place.
    QFileSystemWatcher watcher;
    watcher.addPath(QDir::currentPath());
    const auto watchFile = [&watcher] {
        if (QFileInfo::exists(ScheduleFiles::path()))
            watcher.addPath(ScheduleFiles::path());
    };
    watchFile();
    QTimer reload;
    reload.setSingleShot(true);
    reload.setInterval(ReloadDelayMs);
    QObject::connect(&reload, &QTimer::timeout, [&] {
        watchFile();
        service.load(false);
    });
    QObject::connect(&watcher, &QFileSystemWatcher::directoryChanged, &reload, qOverload<>(&QTimer::start));
    QObject::connect(&watcher, &QFileSystemWatcher::fileChanged, &reload, qOverload<>(&QTimer::start));

    // A guest becomes the host once the program has ended.
    QTimer hostLeft;
    QObject::connect(&hostLeft, &QTimer::timeout, [&] {
        if (!instance.holdIfFree())
            return;
        hostLeft.stop();
        if (!startRemote())
            ScheduleService::logLine(QStringLiteral("error http : la télécommande ne démarre pas"));
    });
    if (guest)
        hostLeft.start(SingleInstance::HostLookMs);

    QEventLoop loop;
    QSocketNotifier signalNotifier(caught.fd(), QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &loop, [&] {
        for (int signal : caught.take()) {
            if (signal == SIGHUP) {
                service.load(true);
                continue;
            }
            err() << "zelvar-cli serve : arrêté\n";
            loop.exit(0);
            return;
        }
    });
    return loop.exec();
}

} // namespace zelvar::cli
