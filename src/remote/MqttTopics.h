#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <map>
#include <vector>

namespace zelvar {

// What one node puts on the broker and listens to: its topics under zelvar/<node>/ and its
// Home Assistant discovery message. The node is one device, "Zelvar <node>", announced by one
// retained message that holds all its entities: sixteen switches, the panel's buttons (each
// by its stable id, never by its place), the activities and the alarms. Every entity is
// available only while both the bridge (its last will) and the port say "online".
class MqttTopics
{
public:
    explicit MqttTopics(const QString &node);

    const QString &node() const { return node_; }

    QByteArray availability() const;     // the bridge's: online, or its last will
    QByteArray portAvailability() const; // offline while the port is lost
    QByteArray relaySet(int relay) const;
    QByteArray relayState(int relay) const;
    QByteArray buttonPress(const QString &id) const;
    QByteArray activitySet() const;
    QByteArray activityStop() const;
    QByteArray alarmEvent() const;
    // Where bridges of one node name find each other (see MqttBridge).
    QByteArray claim() const;
    QByteArray deviceConfig() const;

    // What the node subscribes to.
    QByteArray relaySetFilter() const;
    QByteArray relayPulseFilter() const;
    QByteArray buttonPressFilter() const;
    // Discovery messages of one entity each, which this node published before it announced
    // itself as one device: cleared when seen.
    QByteArray legacyConfigFilter(const char *component) const;

    struct Button
    {
        QString id;
        QString caption;
    };
    struct Device
    {
        QString configurationUrl; // the web remote, when it serves
        std::vector<Button> buttons;
        QStringList activities;
        // Entities announced before and gone now, by their key, with their platform: Home
        // Assistant removes an entity of a device when it is left with its platform alone.
        std::map<QString, QString> gone;
    };
    // The retained discovery message; the keys of its entities are those of `gone`.
    QByteArray deviceDiscovery(const Device &device) const;
    // The keys of the entities in a discovery message, with their platform; those removed
    // (their platform alone) are left out.
    static std::map<QString, QString> entitiesIn(const QByteArray &discovery);

    // A topic the node listens to. Relays are numbered; a button is named by its id or by
    // its place on the panel (`name`); Unknown for anything else.
    struct Incoming
    {
        enum class Kind { Unknown, RelaySet, RelayPulse, ButtonPress, ActivitySet, ActivityStop, Claim, LegacyConfig, DeviceConfig };
        Kind kind = Kind::Unknown;
        int number = 0;
        QString name;
    };
    Incoming parse(const QByteArray &topic) const;

private:
    QByteArray base() const;

    QString node_;
};

} // namespace zelvar
