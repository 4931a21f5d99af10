#include "cli/CliCommands.h"
#include "cli/CliFiring.h"
#include "cli/CliPort.h"
#include "cli/ServeNotify.h"

#include "common/DataPaths.h"
#include "common/ProfileFile.h"
#include "common/SingleInstance.h"
#include "common/SystemError.h"
#include "devices/ComError.h"
#include "devices/ComPort.h"
#include "devices/CommForward.h"
#include "devices/CommHolder.h"
#include "devices/CommLayer.h"
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
#include "scheduler/ScheduleMemory.h"
#include "scheduler/SchedulePeriod.h"
#include "scheduler/SchedulePlace.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHash>
#include <QHostAddress>
#include <QLocale>
#include <QRegularExpression>
#include <QSet>
#include <QThread>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <memory>
#include <optional>

namespace zelvar::cli {

namespace {

// A change of the folder is read this long after it, so that a save in several steps is
// read once, whole.
constexpr int ReloadDelayMs = 200;
// A file seen empty, unreadable, incomplete or gone may be an editor's save under way: it
// is read again this often, for this long, before it is taken as it is.
constexpr int RereadStepMs = 100;
constexpr qint64 RereadForMs = 2000;
// A row out of the file keeps its memory this long, in case it comes back (an undo).
constexpr qint64 ForgetAfterMs = 7LL * 24 * 3600 * 1000;

// The panel as the service uses it, read from Zelvar2.ini with the options of the command.
struct ServePanel
{
    PanelConfig config;
    PanelButtons buttons;
    bool portNamed = false;
    PortChoice portChoice;
    // Why it could not be read now: empty, unreadable; the panel in force then stays.
    QString damage;
};

// "2026-12-08T07:30:00+01:00"
QString localIso(qint64 ms)
{
    const QDateTime when = QDateTime::fromMSecsSinceEpoch(ms);
    return when.toOffsetFromUtc(when.offsetFromUtc()).toString(Qt::ISODate);
}

// "en retard de 15,2 s" for a firing more than a second after its second; empty otherwise.
QString lateness(qint64 dueMs, const QDateTime &when)
{
    const qint64 late = when.toMSecsSinceEpoch() - dueMs;
    if (late <= 1000)
        return QString();
    return QStringLiteral("en retard de %1 s").arg(QLocale(QLocale::French).toString(double(late) / 1000.0, 'f', 1));
}

// Why a schedule file that exists cannot be taken as whole yet: empty, or fewer row
// sections than it counts. Empty when it can.
QString incompleteness(const ProfileFile &file, const QByteArray &bytes, bool *empty)
{
    *empty = bytes.trimmed().isEmpty();
    if (*empty)
        return QStringLiteral("fichier vide");
    const QString header = QStringLiteral("Programateur"), countKey = QStringLiteral("Nombre de lignes");
    // Rows without their count: the file's start is still being written.
    if (!file.hasKey(header, countKey) && file.hasSection(QStringLiteral("Ligne1")))
        return QStringLiteral("nombre de lignes absent");
    int count = 0;
    if (!ProfileFile::parseInteger(file.readString(header, countKey, QStringLiteral("0")), &count))
        return QString(); // the reader names what is wrong
    int found = 0;
    for (int n = 1; n <= std::min(count, MaxSavedScheduleRows); ++n)
        found += file.hasSection(QStringLiteral("Ligne") + QString::number(n)) ? 1 : 0;
    if (found < std::min(count, MaxSavedScheduleRows))
        return QStringLiteral("%1 lignes annoncées, %2 trouvées").arg(count).arg(found);
    return QString();
}

// The alarms of Programateur.ini run without a window: the armed rows fire on the panel's
// buttons, on a port held from start to end, and each event is one line on the output.
class ScheduleService
{
public:
    ScheduleService(const ServePanel &panel, std::function<ServePanel()> readPanel)
        : m_engine(m_clock), m_buttons(panel.buttons), m_portNamed(panel.portNamed), m_portChoice(panel.portChoice),
          m_remote(RemoteControl::Host::Service, m_port, m_relays), m_memory(QDir::currentPath()),
          m_readPanel(std::move(readPanel))
    {
        m_relays.follow(m_port);
        m_remote.setPanel(panel.config);
        m_remote.setScheduleSource([this] { return remoteRows(); });
        m_panelBytes = panelBytes();
        m_changed.setSingleShot(true);
        m_changed.setInterval(ReloadDelayMs);
        QObject::connect(&m_changed, &QTimer::timeout, [this] { reread(); });
        QObject::connect(&m_engine, &ScheduleEngine::fired, [this](int i, int button, qint64 due) {
            fire(i, button, due);
        });
        QObject::connect(&m_engine, &ScheduleEngine::asserted, [this](int i, int button, bool inside) {
            fire(i, button, QDateTime::currentMSecsSinceEpoch(), false,
                 inside ? QStringLiteral("dans sa période") : QStringLiteral("hors de sa période"));
        });
        QObject::connect(&m_engine, &ScheduleEngine::missed, [this](int i, qint64, ScheduleEngine::Miss why, qint64 due) {
            remember(m_keys[i - 1], due);
            log(QStringLiteral("missed"), i,
                QStringLiteral("prévue le %1, %2, rien n'est envoyé")
                    .arg(localIso(due), why == ScheduleEngine::Miss::Late ? QStringLiteral("heure passée de plus d'une minute")
                                                                          : QStringLiteral("heure déjà passée (heure ou fuseau changés)")));
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
            // What a period should be in may have been lost with the board's power.
            m_engine.assertPeriods();
        });
        m_portWaitCheck.setInterval(1000);
        QObject::connect(&m_portWaitCheck, &QTimer::timeout, [this] {
            for (const PortWaitingFirings::Firing &f : m_portWaiting.takeExpired(QDateTime::currentMSecsSinceEpoch()))
                logPortMissed(f);
            // A device this port does not watch itself (the host's, or one missing at an
            // opening) is tried again each second; a lost port of ours says when it is back.
            if (!m_port.Lost() && !m_portWaiting.isEmpty())
                firePortWaiting();
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
        m_portAlways = m_portAlways || always;
        if (!needed || !m_portNamed || m_port.Connected())
            return;
        try {
            openPort(m_port, m_portChoice);
            m_portWasOpen = true;
        } catch (const EComPort &error) {
            logLine(QStringLiteral("error port %1 : %2").arg(m_portChoice.name, error.Message()));
        }
    }

    // Reads the file at start, waiting up to RereadForMs for one an editor is writing; false
    // when it cannot be read, with the reason logged.
    bool start()
    {
        const qint64 until = QDateTime::currentMSecsSinceEpoch() + RereadForMs;
        m_since = QDateTime::currentMSecsSinceEpoch();
        Loaded loaded;
        while ((loaded = load(true, QDateTime::currentMSecsSinceEpoch() >= until)) == Loaded::Retry)
            QThread::msleep(RereadStepMs);
        return loaded == Loaded::Done;
    }

    // The folder changed: the files are read again a moment later. `always` reads the rows
    // again even when the file's bytes are the same (SIGHUP).
    void changed(bool always = false)
    {
        m_rereadAlways = m_rereadAlways || always;
        if (m_rereadUntil == 0) {
            m_since = QDateTime::currentMSecsSinceEpoch();
            m_rereadUntil = m_since + ReloadDelayMs + RereadForMs;
        }
        m_changed.start(always ? 0 : ReloadDelayMs);
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
        // A reason may carry line breaks (a port error and the system's words under it): the
        // journal keeps one event a line.
        static const QRegularExpression breaks(QStringLiteral("\\s*[\\r\\n\\v\\f\\x{85}\\x{2028}\\x{2029}]+\\s*"));
        QString joined = line.trimmed();
        joined.replace(breaks, QStringLiteral(" : "));
        out() << when.toOffsetFromUtc(when.offsetFromUtc()).toString(Qt::ISODateWithMs) << " " << joined << "\n";
        out().flush();
    }

private:
    std::vector<RemoteScheduleRow> remoteRows() const { return remoteScheduleRows(m_engine, m_rows); }

    enum class Loaded { Done, Retry, Failed };

    // Reads the file and runs its armed rows in place of the rows in force. A file that cannot
    // be read, or is not whole yet, leaves those rows: Retry until `lastTry`, then Failed
    // with the reason logged. Unchanged bytes are not read again unless `always`.
    Loaded load(bool always, bool lastTry)
    {
        const QString path = ScheduleFiles::path();
        bool exists = false;
        const ProfileFile file = ProfileFile::load(path, &exists);
        if (!exists && m_present) {
            // An editor may take the file away for a moment while it saves.
            if (!lastTry)
                return Loaded::Retry;
            int armed = 0;
            for (int i = 1; i <= m_engine.count(); ++i)
                armed += m_engine.row(i).armed ? 1 : 0;
            logLine(QStringLiteral("error %1 : %2 ligne(s) lancée(s) arrêtée(s), fichier supprimé").arg(path).arg(armed));
        }
        const QByteArray bytes = exists && !file.unreadable() ? file.toBytes() : QByteArray();
        bool empty = false;
        const QString damage = file.unreadable() ? file.readError() : exists ? incompleteness(file, bytes, &empty) : QString();
        if (!damage.isEmpty() && !lastTry)
            return Loaded::Retry;
        // Still empty once the editor had its time: the file holds no rows.
        if (!damage.isEmpty() && !empty) {
            logLine(QStringLiteral("error %1 illisible : %2").arg(path, damage));
            return Loaded::Failed;
        }
        if (!always && m_loaded && exists == m_present && bytes == m_bytes)
            return Loaded::Done;
        const ReadSchedule read = readSchedule(file);
        if (!read.refused.isEmpty()) {
            logLine(QStringLiteral("error %1 illisible : %2").arg(path, read.refused));
            return Loaded::Failed;
        }
        m_loaded = true;
        m_present = exists;
        m_bytes = bytes;
        for (const QString &problem : read.problems)
            logLine(QStringLiteral("error %1 : %2").arg(path, problem));
        QString placeError;
        m_engine.setPlace(readPlace(file, &placeError));
        if (!placeError.isEmpty())
            logLine(QStringLiteral("error %1 : %2").arg(path, placeError));

        m_engine.clear();
        m_rows = read.rows;
        m_keys = ScheduleMemory::keysOf(m_rows);
        for (const SavedScheduleRow &saved : m_rows)
            addSavedRow(m_engine, saved, m_buttons);
        m_memory.reload();
        if (!m_memory.error().isEmpty())
            logLine(QStringLiteral("error ") + m_memory.error());
        QHash<QString, qint64> firstSeen;
        QSet<QString> told;
        int armed = 0;
        for (int i = 1; i <= m_engine.count(); ++i)
            if (m_rows[size_t(i - 1)].armed && arm(i, firstSeen, told))
                ++armed;
        m_told = told;
        if (!m_memory.remember(firstSeen) || !m_memory.forgetOthers(m_keys, m_since - ForgetAfterMs))
            logLine(QStringLiteral("error ") + m_memory.error());
        err() << "zelvar-cli serve : " << path << " : " << armed << " ligne(s) lancée(s) sur " << m_engine.count() << "\n";
        err().flush();
        return Loaded::Done;
    }

    // A read of the files after a change, again each RereadStepMs while one is not whole.
    void reread()
    {
        const bool lastTry = QDateTime::currentMSecsSinceEpoch() >= m_rereadUntil;
        const bool panelChanged = rereadPanel(lastTry);
        const Loaded loaded = load(m_rereadAlways || panelChanged, lastTry);
        if (loaded == Loaded::Retry || (!panelChanged && m_panelPending && !lastTry)) {
            m_changed.start(RereadStepMs);
            return;
        }
        m_rereadAlways = false;
        m_rereadUntil = 0;
    }

    // Reads Zelvar2.ini again when its bytes changed; true when the panel in force changed.
    bool rereadPanel(bool lastTry)
    {
        const QByteArray bytes = panelBytes();
        if (bytes == m_panelBytes || !m_readPanel) {
            m_panelPending = false;
            return false;
        }
        ServePanel panel = m_readPanel();
        if (!panel.damage.isEmpty()) {
            m_panelPending = !lastTry;
            if (lastTry) {
                m_panelBytes = bytes;
                logLine(QStringLiteral("error %1 illisible : %2, le panneau en cours reste").arg(PanelFiles::config(), panel.damage));
            }
            return false;
        }
        m_panelPending = false;
        m_panelBytes = bytes;
        m_buttons = std::move(panel.buttons);
        m_remote.setPanel(panel.config);
        if (panel.portNamed != m_portNamed || panel.portChoice.name != m_portChoice.name
            || panel.portChoice.speed != m_portChoice.speed) {
            const bool wasOpen = m_port.Connected();
            m_port.ClosePort();
            m_portNamed = panel.portNamed;
            m_portChoice = panel.portChoice;
            m_portWasOpen = false;
            logLine(QStringLiteral("port %1 : %2 a changé").arg(m_portNamed ? m_portChoice.name : QStringLiteral("aucun"),
                                                                PanelFiles::config()));
            if (wasOpen || m_portAlways)
                openPortAhead(m_portAlways);
        }
        return true;
    }

    static QByteArray panelBytes()
    {
        QFile file(PanelFiles::config());
        return file.open(QIODevice::ReadOnly) ? file.read(16 * 1024 * 1024) : QByteArray();
    }

    // Arms row i for its next occurrence that was neither fired nor missed yet, so that a
    // file read again during or after a row's second does not fire it twice, and a restart
    // catches up what fell while nothing ran. A row that cannot run is said once, not at each
    // reading: `told` gathers them.
    bool arm(int i, QHash<QString, qint64> &firstSeen, QSet<QString> &told)
    {
        const QString &key = m_keys[i - 1];
        const auto say = [&](const QString &event, const QString &detail) {
            if (!m_told.contains(key))
                log(event, i, detail);
            told.insert(key);
        };
        // Checked now, not at the row's second: the panel may change before then.
        if (m_engine.row(i).button == 0) {
            say(QStringLiteral("refused"), QStringLiteral("ce bouton n'est pas sur le panneau"));
            return false;
        }
        if (const QString refusal = periodRefusal(m_engine.row(i), m_buttons); !refusal.isEmpty()) {
            say(QStringLiteral("refused"), refusal + QStringLiteral(", rien n'est envoyé"));
            return false;
        }
        std::optional<qint64> accounted = m_memory.accountedUntil(key);
        // A repeating row's past is not made up before it was first seen armed.
        if (!accounted && m_rows[size_t(i - 1)].recurrence.repeats()) {
            accounted = m_since;
            firstSeen.insert(key, m_since);
        }
        const ScheduleEngine::Arming result = m_engine.resume(i, accounted);
        if (result == ScheduleEngine::Arming::Armed || result == ScheduleEngine::Arming::Done)
            return result == ScheduleEngine::Arming::Armed;
        say(QStringLiteral("error"), QStringLiteral("non relancée, ") + m_engine.reason(result, i));
        return false;
    }

    void remember(const QString &key, qint64 due)
    {
        if (!m_memory.remember(key, due))
            logLine(QStringLiteral("error ") + m_memory.error());
    }

    // `waited`: a firing that waited for the lost port, sent at its return. The row's memory
    // is written once the firing is settled (queued to the port, refused, failed or missed),
    // never while it waits for the port, so that a restart meanwhile still catches it up.
    // `assertion`: the state a period should be in, said so; it is not remembered and does
    // not wait for a lost port, whose return asserts the periods again.
    void fire(int i, int button, qint64 due, bool waited = false, const QString &assertion = QString())
    {
        const QString key = m_keys[i - 1];
        const auto remember = [&](const QString &k, qint64 ms) {
            if (assertion.isEmpty())
                this->remember(k, ms);
        };
        if (!assertion.isEmpty() && m_port.Lost())
            return;
        if (button < 1 || size_t(button) >= m_buttons.size()) {
            remember(key, due);
            log(QStringLiteral("refused"), i, QStringLiteral("ce bouton n'est pas sur le panneau"));
            return;
        }
        const ButtonEntry &entry = m_buttons[size_t(button)];
        const CommandSlots commands = entry.commands();
        if (entry.mode == UsbUirt) {
            remember(key, due);
            Send::queue(m_port, Send::step(entry.mode, commands),
                        [this, i, button, due, assertion, key = m_keys[i - 1]](const SendResult &sent) {
                            logFiring(i, key, button, due, false, sent, assertion);
                        });
            return;
        }
        if (!writesToSerialLine(entry)) {
            remember(key, due);
            const QString late = lateness(due, QDateTime::currentDateTime());
            log(QStringLiteral("fired"), i, late.isEmpty() ? QStringLiteral("rien à envoyer") : late + QStringLiteral(", rien à envoyer"),
                QDateTime::currentDateTime(), button);
            return;
        }
        if (!m_portNamed) {
            remember(key, due);
            log(QStringLiteral("error"), i, QStringLiteral("aucun port (ni --port, ni port dans Zelvar2.ini)"));
            return;
        }
        if (assertion.isEmpty() && waitForPort(i, button, due))
            return;
        try {
            if (!m_port.Connected())
                openPort(m_port, m_portChoice);
        } catch (const EComPort &error) {
            if (assertion.isEmpty() && waitForPort(i, button, due, error.SystemError()))
                return;
            remember(key, due);
            log(QStringLiteral("error"), i, error.Message());
            return;
        }
        m_portWasOpen = true;
        remember(key, due);
        // The sender puts it ahead of anything waiting; it is logged once written.
        Send::queue(m_port, Send::step(entry.mode, commands),
                    [this, i, button, due, waited, assertion, key = m_keys[i - 1]](const SendResult &sent) {
                        logFiring(i, key, button, due, waited, sent, assertion);
                    });
    }

    // A firing's line, with the time its first command went out and how late that was; a
    // write that met a lost port waits for its return. The file may have been read again
    // while it was queued: the row is found again by its contents.
    void logFiring(int i, const QString &key, int button, qint64 due, bool waited, const SendResult &sent,
                   const QString &assertion = QString())
    {
        if (i > m_keys.size() || m_keys[i - 1] != key)
            i = int(m_keys.indexOf(key)) + 1;
        if (i == 0)
            return; // taken out of the file meanwhile
        if (sent.error && assertion.isEmpty() && waitForPort(i, button, due, sent.error->SystemError()))
            return;
        const QDateTime when =
            sent.firstWriteMs ? QDateTime::fromMSecsSinceEpoch(sent.firstWriteMs) : QDateTime::currentDateTime();
        if (sent.error) {
            // A port that failed is opened again at the next firing.
            try {
                m_port.ClosePort();
            } catch (const EComPort &) {
            }
            log(QStringLiteral("error"), i, sent.error->Message(), when, button);
        } else if (sent.infraredNotSent) {
            log(QStringLiteral("error"), i, QStringLiteral("code infrarouge non émis : ") + *sent.infraredNotSent, when, button);
        } else if (!assertion.isEmpty()) {
            log(QStringLiteral("asserted"), i, assertion, when, button);
        } else {
            const QString late = lateness(due, when);
            log(QStringLiteral("fired"), i,
                waited ? QStringLiteral("au retour du port") + (late.isEmpty() ? QString() : QStringLiteral(", ") + late) : late,
                when, button);
        }
    }

    // A firing that meets a lost port waits for its return; false when the port is not lost.
    // A device found gone (`error`) counts as lost too: the port of the program this service
    // is a guest of, or a device that was open once and is missing now, is tried again each
    // second.
    bool waitForPort(int i, int button, qint64 dueMs, int error = 0)
    {
        if (!m_port.Lost() && !comm::deviceGone(error) && !(error == ENOENT && m_portWasOpen))
            return false;
        m_portWaiting.add({i, button, dueMs, m_keys[i - 1]});
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
                fire(i, f.button, f.dueMs, true);
    }

    void logPortMissed(const PortWaitingFirings::Firing &f)
    {
        remember(f.key, f.dueMs);
        if (const int i = rowOf(f))
            log(QStringLiteral("missed"), i,
                QStringLiteral("prévue le %1, port perdu pendant plus d'une minute, rien n'est envoyé").arg(localIso(f.dueMs)));
    }

    // The row a waiting firing belongs to now (the file may have been read again), or 0 when
    // it was taken out of the file meanwhile.
    int rowOf(const PortWaitingFirings::Firing &f) const
    {
        if (f.row >= 1 && f.row <= m_keys.size() && m_keys[f.row - 1] == f.key)
            return f.row;
        return int(m_keys.indexOf(f.key)) + 1;
    }

    // "2026-12-08T07:30:00.003+01:00 fired ligne 2 bouton 3 « Lampe jardin »", then the detail.
    // `button` names the button sent when it is a period's end (the row's own otherwise).
    void log(const QString &event, int i, const QString &detail, const QDateTime &when = QDateTime::currentDateTime(),
             int button = 0)
    {
        const SavedScheduleRow &saved = m_rows[size_t(i - 1)];
        const bool end = saved.end && button != 0 && button == m_engine.row(i).end.value_or(PeriodEnd{}).button
                         && button != m_engine.row(i).button;
        const int number = end ? saved.end->button : saved.button;
        QString line = QStringLiteral("%1 ligne %2 bouton %3 « %4 »")
                           .arg(event)
                           .arg(i)
                           .arg(number)
                           .arg(end ? saved.endDescription : saved.description);
        if (!detail.isEmpty())
            line += QStringLiteral(" : ") + detail;
        logLine(line, when);
        if (event == QLatin1String("fired"))
            m_remote.notifyFired(i, number);
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
    QStringList m_keys;                   // each row's content, told apart from its equals by rank
    // When each row's last occurrence was fired or missed, by content: kept across runs.
    ScheduleMemory m_memory;
    QSet<QString> m_told; // rows that cannot run, already logged
    bool m_loaded = false;
    bool m_present = false; // the file was there at the last reading
    QByteArray m_bytes;
    // Since when the rows being read may have been in the file (a repeating row new to the
    // memory is caught up from there).
    qint64 m_since = 0;
    QTimer m_changed;
    qint64 m_rereadUntil = 0; // 0 when no reading is under way
    bool m_rereadAlways = false;
    std::function<ServePanel()> m_readPanel;
    QByteArray m_panelBytes;
    bool m_panelPending = false; // Zelvar2.ini changed but could not be read yet
    bool m_portAlways = false;   // the port is held from start to end
    PortWaitingFirings m_portWaiting;
    bool m_portWasOpen = false; // the named device was reached once in this run
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
        "Programateur.ini et Zelvar2.ini sont relus quand ils changent et sur SIGHUP ; un fichier vide, illisible ou "
        "incomplet (un éditeur qui l'enregistre) est relu pendant deux secondes, les lignes en cours continuant. "
        "Ce qui a été déclenché ou manqué est retenu d'un démarrage à l'autre (~/.local/state/zelvar) : rien ne "
        "part deux fois, une heure tombée pendant l'arrêt part au démarrage si elle a moins d'une minute, sinon "
        "elle est notée missed une fois. Un fichier absent ne donne aucune ligne. SIGTERM ou SIGINT arrêtent le service après l'envoi en cours. Pendant qu'il "
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
    parser.addOption({QStringLiteral("service-folder"),
                      QStringLiteral("Travaille dans ~/.local/share/zelvar ($XDG_DATA_HOME/zelvar), le dossier du "
                                     "programme lancé depuis le menu du bureau, créé s'il manque : c'est ainsi que "
                                     "l'unité systemd lance le service.")});
    parser.addOption({QStringLiteral("node"),
                      QStringLiteral("Le nom du nœud MQTT (lettres, chiffres et _ ; par défaut le nom de la machine)."),
                      QStringLiteral("NOM")});
    int status = 0;
    if (!parseCommand(parser, arguments, &status,
                      QStringLiteral("\nCode de sortie : 0 arrêté par SIGTERM ou SIGINT, 1 Zelvar2.ini ou "
                                     "Programateur.ini illisible au départ, un service qui tourne déjà dans ce "
                                     "dossier, un verrou impossible à prendre ou --http impossible, 64 usage.\n")))
        return status;
    if (!parser.positionalArguments().isEmpty()) {
        err() << "zelvar-cli serve : aucun argument attendu\n";
        return UsageError;
    }
    if (parser.isSet(QStringLiteral("service-folder"))) {
        QString error;
        if (!enterServiceFolder(&error)) {
            err() << "zelvar-cli serve : " << error << "\n";
            return 1;
        }
    }
    QString unreadable;
    QStringList narrowed;
    const RemoteSettings remoteSettings = readRemoteSettings(&unreadable, &narrowed);
    for (const QString &line : narrowed)
        ScheduleService::logLine(line);
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

    // Read again after a change, an empty file is an editor's save under way.
    const auto readPanel = [&parser](bool again) {
        ServePanel panel;
        bool exists = false;
        const ProfileFile file = ProfileFile::load(PanelFiles::config(), &exists);
        if (file.unreadable()) {
            panel.damage = file.readError();
            return panel;
        }
        if (again && exists && file.sections().empty()) {
            panel.damage = QStringLiteral("fichier vide");
            return panel;
        }
        panel.config = readPanelConfig(file, PanelReader::Panel);
        // Without the panel's file there is no panel: every firing is refused.
        if (exists)
            panel.buttons = buildPanelButtons(panel.config.buttons);
        panel.portNamed = portNamed(parser, file);
        panel.portChoice = portChoice(parser, panel.config.settings);
        return panel;
    };
    const ServePanel panel = readPanel(false);
    if (!panel.damage.isEmpty()) {
        err() << "zelvar-cli serve : " << PanelFiles::config() << " : " << panel.damage << "\n";
        return 1;
    }

    // Two services of one folder would fire each alarm twice: the folder's lock decides.
    SingleInstance instance(host::Role::Service);
    if (const int error = instance.holdServiceFolder(QDir::currentPath())) {
        if (error == EWOULDBLOCK)
            err() << "zelvar-cli serve : un service tourne déjà dans ce dossier\n";
        else
            err() << "zelvar-cli serve : le verrou du service ne peut être pris : " << systemErrorText(error) << "\n";
        return 1;
    }
    // The host of the user's Zelvar processes, unless the program is already: then the port
    // opens through the program. A service unsure of which it is could be a second host.
    const SingleInstance::Claim claim = instance.claim();
    if (claim == SingleInstance::Claim::Held && !instance.guarded()) {
        err() << "zelvar-cli serve : le verrou d'instance ne peut être ni pris ni prouvé ; le service ne démarre pas\n";
        return 1;
    }
    const bool guest = claim == SingleInstance::Claim::Guest;
    // Becoming the host, the service takes the device from the program that ended first.
    instance.setOnHold(comm::holdForwardedDevices);

    StopSignals caught(StopSignals::Hangup::Caught);
    ScheduleService service(panel, [&readPanel] { return readPanel(true); });
    if (!service.start())
        return 1;
    instance.setHandler([&service](const host::Request &request, const SingleInstance::Answer &answer) {
        answerHostRequest(request, host::Role::Service, &service.port(), answer);
    });
    RemoteSequences sequences([&service] { return PanelTarget{&service.port(), &service.buttons()}; },
                              [](const QString &line) { ScheduleService::logLine(line); },
                              [&service] { return service.openPortForRemote(); });
    service.remote().setSequencePlayer([&sequences](const QString &activity) { return sequences.play(activity); },
                                       [&sequences] { return sequences.stop(); });
    service.remote().setPortOpener([&service] { return service.openPortForRemote(); });
    // A remote command is answered once queued; a write of it that fails later is logged.
    QObject::connect(&service.remote(), &RemoteControl::sendFailed,
                     [](const QString &why) { ScheduleService::logLine(QStringLiteral("error télécommande : ") + why); });
    HttpRemote httpRemote(service.remote());
    QObject::connect(&httpRemote, &HttpRemote::logLine, [](const QString &line) { ScheduleService::logLine(QStringLiteral("http ") + line); });
    QEventLoop loop;
    std::unique_ptr<MqttBridge> bridge;
    // Only the host that holds the port serves the remote interfaces: a guest of the program
    // leaves them to it, and takes them up when it becomes the host.
    const auto startRemote = [&]() -> bool {
        if (mqtt->enabled) {
            bridge = std::make_unique<MqttBridge>(service.remote());
            QObject::connect(bridge.get(), &MqttBridge::logLine, [](const QString &line) { ScheduleService::logLine(QStringLiteral("mqtt ") + line); });
            // A node held by another client: this service would act on its commands too.
            QObject::connect(bridge.get(), &MqttBridge::nodeTaken, &loop, [&loop] { loop.exit(1); });
            bridge->start(*mqtt);
        }
        // The host holds its port from the start, whatever its rows need: a program started
        // later then finds it taken and writes through this service, instead of taking the
        // device for itself and leaving the service's firings a busy port.
        service.openPortAhead(true);
        // The pulses a host before this one left under way end on time.
        service.remote().resumePulses();
        if (!http.enabled)
            return true;
        QString tokenError, startError;
        QStringList narrowed;
        const QByteArray token = remoteToken(&tokenError, &narrowed);
        for (const QString &line : narrowed)
            ScheduleService::logLine(line);
        if (token.isEmpty() || !httpRemote.start(http, token, &startError)) {
            ScheduleService::logLine(QStringLiteral("error http : ") + (token.isEmpty() ? tokenError : startError));
            // Asked for on the command line, a server that cannot start stops the service.
            return !parser.isSet(QStringLiteral("http"));
        }
        ScheduleService::logLine(QStringLiteral("http à l'écoute sur %1 port %2").arg(http.address).arg(httpRemote.serverPort()));
        if (bridge)
            bridge->setConfigurationUrl(remoteUrl(http, httpRemote.serverPort()));
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

    // An atomic save replaces a file, so the folder is watched, and the files for a change in place.
    QFileSystemWatcher watcher;
    watcher.addPath(QDir::currentPath());
    const auto watchFiles = [&watcher] {
        for (const QString &path : {ScheduleFiles::path(), PanelFiles::config()})
            if (QFileInfo::exists(path))
                watcher.addPath(path);
    };
    watchFiles();
    const auto changed = [&] {
        watchFiles();
        service.changed();
    };
    QObject::connect(&watcher, &QFileSystemWatcher::directoryChanged, changed);
    QObject::connect(&watcher, &QFileSystemWatcher::fileChanged, changed);

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

    notifyReady();
    feedWatchdog(&loop);
    QSocketNotifier signalNotifier(caught.fd(), QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &loop, [&] {
        for (int signal : caught.take()) {
            if (signal == SIGHUP) {
                service.changed(true);
                continue;
            }
            err() << "zelvar-cli serve : arrêté\n";
            loop.exit(0);
            return;
        }
    });
    const int ended = loop.exec();
    // What was accepted goes out before the end, and a firing written is logged.
    service.port().sender().waitIdle();
    return ended;
}

} // namespace zelvar::cli
