#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>
#include <thread>

namespace zelvar {

// One connection to an MQTT broker, kept up by a network thread of its own: libmosquitto
// connects, reads and writes there, and a lost or refused connection is tried again after
// 1 s, then 2, 4… up to 60 s, the delay starting afresh only after a connection that held.
// Name lookups and a slow or silent broker hold up that thread only. It speaks MQTT 5 (3.1.1
// to a broker that knows no better), whose acknowledgements say when the broker refuses a
// publication, and takes no packet over 64 KB.
// The object lives on the Qt thread: its signals arrive there, queued, and
// publish() and subscribe() only queue a packet for the network thread.
class MqttLink : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        QString host;
        quint16 port = 1883;
        QString user;
        QString password;
        QString caFile; // TLS when set
        QByteArray clientId;
        QByteArray willTopic; // published retained by the broker when the link dies
        QByteArray willPayload;
    };

    explicit MqttLink(QObject *parent = nullptr);
    ~MqttLink() override; // stop()

    // Starts the network thread; false with *error (in French) when the options cannot be
    // used at all (an unreadable CA file…). Nothing here waits for the broker.
    bool start(const Options &options, QString *error = nullptr);
    // Publishes `topic` = `payload` (retained) when connected, disconnects cleanly, and lets
    // the network thread go: it waits at most a moment for these last packets to leave.
    void stop(const QByteArray &topic = {}, const QByteArray &payload = {});

    // At QoS 1 the broker answers each publication; a refusal comes back as refused().
    bool publish(const QByteArray &topic, const QByteArray &payload, bool retain, int qos = 0);
    bool subscribe(const QByteArray &filter);

    // The longest payload handed over whole; a longer one arrives cut, marked `cut`.
    static constexpr int MaxPayload = 4096;
    static constexpr int FirstDelaySeconds = 1;
    static constexpr int LastDelaySeconds = 60;

signals:
    void connecting();
    void connected();
    // The connection failed or was lost, for `reason`; the next try comes in `retryInSeconds`.
    void disconnected(const QString &reason, int retryInSeconds);
    void message(const QByteArray &topic, const QByteArray &payload, bool retained, bool cut);
    // The broker refused a QoS 1 publication on `topic` (an access list…): why, in French.
    void refused(const QByteArray &topic, const QString &why);

private:
    struct Shared;
    static void run(std::shared_ptr<Shared> shared, Options options);

    std::shared_ptr<Shared> shared_;
    std::thread thread_;
};

} // namespace zelvar
