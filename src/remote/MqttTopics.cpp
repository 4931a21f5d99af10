#include "remote/MqttTopics.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>

namespace zelvar {

namespace {

// A plain decimal of a few digits; 0 for anything else, which no relay or button is.
int numberIn(QByteArrayView text)
{
    if (text.isEmpty() || text.size() > 4)
        return 0;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return 0;
        value = value * 10 + (c - '0');
    }
    return value;
}

} // namespace

MqttTopics::MqttTopics(const QString &node) : node_(node) {}

QByteArray MqttTopics::base() const
{
    return "zelvar/" + node_.toUtf8();
}

QByteArray MqttTopics::discoveryBase(const char *component) const
{
    return QByteArray("homeassistant/") + component + '/' + node_.toUtf8();
}

QByteArray MqttTopics::availability() const
{
    return base() + "/availability";
}

QByteArray MqttTopics::relaySet(int relay) const
{
    return base() + "/relay/" + QByteArray::number(relay) + "/set";
}

QByteArray MqttTopics::relayState(int relay) const
{
    return base() + "/relay/" + QByteArray::number(relay) + "/state";
}

QByteArray MqttTopics::buttonPress(int button) const
{
    return base() + "/button/" + QByteArray::number(button) + "/press";
}

QByteArray MqttTopics::switchConfig(int relay) const
{
    return discoveryBase("switch") + "/relay" + QByteArray::number(relay) + "/config";
}

QByteArray MqttTopics::buttonConfig(int button) const
{
    return discoveryBase("button") + "/button" + QByteArray::number(button) + "/config";
}

QByteArray MqttTopics::relaySetFilter() const
{
    return base() + "/relay/+/set";
}

QByteArray MqttTopics::relayPulseFilter() const
{
    return base() + "/relay/+/pulse";
}

QByteArray MqttTopics::buttonPressFilter() const
{
    return base() + "/button/+/press";
}

QByteArray MqttTopics::buttonConfigFilter() const
{
    return discoveryBase("button") + "/+/config";
}

namespace {

QJsonObject entity(const MqttTopics &topics, const QString &name, const QString &what, int number)
{
    const QString id = QStringLiteral("zelvar_%1_%2%3").arg(topics.node(), what).arg(number);
    const QJsonObject device{
        {QStringLiteral("identifiers"), QJsonArray{QStringLiteral("zelvar_") + topics.node()}},
        {QStringLiteral("name"), QStringLiteral("Zelvar ") + topics.node()},
        {QStringLiteral("model"), QStringLiteral("Carte 16 relais")},
        {QStringLiteral("manufacturer"), QStringLiteral("Zelvar")},
        {QStringLiteral("sw_version"), QStringLiteral(ZELVAR_VERSION)},
    };
    return {
        {QStringLiteral("name"), name},
        {QStringLiteral("unique_id"), id},
        {QStringLiteral("availability_topic"), QString::fromUtf8(topics.availability())},
        {QStringLiteral("payload_available"), QStringLiteral("online")},
        {QStringLiteral("payload_not_available"), QStringLiteral("offline")},
        {QStringLiteral("device"), device},
    };
}

} // namespace

QByteArray MqttTopics::switchDiscovery(int relay) const
{
    QJsonObject config = entity(*this, QStringLiteral("Relais %1").arg(relay), QStringLiteral("relay"), relay);
    config.insert(QStringLiteral("command_topic"), QString::fromUtf8(relaySet(relay)));
    config.insert(QStringLiteral("state_topic"), QString::fromUtf8(relayState(relay)));
    config.insert(QStringLiteral("payload_on"), QStringLiteral("ON"));
    config.insert(QStringLiteral("payload_off"), QStringLiteral("OFF"));
    return QJsonDocument(config).toJson(QJsonDocument::Compact);
}

QByteArray MqttTopics::buttonDiscovery(int button, const QString &caption) const
{
    QJsonObject config = entity(*this, caption, QStringLiteral("button"), button);
    config.insert(QStringLiteral("command_topic"), QString::fromUtf8(buttonPress(button)));
    config.insert(QStringLiteral("payload_press"), QStringLiteral("PRESS"));
    return QJsonDocument(config).toJson(QJsonDocument::Compact);
}

MqttTopics::Incoming MqttTopics::parse(const QByteArray &topic) const
{
    const QList<QByteArray> parts = topic.split('/');
    const QByteArray node = node_.toUtf8();
    Incoming in;
    if (parts.size() == 5 && parts[0] == "zelvar" && parts[1] == node) {
        if (parts[2] == "relay" && parts[4] == "set")
            in = {Incoming::Kind::RelaySet, numberIn(parts[3])};
        else if (parts[2] == "relay" && parts[4] == "pulse")
            in = {Incoming::Kind::RelayPulse, numberIn(parts[3])};
        else if (parts[2] == "button" && parts[4] == "press")
            in = {Incoming::Kind::ButtonPress, numberIn(parts[3])};
    } else if (parts.size() == 5 && parts[0] == "homeassistant" && parts[1] == "button" && parts[2] == node
               && parts[3].startsWith("button") && parts[4] == "config") {
        in = {Incoming::Kind::ButtonConfig, numberIn(QByteArrayView(parts[3]).sliced(6))};
    }
    if (in.number < 1)
        return {};
    return in;
}

} // namespace zelvar
