#pragma once

#include "devices/PortSender.h"
#include "devices/RelayCommand.h"
#include "panel/PanelButtons.h"
#include "panel/PanelConfig.h"
#include "scheduler/ScheduleFile.h"
#include "scheduler/ScheduleMemory.h"

#include <QDateTime>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace zelvar {

class RelayStates;
class TCustomComPort;

// What a remote action came to. The interfaces turn it into their own answers (an HTTP
// status, a log line): NotFound names an unknown button, relay or activity, BadRequest
// input that cannot be acted on, Failed a port or transmitter that did not take it.
struct RemoteResult
{
    enum class Kind { Ok, NotFound, BadRequest, Failed };
    Kind kind = Kind::Ok;
    QString error; // in French, for the user; empty when Ok

    bool ok() const { return kind == Kind::Ok; }
    static RemoteResult notFound(const QString &why) { return {Kind::NotFound, why}; }
    static RemoteResult badRequest(const QString &why) { return {Kind::BadRequest, why}; }
    static RemoteResult failed(const QString &why) { return {Kind::Failed, why}; }
};

// One alarm as the remote interfaces show it: the row as the schedule file holds it, whether
// it runs and when it fires next.
struct RemoteScheduleRow
{
    SavedScheduleRow saved;
    bool armed = false;
    std::optional<QDateTime> next;
};

class ScheduleEngine;

// The engine's rows as the remote interfaces list them; `saved` holds row i at i - 1.
std::vector<RemoteScheduleRow> remoteScheduleRows(const ScheduleEngine &engine,
                                                  const std::vector<SavedScheduleRow> &saved);

// The one seam between a host (the program or the service) and the remote interfaces (HTTP,
// WebSocket, MQTT). The host hands over its port, its relay states and its panel, and says
// how it plays sequences and which alarms it runs; the interfaces act through this object
// only, so every command goes out by the same sending sequences as the panel's, and neither
// host knows HTTP or MQTT. Everything runs on the host's thread.
class RemoteControl : public QObject
{
    Q_OBJECT

public:
    enum class Host { Program, Service };

    RemoteControl(Host host, TCustomComPort &port, RelayStates &states, QObject *parent = nullptr);

    Host host() const { return host_; }
    // "program" or "service".
    QString hostName() const;
    TCustomComPort &port() { return port_; }
    RelayStates &relays() { return states_; }
    // The port's name as the user set it, and whether it is open now.
    QString portName() const;
    bool portOpen() const;
    // The device went away and the port looks for it every second (TCustomComPort::Lost).
    bool portLost() const;

    // The panel as the host shows it; the host calls this again whenever it changes.
    void setPanel(const PanelConfig &panel);
    const PanelConfig &panel() const { return panel_; }
    // The live entries, slot 0 empty: button k at k.
    const PanelButtons &buttons() const { return buttons_; }
    // The panel's picture file (it may be missing).
    static QString picturePath();

    // Every action is queued on the port's sender and answered at once; a write that fails
    // later is told by sendFailed(). Beyond PortSender::MaxWaiting waiting sequences an
    // action is refused (Failed); a release never is. An on or off still waiting for the
    // same relay is overtaken by the next one.
    //
    // Relays switched in relay order, each command written as an "On", "Off" or "Bistable"
    // button's click is; every number is checked before anything is queued.
    RemoteResult setRelays(const std::map<int, RelayAction> &actions);
    // "Tout éteindre".
    RemoteResult allOff();

    // Relay `relay` on at once and off `seconds` later (MinPulseSeconds to MaxPulseSeconds);
    // a new pulse of the relay replaces its "off". The "off" is kept in the folder's memory
    // (ScheduleMemory) until it is written: a host that ended before it is replaced by the
    // next one, which sends it at once if its time has passed (resumePulses).
    static constexpr double MinPulseSeconds = 0.1;
    static constexpr double MaxPulseSeconds = 86400;
    RemoteResult pulse(int relay, double seconds);
    // The host, once its port is set: the "off"s of pulses under way are sent when due.
    void resumePulses();

    // A button as the mouse drives it on the panel. `holder` stands for whoever holds a
    // button down (a web page, a connection): press() and release() pair up per holder and
    // button, and releaseAll() lets go of everything one holder still holds, as when that
    // page goes away. click() is a whole click: press, click, release, as the mouse gives it,
    // but an "Imp" button pulses its relay as its keyboard shortcut does (on, 200 ms, off),
    // long enough for a gate or a garage door.
    RemoteResult press(int button, const void *holder);
    RemoteResult release(int button, const void *holder);
    RemoteResult click(int button);
    void releaseAll(const void *holder);

    // Sequences and alarms belong to the host, which plugs in how it plays and lists them.
    // Without a player, play and stop answer Failed; without a schedule, the list is empty.
    using Player = std::function<RemoteResult(const QString &activity)>;
    using Stopper = std::function<RemoteResult()>;
    using ScheduleSource = std::function<std::vector<RemoteScheduleRow>()>;
    // Opens the host's port when an action finds it closed (the service, whose port may have
    // failed since); why it cannot. Without one, a closed port raises as on the panel.
    using PortOpener = std::function<std::optional<QString>()>;
    void setPortOpener(PortOpener opener);
    void setSequencePlayer(Player play, Stopper stop);
    void setScheduleSource(ScheduleSource source);
    // "Default" or "Jardin.ini": the activity's sequence, played from its start.
    RemoteResult playSequence(const QString &activity);
    RemoteResult stopSequence();
    std::vector<RemoteScheduleRow> schedule() const;

    // The host tells of an alarm fired on button `button` by row `row`.
    void notifyFired(int row, int button) { emit fired(row, button); }

signals:
    void panelChanged();
    void fired(int row, int button);
    // A queued action failed on the wire (or its infrared code was not sent): why.
    void sendFailed(const QString &why);

private:
    // Queues one action. An action that writes to the serial line first has the port opened
    // by the host's opener when it is closed; without an opener, a closed port is Failed.
    // The action's sequences, `sequences` of them, are refused whole when they would not fit.
    template<typename Write>
    RemoteResult guarded(Write write, bool serial = true, int sequences = 1);
    static RemoteResult refusedBusy();
    QString lostPort() const;
    bool queue(SendingSequence sequence);
    SendDone reporter();
    std::optional<RemoteResult> checkButton(int button) const;
    ScheduleMemory &memory();
    // Keeps relay `relay`'s "off" in the memory and writes it when due.
    void keepPulseOff(int relay, qint64 dueMs);
    // Writes relay `relay`'s "off" when it is due, again each second until it is written.
    void schedulePulseOff(int relay, qint64 dueMs);
    void pulseOff(int relay, qint64 dueMs);

    Host host_;
    TCustomComPort &port_;
    RelayStates &states_;
    PanelConfig panel_;
    PanelButtons buttons_{ButtonEntry{}};
    QSet<QPair<const void *, int>> held_;
    Player play_;
    Stopper stop_;
    ScheduleSource schedule_;
    PortOpener opener_;
    std::unique_ptr<ScheduleMemory> memory_;
    std::map<int, std::unique_ptr<QTimer>> pulseTimers_;
};

} // namespace zelvar
