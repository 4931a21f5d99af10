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

QByteArray MqttTopics::availability() const
{
    return base() + "/availability";
}

QByteArray MqttTopics::portAvailability() const
{
    return base() + "/port";
}

QByteArray MqttTopics::relaySet(int relay) const
{
    return base() + "/relay/" + QByteArray::number(relay) + "/set";
}

QByteArray MqttTopics::relayState(int relay) const
{
    return base() + "/relay/" + QByteArray::number(relay) + "/state";
}

QByteArray MqttTopics::buttonPress(const QString &id) const
{
    return base() + "/button/" + id.toUtf8() + "/press";
}

QByteArray MqttTopics::activitySet() const
{
    return base() + "/activity/set";
}

QByteArray MqttTopics::activityStop() const
{
    return base() + "/activity/stop";
}

QByteArray MqttTopics::alarmEvent() const
{
    return base() + "/alarm/event";
}

QByteArray MqttTopics::claim() const
{
    return base() + "/claim";
}

QByteArray MqttTopics::deviceConfig() const
{
    return "homeassistant/device/" + node_.toUtf8() + "/config";
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

QByteArray MqttTopics::legacyConfigFilter(const char *component) const
{
    return QByteArray("homeassistant/") + component + '/' + node_.toUtf8() + "/+/config";
}

QByteArray MqttTopics::deviceDiscovery(const Device &device) const
{
    const QJsonArray availability{
        QJsonObject{{"topic", QString::fromUtf8(this->availability())}},
        QJsonObject{{"topic", QString::fromUtf8(portAvailability())}},
    };
    QJsonObject components;
    const auto add = [&](const QString &key, const char *platform, const QString &name, QJsonObject config) {
        config.insert("p", QString::fromLatin1(platform));
        config.insert("name", name);
        config.insert("unique_id", QStringLiteral("zelvar_%1_%2").arg(node_, key));
        config.insert("availability", availability);
        config.insert("availability_mode", "all");
        config.insert("payload_available", "online");
        config.insert("payload_not_available", "offline");
        components.insert(key, config);
    };
    for (const auto &[key, platform] : device.gone)
        components.insert(key, QJsonObject{{"p", platform}});
    for (int relay = 1; relay <= 16; ++relay)
        add(QStringLiteral("relay%1").arg(relay), "switch", QStringLiteral("Relais %1").arg(relay),
            {{"command_topic", QString::fromUtf8(relaySet(relay))},
             {"state_topic", QString::fromUtf8(relayState(relay))},
             {"payload_on", "ON"},
             {"payload_off", "OFF"}});
    for (const Button &button : device.buttons)
        add(button.id, "button", button.caption,
            {{"command_topic", QString::fromUtf8(buttonPress(button.id))}, {"payload_press", "PRESS"}});
    // Home Assistant refuses a select without options.
    if (!device.activities.isEmpty()) {
        add(QStringLiteral("activity"), "select", QStringLiteral("Activité"),
            {{"command_topic", QString::fromUtf8(activitySet())}, {"options", QJsonArray::fromStringList(device.activities)}});
        add(QStringLiteral("activity_stop"), "button", QStringLiteral("Arrêter l'activité"),
            {{"command_topic", QString::fromUtf8(activityStop())}, {"payload_press", "PRESS"}});
    }
    add(QStringLiteral("alarm"), "event", QStringLiteral("Alarme"),
        {{"state_topic", QString::fromUtf8(alarmEvent())}, {"event_types", QJsonArray{"fired"}}});

    QJsonObject origin{{"name", "Zelvar"}, {"sw_version", QStringLiteral(ZELVAR_VERSION)}};
    if (const QString homepage = QStringLiteral(ZELVAR_HOMEPAGE); !homepage.isEmpty())
        origin.insert("support_url", homepage);
    QJsonObject deviceInfo{
        {"identifiers", QJsonArray{QStringLiteral("zelvar_") + node_}},
        {"name", QStringLiteral("Zelvar ") + node_},
        {"model", QStringLiteral("Carte 16 relais")},
        {"manufacturer", QStringLiteral("Zelvar")},
        {"sw_version", QStringLiteral(ZELVAR_VERSION)},
    };
    if (!device.configurationUrl.isEmpty())
        deviceInfo.insert("configuration_url", device.configurationUrl);
    return QJsonDocument(QJsonObject{{"device", deviceInfo}, {"origin", origin}, {"components", components}})
        .toJson(QJsonDocument::Compact);
}

std::map<QString, QString> MqttTopics::entitiesIn(const QByteArray &discovery)
{
    std::map<QString, QString> entities;
    const QJsonObject components = QJsonDocument::fromJson(discovery).object().value("components").toObject();
    for (auto it = components.begin(); it != components.end(); ++it)
        if (const QJsonObject entity = it.value().toObject(); entity.size() > 1) // not one already removed
            entities[it.key()] = entity.value("p").toString();
    return entities;
}

MqttTopics::Incoming MqttTopics::parse(const QByteArray &topic) const
{
    const QList<QByteArray> parts = topic.split('/');
    const QByteArray node = node_.toUtf8();
    using Kind = Incoming::Kind;
    if (topic == claim())
        return {Kind::Claim};
    if (topic == deviceConfig())
        return {Kind::DeviceConfig};
    if (topic == activitySet())
        return {Kind::ActivitySet};
    if (topic == activityStop())
        return {Kind::ActivityStop};
    if (parts.size() != 5)
        return {};
    if (parts[0] == "homeassistant" && (parts[1] == "switch" || parts[1] == "button") && parts[2] == node
        && parts[4] == "config")
        return {Kind::LegacyConfig};
    if (parts[0] != "zelvar" || parts[1] != node)
        return {};
    if (parts[2] == "relay" && parts[4] == "set" && numberIn(parts[3]) > 0)
        return {Kind::RelaySet, numberIn(parts[3])};
    if (parts[2] == "relay" && parts[4] == "pulse" && numberIn(parts[3]) > 0)
        return {Kind::RelayPulse, numberIn(parts[3])};
    if (parts[2] == "button" && parts[4] == "press" && !parts[3].isEmpty())
        return {Kind::ButtonPress, numberIn(parts[3]), QString::fromUtf8(parts[3])};
    return {};
}

} // namespace zelvar
