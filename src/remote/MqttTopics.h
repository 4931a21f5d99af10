#pragma once

#include <QByteArray>
#include <QString>

namespace zelvar {

// What one node puts on the broker and listens to: its topics under zelvar/<node>/ and its
// Home Assistant discovery messages. Every relay and button gets a unique_id of its own,
// made of the node and its number, and all of them name the same device, so that Home
// Assistant shows one device "Zelvar <node>" holding sixteen separate switches.
class MqttTopics
{
public:
    explicit MqttTopics(const QString &node);

    const QString &node() const { return node_; }

    QByteArray availability() const;
    QByteArray relaySet(int relay) const;
    QByteArray relayState(int relay) const;
    QByteArray buttonPress(int button) const;
    QByteArray switchConfig(int relay) const;
    QByteArray buttonConfig(int button) const;

    // What the node subscribes to.
    QByteArray relaySetFilter() const;
    QByteArray relayPulseFilter() const;
    QByteArray buttonPressFilter() const;
    QByteArray buttonConfigFilter() const;

    // The retained discovery messages.
    QByteArray switchDiscovery(int relay) const;
    QByteArray buttonDiscovery(int button, const QString &caption) const;

    // A topic the node listens to, with the number it names; Unknown for anything else,
    // a number that is not a plain positive decimal included.
    struct Incoming
    {
        enum class Kind { Unknown, RelaySet, RelayPulse, ButtonPress, ButtonConfig };
        Kind kind = Kind::Unknown;
        int number = 0;
    };
    Incoming parse(const QByteArray &topic) const;

private:
    QByteArray base() const;
    QByteArray discoveryBase(const char *component) const;

    QString node_;
};

} // namespace zelvar
