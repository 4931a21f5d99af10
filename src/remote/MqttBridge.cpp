#include "remote/MqttBridge.h"

#include "devices/ComPort.h"
#include "remote/MqttLink.h"
#include "remote/RemoteControl.h"
#include "devices/Infrared.h"
#include "sequencer/Activities.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>


namespace zelvar {

namespace {

constexpr int RefusalLinesPerMinute = 30;
// A client that keeps taking our client id over must not fill the journal either.
constexpr int LinkLinesPerMinute = 10;

// A payload or a topic as a log line may show it: short, one line, printable.
QString shown(const QByteArray &payload, qsizetype limit = 32)
{
    QString text = QString::fromUtf8(payload.left(limit));
    for (QChar &c : text)
        if (!c.isPrint())
            c = u'?';
    return payload.size() > limit ? text + QStringLiteral("…") : text;
}

} // namespace

MqttBridge::MqttBridge(RemoteControl &control, QObject *parent)
    : QObject(parent)
    , control_(control)
    , refusals_(RefusalLinesPerMinute)
    , linkLines_(LinkLinesPerMinute, QStringLiteral("%1 lignes de connexion de plus dans la minute, non journalisées"))
    , claimWait_(new QTimer(this))
    , deviceSoon_(new QTimer(this))
{
    claimWait_->setSingleShot(true);
    claimWait_->setInterval(ClaimWaitMs);
    connect(claimWait_, &QTimer::timeout, this, &MqttBridge::goOnline);
    deviceSoon_->setSingleShot(true);
    connect(deviceSoon_, &QTimer::timeout, this, &MqttBridge::publishDevice);
    connect(&refusals_, &RefusalLog::logLine, this, &MqttBridge::logLine);
    connect(&linkLines_, &RefusalLog::logLine, this, &MqttBridge::logLine);
    connect(&control_.relays(), &RelayStates::changed, this, &MqttBridge::onRelay);
    connect(&control_, &RemoteControl::panelChanged, this, &MqttBridge::publishDeviceSoon);
    connect(&control_, &RemoteControl::fired, this, [this](int row, int button) {
        if (online_)
            publish(topics_.alarmEvent(),
                    QJsonDocument(QJsonObject{{"event_type", "fired"}, {"row", row}, {"button", button}})
                        .toJson(QJsonDocument::Compact),
                    false);
    });
    connect(&control_.port(), &TCustomComPort::lost, this, &MqttBridge::publishAvailability);
    connect(&control_.port(), &TCustomComPort::found, this, &MqttBridge::publishAvailability);
}

MqttBridge::~MqttBridge()
{
    if (link_)
        link_->stop(online_ ? topics_.availability() : QByteArray(), "offline");
}

void MqttBridge::start(const MqttSettings &settings)
{
    const QString cleaned = cleanNodeName(settings.node);
    const QString node = cleaned.isEmpty() ? defaultNodeName() : cleaned;
    if (online_ && node != topics_.node())
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
    claimToken_ = QByteArray::number(QRandomGenerator::global()->generate64(), 16);
    // Its own id, so that a second bridge of the node never pushes the first off the broker:
    // the claim tells them apart.
    options.clientId = "zelvar_" + topics_.node().toUtf8() + '_' + claimToken_;
    options.willTopic = topics_.availability();
    options.willPayload = "offline";

    link_ = std::make_unique<MqttLink>();
    connect(link_.get(), &MqttLink::connecting, this, [this] { setStatus(Status::Connecting); });
    connect(link_.get(), &MqttLink::connected, this, &MqttBridge::onConnected);
    connect(link_.get(), &MqttLink::disconnected, this, &MqttBridge::onDisconnected);
    connect(link_.get(), &MqttLink::message, this, &MqttBridge::onMessage);
    connect(link_.get(), &MqttLink::refused, this, &MqttBridge::onPublishRefused);
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
    claimWait_->stop();
    deviceSoon_->stop();
    if (!link_)
        return;
    // Forgotten or never ours: the node's availability is left as it is.
    link_->stop(online_ ? topics_.availability() : QByteArray(), "offline");
    link_.reset();
    online_ = false;
    announced_.clear();
    gone_.clear();
    migrating_.clear();
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
        return QStringLiteral("Connecté à %1, nœud « %2 »").arg(server_, topics_.node())
            + (publishRefused_.isEmpty() ? QString() : QStringLiteral(" ; le broker refuse des publications (%1)").arg(publishRefused_));
    case Status::Retrying:
        return QStringLiteral("Pas de connexion à %1 (%2), nouvel essai dans %3 s").arg(server_, detail_).arg(retryIn_);
    }
    return {};
}

void MqttBridge::setConfigurationUrl(const QString &url)
{
    if (std::exchange(configurationUrl_, url) != url)
        publishDeviceSoon();
}

void MqttBridge::setStatus(Status status, const QString &detail)
{
    if (status == status_ && detail == detail_)
        return;
    status_ = status;
    detail_ = detail;
    emit statusChanged();
}

void MqttBridge::publish(const QByteArray &topic, const QByteArray &payload, bool retain, int qos)
{
    link_->publish(topic, payload, retain, qos);
}

// Connected, the bridge first asks whether the node is taken; it is online once no live
// bridge of that name answered.
void MqttBridge::onConnected()
{
    retryIn_ = 0;
    online_ = false;
    publishRefused_.clear();
    link_->subscribe(topics_.claim());
    publish(topics_.claim(), "probe " + claimToken_, false);
    claimWait_->start();
}

void MqttBridge::goOnline()
{
    online_ = true;
    setStatus(Status::Connected);
    linkLines_.refused(QStringLiteral("connecté à %1, nœud « %2 »").arg(server_, topics_.node()));
    link_->subscribe(topics_.relaySetFilter());
    link_->subscribe(topics_.relayPulseFilter());
    link_->subscribe(topics_.buttonPressFilter());
    link_->subscribe(topics_.activitySet());
    link_->subscribe(topics_.activityStop());
    // The retained discovery messages of an earlier run come back here: entities gone since
    // are removed, and the messages of one entity each of older versions cleared.
    link_->subscribe(topics_.deviceConfig());
    link_->subscribe(topics_.legacyConfigFilter("switch"));
    link_->subscribe(topics_.legacyConfigFilter("button"));
    announced_.clear();
    publishDevice();
    for (int relay = 1; relay <= RelayCount; ++relay)
        if (const RelayStates::State state = control_.relays().state(relay); state != RelayStates::State::Unknown)
            publishState(relay, state, 1);
    publishAvailability();
}

void MqttBridge::onClaim(const QByteArray &payload)
{
    const QList<QByteArray> words = payload.split(' ');
    if (words.size() != 2 || words[1] == claimToken_)
        return;
    if (online_) {
        if (words[0] == "probe")
            publish(topics_.claim(), "here " + claimToken_, false);
        return;
    }
    if (!claimWait_->isActive())
        return;
    // Two bridges asking at once: the smaller token keeps the node. The other may have asked
    // before this one listened, so this one asks again for it to hear.
    if (words[0] == "here" || (words[0] == "probe" && words[1] < claimToken_))
        leaveTakenNode();
    else if (words[0] == "probe")
        publish(topics_.claim(), "probe " + claimToken_, false);
}

void MqttBridge::leaveTakenNode()
{
    claimWait_->stop();
    const QString why = QStringLiteral("le nœud « %1 » est déjà en ligne depuis un autre client ; changez de nom de nœud")
                            .arg(topics_.node());
    // A clean disconnect, without "offline": the availability belongs to the other bridge.
    link_->stop();
    link_.reset();
    emit logLine(why);
    setStatus(Status::Off, why);
    emit nodeTaken();
}

void MqttBridge::publishAvailability()
{
    if (!online_)
        return;
    const QByteArray state = control_.portLost() ? "offline" : "online";
    publish(topics_.portAvailability(), state);
    publish(topics_.availability(), state);
}

void MqttBridge::onDisconnected(const QString &reason, int retryInSeconds)
{
    claimWait_->stop();
    online_ = false;
    retryIn_ = retryInSeconds;
    linkLines_.refused(QStringLiteral("pas de connexion à %1 (%2), nouvel essai dans %3 s").arg(server_, reason).arg(retryInSeconds));
    setStatus(Status::Retrying, reason);
}

void MqttBridge::onPublishRefused(const QByteArray &topic, const QString &why)
{
    publishRefused_ = QStringLiteral("%1 : %2").arg(QString::fromUtf8(topic), why);
    refusals_.refused(QStringLiteral("publication refusée par le broker, ") + publishRefused_);
    emit statusChanged();
}

void MqttBridge::forgetNode()
{
    // Home Assistant would otherwise keep a device under the old name that nothing answers.
    // At QoS 0: these go out before the disconnection, never held back behind publications
    // the broker has not acknowledged yet.
    QList<QByteArray> topics{topics_.deviceConfig(), topics_.availability(), topics_.portAvailability()};
    for (int relay = 1; relay <= RelayCount; ++relay)
        topics << topics_.relayState(relay);
    for (const QByteArray &topic : std::as_const(topics))
        link_->publish(topic, {}, true);
    online_ = false;
}

void MqttBridge::onRelay(int relay, RelayStates::State state)
{
    // At most once: an acknowledgement from a broker that delays its small packets (no
    // TCP_NODELAY) would hold back the next command by some 35 ms. Those told at each
    // connection are acknowledged, so a broker that refuses them is heard of.
    if (online_)
        publishState(relay, state, 0);
}

void MqttBridge::publishState(int relay, RelayStates::State state, int qos)
{
    // "None" is Home Assistant's unknown state: a relay no longer known (another board on the
    // port) shows no stale state.
    const QByteArray payload = state == RelayStates::State::On ? "ON" : state == RelayStates::State::Off ? "OFF" : "None";
    publish(topics_.relayState(relay), payload, true, qos);
}

// Buttons with a caption that send something: "Null" and "Macros" send nothing, nor does
// infrared without a transmitter.
std::vector<MqttTopics::Button> MqttBridge::announcedButtons() const
{
    std::vector<MqttTopics::Button> buttons;
    for (const ButtonConfig &button : control_.panel().buttons) {
        const bool sends = isRelayMode(button.mode) || (button.mode == UsbUirt && infraredBackend() != InfraredBackend::None);
        if (sends && !button.caption.trimmed().isEmpty() && isButtonId(button.id))
            buttons.push_back({button.id, button.caption.trimmed()});
    }
    return buttons;
}

void MqttBridge::publishDeviceSoon()
{
    if (online_)
        deviceSoon_->start(0);
}

void MqttBridge::publishDevice()
{
    if (!online_)
        return;
    MqttTopics::Device device;
    device.configurationUrl = configurationUrl_;
    device.buttons = announcedButtons();
    device.activities = Activities::DetectIni();
    const QByteArray discovery = topics_.deviceDiscovery(device);
    std::map<QString, QString> now = MqttTopics::entitiesIn(discovery);
    for (const auto &[key, platform] : announced_)
        if (!now.contains(key))
            gone_[key] = platform;
    for (const auto &[key, platform] : now)
        gone_.erase(key);
    if (!gone_.empty()) {
        device.gone = std::exchange(gone_, {});
        publish(topics_.deviceConfig(), topics_.deviceDiscovery(device));
    } else {
        publish(topics_.deviceConfig(), discovery);
    }
    announced_ = std::move(now);
    for (const QByteArray &topic : std::exchange(migrating_, {}))
        publish(topic, {});
}

int MqttBridge::buttonNamed(const MqttTopics::Incoming &in) const
{
    const std::vector<ButtonConfig> &buttons = control_.panel().buttons;
    for (size_t i = 0; i < buttons.size(); ++i)
        if (buttons[i].id == in.name)
            return int(i) + 1;
    return in.number; // its place, as topics named buttons before they had ids
}

void MqttBridge::refuse(const QByteArray &topic, const QString &why)
{
    refusals_.refused(QStringLiteral("%1 : %2").arg(shown(topic, 120), why));
}

void MqttBridge::onMessage(const QByteArray &topic, const QByteArray &payload, bool retained, bool cut)
{
    using Kind = MqttTopics::Incoming::Kind;
    const MqttTopics::Incoming in = topics_.parse(topic);
    switch (in.kind) {
    case Kind::Claim:
        return onClaim(payload);
    case Kind::LegacyConfig:
        // Home Assistant's way from one message per entity to one per device, keeping the
        // entities: the old message marked for migration, the device's again, the old one cleared.
        if (retained && !payload.isEmpty() && online_ && !migrating_.contains(topic)) {
            publish(topic, R"({"migrate_discovery":true})");
            migrating_.append(topic);
            publishDeviceSoon();
        }
        return;
    case Kind::DeviceConfig:
        // Entities of an earlier run that this one does not announce are removed.
        if (retained && online_) {
            bool stale = false;
            for (const auto &[key, platform] : MqttTopics::entitiesIn(payload))
                if (!announced_.contains(key) && !platform.isEmpty())
                    stale = gone_.emplace(key, platform).second || stale;
            if (stale)
                publishDeviceSoon();
        }
        return;
    case Kind::Unknown:
        return refuse(topic, QStringLiteral("sujet inconnu, message ignoré"));
    default:
        break;
    }
    // A command left retained on the broker would be played again at every connection.
    if (retained)
        return refuse(topic, QStringLiteral("commande retenue par le broker, ignorée"));
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
    } else if (in.kind == Kind::ActivitySet) {
        if (cut || payload.trimmed().isEmpty())
            return refuse(topic, QStringLiteral("« %1 » ignoré, nom d'activité attendu").arg(shown(payload)));
        result = control_.playSequence(QString::fromUtf8(payload.trimmed()));
    } else {
        if (cut || word != "PRESS")
            return refuse(topic, QStringLiteral("« %1 » ignoré, PRESS attendu").arg(shown(payload)));
        if (in.kind == Kind::ActivityStop)
            result = control_.stopSequence();
        else if (const int button = buttonNamed(in); button > 0)
            result = control_.click(button);
        else
            result = RemoteResult::notFound(QStringLiteral("bouton inconnu : %1").arg(in.name));
    }
    if (!result.ok())
        refuse(topic, result.error);
}

} // namespace zelvar
