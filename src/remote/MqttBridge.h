#pragma once

#include "remote/MqttTopics.h"
#include "remote/RefusalLog.h"
#include "remote/RelayStates.h"
#include "remote/RemoteSettings.h"

#include <QObject>
#include <QSet>
#include <QString>

#include <memory>

namespace zelvar {

class MqttLink;
class RemoteControl;

// The board on an MQTT broker, for home automation: each relay is a switch that takes
// ON, OFF and TOGGLE on zelvar/<node>/relay/<n>/set and tells its state, retained, on
// .../state; each panel button with a caption is a button pressed by PRESS on
// zelvar/<node>/button/<k>/press; zelvar/<node>/availability says online, or offline
// (also the broker's last will, and while the host's port is lost: nothing reaches the board). Home Assistant finds them all by its discovery messages.
// Everything acts through the RemoteControl, on the host's thread; the broker is reached
// from a thread of its own, so a broker down or slow never holds up the host.
class MqttBridge : public QObject
{
    Q_OBJECT

public:
    explicit MqttBridge(RemoteControl &control, QObject *parent = nullptr);
    ~MqttBridge() override;                   // publishes "offline" when connected
    // The host decides whether settings.enabled applies: start() always connects.
    void start(const MqttSettings &settings); // connects in the background; never blocks
    void stop();
    enum class Status { Off, Connecting, Connected, Retrying };
    Status status() const;
    QString statusText() const;               // French, for the settings page

signals:
    void statusChanged();
    // What happened, for the host's journal: connections and refused messages, one line each.
    void logLine(const QString &line);

private:
    void setStatus(Status status, const QString &detail = {});
    void onConnected();
    void onDisconnected(const QString &reason, int retryInSeconds);
    void onMessage(const QByteArray &topic, const QByteArray &payload, bool retained, bool cut);
    void onRelay(int relay, RelayStates::State state);
    void publishAvailability();
    void publishState(int relay, RelayStates::State state);
    // Clears what this node left retained, when it takes another name.
    void forgetNode();
    // The discovery messages of the buttons with a caption; those of buttons gone are cleared.
    void publishButtons();
    QSet<int> captionedButtons() const;
    void refuse(const QByteArray &topic, const QString &why);

    RemoteControl &control_;
    RefusalLog refusals_;
    RefusalLog linkLines_; // connected, lost: bounded like the refusals
    std::unique_ptr<MqttLink> link_;
    MqttTopics topics_{QString()};
    QString server_; // host:port, for the texts
    Status status_ = Status::Off;
    QString detail_;         // why it is off or retrying
    int retryIn_ = 0;        // seconds before the next try, while retrying
    QSet<int> announced_;    // the buttons whose discovery messages are on the broker
};

} // namespace zelvar
