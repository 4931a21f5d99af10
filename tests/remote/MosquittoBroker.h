#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <mosquitto.h>

#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace zelvar::testing {

// A real mosquitto broker on a free loopback port, for as long as the object lives.
class MosquittoBroker
{
public:
    static constexpr const char *Program = "/usr/sbin/mosquitto";

    // Listens on `port`, or on a free one when 0. `acl`, when given, is the broker's access
    // list for every client.
    explicit MosquittoBroker(quint16 port = 0, const QByteArray &acl = {}) : port_(port ? port : freePort()) { start(acl); }
    ~MosquittoBroker() { stop(); }

    // Empty when it runs; else why not (a missing program is a failure, never a skip).
    const QString &problem() const { return problem_; }
    quint16 port() const { return port_; }

    void stop()
    {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.terminate();
        if (!process_.waitForFinished(3000)) {
            process_.kill();
            process_.waitForFinished(3000);
        }
    }

    static quint16 freePort()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        return probe.serverPort();
    }

private:
    void start(const QByteArray &acl)
    {
        if (!QFile::exists(QString::fromLatin1(Program))) {
            problem_ = QStringLiteral("%1 is missing: scripts/install-deps installs mosquitto").arg(Program);
            return;
        }
        const QString config = dir_.filePath(QStringLiteral("mosquitto.conf"));
        QFile file(config);
        file.open(QIODevice::WriteOnly);
        file.write("listener " + QByteArray::number(port_) + " 127.0.0.1\nallow_anonymous true\npersistence false\n");
        if (!acl.isEmpty()) {
            QFile aclFile(dir_.filePath(QStringLiteral("acl")));
            aclFile.open(QIODevice::WriteOnly);
            aclFile.write(acl);
            // Read after the broker drops its privileges (to user mosquitto, when run as root).
            constexpr auto readable = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                | QFileDevice::ReadOther | QFileDevice::ExeOther;
            QFile::setPermissions(dir_.path(), readable);
            aclFile.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther);
            file.write("acl_file " + QFile::encodeName(aclFile.fileName()) + "\n");
        }
        file.close();
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start(QString::fromLatin1(Program), {QStringLiteral("-c"), config});
        // Ready when it accepts a connection.
        const QDeadlineTimer deadline(5000);
        while (!deadline.hasExpired() && process_.state() != QProcess::NotRunning) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, port_);
            if (socket.waitForConnected(200))
                return;
            process_.waitForFinished(50);
        }
        problem_ = QStringLiteral("mosquitto did not start: ") + QString::fromLocal8Bit(process_.readAll());
    }

    quint16 port_;
    QTemporaryDir dir_;
    QProcess process_;
    QString problem_;
};

// A plain client on the test's thread: what a home-automation system publishes and sees.
// Waiting runs both its network loop and the Qt event loop, where the bridge works.
class MqttTestClient
{
public:
    struct Message
    {
        QByteArray topic;
        QByteArray payload;
        bool retained = false;
    };

    explicit MqttTestClient(quint16 port)
    {
        static const int init = mosquitto_lib_init();
        (void)init;
        mosq_ = mosquitto_new(nullptr, true, this);
        mosquitto_connect_callback_set(mosq_, [](mosquitto *, void *self, int rc) {
            static_cast<MqttTestClient *>(self)->connected_ = rc == 0;
        });
        mosquitto_message_callback_set(mosq_, [](mosquitto *, void *self, const mosquitto_message *m) {
            static_cast<MqttTestClient *>(self)->messages.push_back(
                {QByteArray(m->topic), QByteArray(static_cast<const char *>(m->payload), m->payloadlen), m->retain});
        });
        if (mosquitto_connect(mosq_, "127.0.0.1", port, 30) == MOSQ_ERR_SUCCESS)
            waitFor([this] { return connected_; });
    }
    ~MqttTestClient()
    {
        mosquitto_disconnect(mosq_);
        mosquitto_loop(mosq_, 10, 1);
        mosquitto_destroy(mosq_);
    }

    bool connected() const { return connected_; }
    mosquitto *handle() { return mosq_; }

    // Subscribes and waits until the broker has handed over its retained messages.
    void subscribe(const char *filter, int settleMs = 300)
    {
        mosquitto_subscribe(mosq_, nullptr, filter, 1);
        waitFor([] { return false; }, settleMs);
    }
    void publish(const QByteArray &topic, const QByteArray &payload, bool retain = false)
    {
        mosquitto_publish(mosq_, nullptr, topic.constData(), int(payload.size()), payload.constData(), 1, retain);
        mosquitto_loop(mosq_, 0, 1);
    }

    // Runs both loops until the condition holds or the time runs out; tells which.
    bool waitFor(const std::function<bool()> &condition, int timeoutMs = 5000)
    {
        const QDeadlineTimer deadline(timeoutMs);
        while (!condition()) {
            if (deadline.hasExpired())
                return false;
            mosquitto_loop(mosq_, 5, 1);
            QCoreApplication::processEvents();
        }
        return true;
    }

    // The last payload seen on each topic (an empty one is a cleared retained message).
    std::map<QByteArray, Message> lastByTopic() const
    {
        std::map<QByteArray, Message> last;
        for (const Message &m : messages)
            last[m.topic] = m;
        return last;
    }
    std::optional<QByteArray> last(const QByteArray &topic) const
    {
        for (auto m = messages.rbegin(); m != messages.rend(); ++m)
            if (m->topic == topic)
                return m->payload;
        return std::nullopt;
    }

    std::vector<Message> messages;

private:
    mosquitto *mosq_ = nullptr;
    bool connected_ = false;
};

} // namespace zelvar::testing
