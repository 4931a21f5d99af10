#pragma once

#include "remote/MqttTopics.h"
#include "remote/RefusalLog.h"
#include "remote/RelayStates.h"
#include "remote/RemoteSettings.h"

#include <QObject>
#include <QSet>
#include <QTimer>
#include <QString>

#include <map>
#include <memory>
#include <vector>

namespace zelvar {

class MqttLink;
class RemoteControl;

// The board on an MQTT broker, for home automation: each relay is a switch that takes
// ON, OFF and TOGGLE on zelvar/<node>/relay/<n>/set and tells its state, retained, on
// .../state (None when unknown); each panel button that sends something is pressed by PRESS
// on zelvar/<node>/button/<id>/press; an activity is played by its name on .../activity/set
// and stopped by .../activity/stop; fired alarms are told on .../alarm/event.
// zelvar/<node>/availability says online, or offline (the broker's last will, and while the
// port is lost); zelvar/<node>/port says offline while the port is lost. Home Assistant
// finds them all in one discovery message.
//
// A node name is one board: a bridge first asks on zelvar/<node>/claim whether a bridge of
// that name is online, and stays off the broker when one answers. Only live bridges answer,
// so an "online" left retained by one that died is no obstacle.
//
// Everything acts through the RemoteControl, on the host's thread; the broker is reached
// from a thread of its own, so a broker down or slow never holds up the host.
class MqttBridge : public QObject
{
    Q_OBJECT

public:
    explicit MqttBridge(RemoteControl &control, QObject *parent = nullptr);
    ~MqttBridge() override;                   // publishes "offline" when connected
    // The host decides whether settings.enabled applies: start() always connects. A bridge
    // connected under another node name clears its old device first.
    void start(const MqttSettings &settings); // connects in the background; never blocks
    void stop();
    enum class Status { Off, Connecting, Connected, Retrying };
    Status status() const;
    QString statusText() const;               // French, for the settings page
    // The web remote's address, shown by Home Assistant on the device; empty when it does not serve.
    void setConfigurationUrl(const QString &url);

    // How long a bridge waits for an answer to its claim before it takes the node.
    static constexpr int ClaimWaitMs = 600;

signals:
    void statusChanged();
    // What happened, for the host's journal: connections and refused messages, one line each.
    void logLine(const QString &line);
    // Another client holds the node: the bridge left the broker.
    void nodeTaken();

private:
    void setStatus(Status status, const QString &detail = {});
    void onConnected();
    void goOnline();
    void onClaim(const QByteArray &payload);
    void leaveTakenNode();
    void onDisconnected(const QString &reason, int retryInSeconds);
    void onMessage(const QByteArray &topic, const QByteArray &payload, bool retained, bool cut);
    void onPublishRefused(const QByteArray &topic, const QString &why);
    void onRelay(int relay, RelayStates::State state);
    // At QoS 1 unless told otherwise: the broker's refusals are heard of.
    void publish(const QByteArray &topic, const QByteArray &payload, bool retain = true, int qos = 1);
    void publishAvailability();
    void publishState(int relay, RelayStates::State state, int qos);
    // Clears what this node left retained, when it takes another name.
    void forgetNode();
    // The discovery message, in a moment: what asks for it often comes in a burst.
    void publishDeviceSoon();
    void publishDevice();
    std::vector<MqttTopics::Button> announcedButtons() const;
    int buttonNamed(const MqttTopics::Incoming &in) const;
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
    QByteArray claimToken_;  // this bridge's, in its claim and its answers
    bool online_ = false;    // the claim held: the node is this bridge's
    QTimer *claimWait_;
    QTimer *deviceSoon_;
    QString configurationUrl_;
    QString publishRefused_; // the broker's last refusal on this connection
    // The entities of the discovery message on the broker, with their platform.
    std::map<QString, QString> announced_;
    std::map<QString, QString> gone_; // announced before, to be removed at the next message
    QList<QByteArray> migrating_;     // messages of one entity each, cleared after the next device message
};

} // namespace zelvar
