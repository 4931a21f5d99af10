#include "remote/MqttBridge.h"

#include "devices/ComPort.h"
#include "remote/MqttLink.h"
#include "remote/RemoteControl.h"

#include <unistd.h>

namespace zelvar {

namespace {

constexpr int RefusalLinesPerMinute = 30;

// A payload as a log line may show it: short, one line, printable.
QString shown(const QByteArray &payload)
{
    QString text = QString::fromUtf8(payload.left(32));
    for (QChar &c : text)
        if (!c.isPrint())
            c = u'?';
    return payload.size() > 32 ? text + QStringLiteral("…") : text;
}

} // namespace

MqttBridge::MqttBridge(RemoteControl &control, QObject *parent)
    : QObject(parent), control_(control), refusals_(RefusalLinesPerMinute)
{
    connect(&refusals_, &RefusalLog::logLine, this, &MqttBridge::logLine);
    connect(&control_.relays(), &RelayStates::changed, this, &MqttBridge::onRelay);
    connect(&control_, &RemoteControl::panelChanged, this, [this] {
        if (status_ == Status::Connected)
            publishButtons();
    });
    connect(&control_.port(), &TCustomComPort::lost, this, &MqttBridge::publishAvailability);
    connect(&control_.port(), &TCustomComPort::found, this, &MqttBridge::publishAvailability);
}

MqttBridge::~MqttBridge()
{
    if (link_)
        link_->stop(topics_.availability(), "offline");
}

void MqttBridge::start(const MqttSettings &settings)
{
    const QString cleaned = cleanNodeName(settings.node);
    const QString node = cleaned.isEmpty() ? defaultNodeName() : cleaned;
    if (status_ == Status::Connected && node != topics_.node())
        forgetNode();
    stop();
    topics_ = MqttTopics(node);
    server_ = QStringLiteral("%1:%2").arg(settings.host.trimmed()).arg(settings.port);

    MqttLink::Options options;
    options.host = settings.host;
    options.port = settings.port;
    options.user = settings.user;
    options.password = settings.password;
    options.caFile = settings.caFile;
    // The process in the id keeps two hosts of one node from pushing each other off the broker.
    options.clientId = "zelvar_" + topics_.node().toUtf8() + '_' + QByteArray::number(::getpid());
    options.willTopic = topics_.availability();
    options.willPayload = "offline";

    link_ = std::make_unique<MqttLink>();
    connect(link_.get(), &MqttLink::connecting, this, [this] { setStatus(Status::Connecting); });
    connect(link_.get(), &MqttLink::connected, this, &MqttBridge::onConnected);
    connect(link_.get(), &MqttLink::disconnected, this, &MqttBridge::onDisconnected);
    connect(link_.get(), &MqttLink::message, this, &MqttBridge::onMessage);
    QString error;
    if (!link_->start(options, &error)) {
        link_.reset();
        emit logLine(error);
        setStatus(Status::Off, error);
        return;
    }
    setStatus(Status::Connecting);
}

void MqttBridge::stop()
{
    if (!link_)
        return;
    link_->stop(topics_.availability(), "offline");
    link_.reset();
    announced_.clear();
    emit logLine(QStringLiteral("arrêté"));
    setStatus(Status::Off);
}

MqttBridge::Status MqttBridge::status() const
{
    return status_;
}

QString MqttBridge::statusText() const
{
    switch (status_) {
    case Status::Off:
        return detail_.isEmpty() ? QStringLiteral("Arrêté") : QStringLiteral("Arrêté : ") + detail_;
    case Status::Connecting:
        return QStringLiteral("Connexion à %1…").arg(server_);
    case Status::Connected:
        return QStringLiteral("Connecté à %1, nœud « %2 »").arg(server_, topics_.node());
    case Status::Retrying:
        return QStringLiteral("Pas de connexion à %1 (%2), nouvel essai dans %3 s").arg(server_, detail_).arg(retryIn_);
    }
    return {};
}

void MqttBridge::setStatus(Status status, const QString &detail)
{
    if (status == status_ && detail == detail_)
        return;
    status_ = status;
    detail_ = detail;
    emit statusChanged();
}

void MqttBridge::onConnected()
{
    retryIn_ = 0;
    setStatus(Status::Connected);
    emit logLine(QStringLiteral("connecté à %1, nœud « %2 »").arg(server_, topics_.node()));
    link_->subscribe(topics_.relaySetFilter());
    link_->subscribe(topics_.relayPulseFilter());
    link_->subscribe(topics_.buttonPressFilter());
    // The retained button messages of an earlier run come back here; those of buttons no
    // longer on the panel are cleared.
    link_->subscribe(topics_.buttonConfigFilter());
    for (int relay = 1; relay <= RelayCount; ++relay)
        link_->publish(topics_.switchConfig(relay), topics_.switchDiscovery(relay), true);
    announced_.clear();
    publishButtons();
    for (int relay = 1; relay <= RelayCount; ++relay)
        if (const RelayStates::State state = control_.relays().state(relay); state != RelayStates::State::Unknown)
            publishState(relay, state);
    publishAvailability();
}

void MqttBridge::publishAvailability()
{
    if (status_ == Status::Connected)
        link_->publish(topics_.availability(), control_.portLost() ? "offline" : "online", true);
}

void MqttBridge::onDisconnected(const QString &reason, int retryInSeconds)
{
    retryIn_ = retryInSeconds;
    emit logLine(QStringLiteral("pas de connexion à %1 (%2), nouvel essai dans %3 s")
                     .arg(server_, reason)
                     .arg(retryInSeconds));
    setStatus(Status::Retrying, reason);
}

void MqttBridge::forgetNode()
{
    // Home Assistant would otherwise keep a device under the old name that nothing answers.
    for (int relay = 1; relay <= RelayCount; ++relay) {
        link_->publish(topics_.switchConfig(relay), {}, true);
        link_->publish(topics_.relayState(relay), {}, true);
    }
    for (int button : std::as_const(announced_))
        link_->publish(topics_.buttonConfig(button), {}, true);
}

void MqttBridge::onRelay(int relay, RelayStates::State state)
{
    if (status_ == Status::Connected)
        publishState(relay, state);
}

void MqttBridge::publishState(int relay, RelayStates::State state)
{
    // A relay that became unknown (another board on the port) keeps no stale state retained.
    const QByteArray payload = state == RelayStates::State::On ? "ON" : state == RelayStates::State::Off ? "OFF" : "";
    link_->publish(topics_.relayState(relay), payload, true);
}

QSet<int> MqttBridge::captionedButtons() const
{
    QSet<int> buttons;
    const std::vector<ButtonConfig> &configs = control_.panel().buttons;
    for (size_t i = 0; i < configs.size(); ++i)
        if (!configs[i].caption.trimmed().isEmpty())
            buttons.insert(int(i) + 1);
    return buttons;
}

void MqttBridge::publishButtons()
{
    const QSet<int> now = captionedButtons();
    for (int button : std::as_const(announced_))
        if (!now.contains(button))
            link_->publish(topics_.buttonConfig(button), {}, true);
    const std::vector<ButtonConfig> &configs = control_.panel().buttons;
    for (int button : now)
        link_->publish(topics_.buttonConfig(button),
                       topics_.buttonDiscovery(button, configs[size_t(button - 1)].caption.trimmed()), true);
    announced_ = now;
}

void MqttBridge::refuse(const QByteArray &topic, const QString &why)
{
    refusals_.refused(QStringLiteral("%1 : %2").arg(QString::fromUtf8(topic), why));
}

void MqttBridge::onMessage(const QByteArray &topic, const QByteArray &payload, bool retained, bool cut)
{
    using Kind = MqttTopics::Incoming::Kind;
    const MqttTopics::Incoming in = topics_.parse(topic);
    if (in.kind == Kind::ButtonConfig) {
        if (!payload.isEmpty() && !announced_.contains(in.number) && status_ == Status::Connected)
            link_->publish(topic, {}, true);
        return;
    }
    if (in.kind == Kind::Unknown) {
        refuse(topic, QStringLiteral("sujet inconnu, message ignoré"));
        return;
    }
    // A command left retained on the broker would be played again at every connection.
    if (retained) {
        refuse(topic, QStringLiteral("commande retenue par le broker, ignorée"));
        return;
    }
    const QByteArray word = payload.trimmed().toUpper();
    RemoteResult result;
    if (in.kind == Kind::RelaySet) {
        const std::optional<RelayAction> action = cut ? std::nullopt : relayActionNamed(word);
        if (!action)
            return refuse(topic, QStringLiteral("« %1 » ignoré, ON, OFF ou TOGGLE attendu").arg(shown(payload)));
        result = control_.setRelays({{in.number, *action}});
    } else if (in.kind == Kind::RelayPulse) {
        // Decimal seconds with a dot, as Home Assistant's templates write them.
        bool number = false;
        const double seconds = cut ? 0 : payload.trimmed().toDouble(&number);
        if (!number || !(seconds >= RemoteControl::MinPulseSeconds && seconds <= RemoteControl::MaxPulseSeconds))
            return refuse(topic, QStringLiteral("« %1 » ignoré, une durée de %2 à %3 secondes attendue")
                                     .arg(shown(payload))
                                     .arg(RemoteControl::MinPulseSeconds)
                                     .arg(RemoteControl::MaxPulseSeconds, 0, 'f', 0));
        result = control_.pulse(in.number, seconds);
    } else {
        if (cut || word != "PRESS")
            return refuse(topic, QStringLiteral("« %1 » ignoré, PRESS attendu").arg(shown(payload)));
        result = control_.click(in.number);
    }
    if (!result.ok())
        refuse(topic, result.error);
}

} // namespace zelvar
