#include "remote/MqttLink.h"

#include "common/SystemError.h"

#include <QFile>
#include <QFileInfo>
#include <QMetaObject>

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>

namespace zelvar {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int KeepAliveSeconds = 30;
// A broker that takes longer than this to accept a connection is treated as unreachable.
constexpr auto ConnectTimeout = std::chrono::seconds(10);
// How long the network thread sleeps in select() at most: the bound on noticing a stop
// while nothing comes in (a packet to send wakes it at once).
constexpr int LoopMs = 100;
// How long stop() waits for the last packets to leave before letting the thread finish alone;
// without a connection, it only waits for the thread to see the stop.
constexpr auto FlushTimeout = std::chrono::milliseconds(1000);
constexpr auto LeaveTimeout = std::chrono::milliseconds(3 * LoopMs);
// A connection lost sooner than this after it was accepted (our client id taken over by
// another client, a broker that drops us at once) does not start the back-off afresh.
constexpr auto SteadyConnection = std::chrono::seconds(KeepAliveSeconds);
// The largest packet the broker may send us: a huge retained message is never delivered.
constexpr uint32_t MaxPacketBytes = 64 * 1024;

void initLibrary()
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

QString errorText(int rc, int savedErrno)
{
    switch (rc) {
    case MOSQ_ERR_ERRNO:
        return systemErrorText(savedErrno);
    case MOSQ_ERR_EAI:
    case MOSQ_ERR_LOOKUP:
        return QStringLiteral("nom d'hôte introuvable");
    case MOSQ_ERR_CONN_LOST:
        return QStringLiteral("connexion perdue");
    case MOSQ_ERR_NO_CONN:
        return QStringLiteral("connexion fermée");
    case MOSQ_ERR_TLS:
    case MOSQ_ERR_TLS_HANDSHAKE:
        return QStringLiteral("échec de la négociation TLS (certificat ?)");
    case MOSQ_ERR_KEEPALIVE:
        return QStringLiteral("le broker ne répond plus");
    case MOSQ_ERR_PROTOCOL:
        return QStringLiteral("erreur de protocole");
    case MOSQ_ERR_INVAL:
        return QStringLiteral("hôte ou port inutilisable");
    default:
        return QString::fromUtf8(mosquitto_strerror(rc));
    }
}

// Why the broker refused a publication (MQTT 5 reason codes).
QString reasonText(int code)
{
    switch (code) {
    case 0x87:
        return QStringLiteral("non autorisé");
    case 0x90:
        return QStringLiteral("nom de sujet invalide");
    case 0x97:
        return QStringLiteral("quota dépassé");
    case 0x95:
        return QStringLiteral("paquet trop grand");
    default:
        return QStringLiteral("code %1").arg(code);
    }
}

// The broker's answer to a connection it refused: MQTT 5 reason codes, and the return codes of
// a broker that speaks 3.1.1 only.
QString refusalText(int code)
{
    const auto refused = [](const QString &why) { return QStringLiteral("connexion refusée par le broker : ") + why; };
    switch (code) {
    case 1:
    case MQTT_RC_UNSUPPORTED_PROTOCOL_VERSION:
        return refused(QStringLiteral("version du protocole"));
    case 2:
    case MQTT_RC_CLIENTID_NOT_VALID:
        return refused(QStringLiteral("identifiant de client"));
    case 3:
    case MQTT_RC_SERVER_UNAVAILABLE:
    case MQTT_RC_SERVER_BUSY:
        return refused(QStringLiteral("service indisponible"));
    case 4:
    case MQTT_RC_BAD_USERNAME_OR_PASSWORD:
        return refused(QStringLiteral("utilisateur ou mot de passe"));
    case 5:
    case MQTT_RC_NOT_AUTHORIZED:
    case MQTT_RC_BANNED:
        return refused(QStringLiteral("non autorisée"));
    default:
        return QStringLiteral("connexion refusée par le broker (code %1)").arg(code);
    }
}

bool unsupportedVersion(int code)
{
    return code == 1 || code == MQTT_RC_UNSUPPORTED_PROTOCOL_VERSION;
}

} // namespace

// What the Qt thread and the network thread share. The network thread holds a reference as
// long as it runs, so the handle outlives a link that let the thread go.
struct MqttLink::Shared
{
    std::mutex mutex;
    std::condition_variable wake;
    MqttLink *owner = nullptr; // null once the link let go: nothing is posted any more
    bool stopping = false;
    bool flushing = false; // a clean disconnect was queued: write it out before leaving
    Clock::time_point flushDeadline;
    bool finished = false;
    mosquitto *mosq = nullptr;

    std::atomic<bool> accepted = false; // the broker took the current connection
    // QoS 1 publications not yet acknowledged, by message id. A lock of its own: it is held
    // while publishing, so that an acknowledgement cannot come before its id is noted.
    std::mutex awaitedMutex;
    std::map<int, QByteArray> awaited;
    // Network thread only: why the broker refused or ended the connection, when it took it,
    // and whether it speaks MQTT 5 (a 3.1.1 broker refuses our first connection for that).
    QString refusal;
    Clock::time_point acceptedAt;
    bool mqtt5 = true;

    ~Shared()
    {
        if (mosq)
            mosquitto_destroy(mosq);
    }

    // Runs `call` on the link, on the Qt thread, unless the link is gone by then.
    template<typename Call>
    void post(Call call)
    {
        std::lock_guard lock(mutex);
        if (owner)
            QMetaObject::invokeMethod(owner, [link = owner, call = std::move(call)] { call(*link); }, Qt::QueuedConnection);
    }

    bool stopRequested()
    {
        std::lock_guard lock(mutex);
        return stopping;
    }

    // Stopping, with nothing left to write out.
    bool shouldLeave()
    {
        std::lock_guard lock(mutex);
        return stopping && (!flushing || Clock::now() > flushDeadline);
    }

    // Sleeps `seconds` unless told to stop; true when told to stop.
    bool sleepUnlessStopped(int seconds)
    {
        std::unique_lock lock(mutex);
        return wake.wait_for(lock, std::chrono::seconds(seconds), [this] { return stopping; });
    }
};

MqttLink::MqttLink(QObject *parent) : QObject(parent) {}

MqttLink::~MqttLink()
{
    stop();
}

bool MqttLink::start(const Options &options, QString *error)
{
    stop();
    const auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (options.host.trimmed().isEmpty())
        return fail(QStringLiteral("aucun broker indiqué"));
    if (!options.caFile.isEmpty() && !QFileInfo(options.caFile).isReadable())
        return fail(QStringLiteral("fichier CA illisible : %1").arg(options.caFile));

    initLibrary();
    auto shared = std::make_shared<Shared>();
    shared->mosq = mosquitto_new(options.clientId.constData(), true, shared.get());
    if (!shared->mosq)
        return fail(QStringLiteral("client MQTT non créé : ") + systemErrorText(errno));
    mosquitto *mosq = shared->mosq;
    // This thread publishes while the network thread reads and writes.
    mosquitto_threaded_set(mosq, true);
    mosquitto_int_option(mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    // A command's state goes out at once, not held back until the broker acknowledges the last one.
    mosquitto_int_option(mosq, MOSQ_OPT_TCP_NODELAY, 1);
    if (!options.user.isEmpty()
        && mosquitto_username_pw_set(mosq, options.user.toUtf8().constData(),
                                     options.password.isEmpty() ? nullptr : options.password.toUtf8().constData())
               != MOSQ_ERR_SUCCESS)
        return fail(QStringLiteral("utilisateur ou mot de passe inutilisable"));
    if (!options.caFile.isEmpty()) {
        const int rc = mosquitto_tls_set(mosq, QFile::encodeName(options.caFile).constData(), nullptr, nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS)
            return fail(QStringLiteral("fichier CA inutilisable (%1) : %2").arg(errorText(rc, errno), options.caFile));
    }
    if (!options.willTopic.isEmpty())
        mosquitto_will_set(mosq, options.willTopic.constData(), int(options.willPayload.size()),
                           options.willPayload.constData(), 1, true);

    mosquitto_connect_v5_callback_set(mosq, [](mosquitto *, void *data, int code, int, const mosquitto_property *) {
        auto *shared = static_cast<Shared *>(data);
        if (code == 0) {
            {
                std::lock_guard lock(shared->awaitedMutex);
                shared->awaited.clear();
            }
            shared->accepted = true;
            shared->acceptedAt = Clock::now();
            shared->post([](MqttLink &link) { emit link.connected(); });
            return;
        }
        shared->refusal = refusalText(code);
        if (unsupportedVersion(code) && shared->mqtt5)
            shared->mqtt5 = false;
    });
    mosquitto_publish_v5_callback_set(mosq, [](mosquitto *, void *data, int mid, int reason, const mosquitto_property *) {
        auto *shared = static_cast<Shared *>(data);
        QByteArray topic;
        {
            std::lock_guard lock(shared->awaitedMutex);
            const auto it = shared->awaited.find(mid);
            if (it == shared->awaited.end())
                return;
            topic = std::move(it->second);
            shared->awaited.erase(it);
        }
        if (reason >= 0x80)
            shared->post([topic = std::move(topic), why = reasonText(reason)](MqttLink &link) { emit link.refused(topic, why); });
    });
    mosquitto_message_callback_set(mosq, [](mosquitto *, void *data, const mosquitto_message *m) {
        auto *shared = static_cast<Shared *>(data);
        const int size = std::clamp(m->payloadlen, 0, MaxPayload);
        QByteArray topic(m->topic);
        QByteArray payload(static_cast<const char *>(m->payload), size);
        const bool retained = m->retain;
        const bool cut = m->payloadlen > MaxPayload;
        shared->post([topic = std::move(topic), payload = std::move(payload), retained, cut](MqttLink &link) {
            emit link.message(topic, payload, retained, cut);
        });
    });

    shared->owner = this;
    shared_ = shared;
    thread_ = std::thread(&MqttLink::run, std::move(shared), options);
    return true;
}

void MqttLink::run(std::shared_ptr<Shared> shared, Options options)
{
    const QByteArray host = options.host.trimmed().toUtf8();
    int delay = FirstDelaySeconds;
    while (!shared->stopRequested()) {
        shared->post([](MqttLink &link) { emit link.connecting(); });
        shared->accepted = false;
        shared->refusal.clear();
        QString reason;
        // The name lookup and the connection happen here, on this thread. MQTT 5 lets us
        // bound what the broker sends; a 3.1.1 broker is spoken to in its own version.
        int rc;
        if (shared->mqtt5) {
            mosquitto_property *properties = nullptr;
            mosquitto_property_add_int32(&properties, MQTT_PROP_MAXIMUM_PACKET_SIZE, MaxPacketBytes);
            rc = mosquitto_connect_bind_v5(shared->mosq, host.constData(), options.port, KeepAliveSeconds, nullptr, properties);
            mosquitto_property_free_all(&properties);
        } else {
            mosquitto_int_option(shared->mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
            rc = mosquitto_connect_async(shared->mosq, host.constData(), options.port, KeepAliveSeconds);
        }
        if (rc != MOSQ_ERR_SUCCESS) {
            reason = errorText(rc, errno);
        } else {
            const Clock::time_point giveUp = Clock::now() + ConnectTimeout;
            for (;;) {
                rc = mosquitto_loop(shared->mosq, LoopMs, 1);
                if (rc != MOSQ_ERR_SUCCESS) {
                    reason = shared->refusal.isEmpty() ? errorText(rc, errno) : shared->refusal;
                    break;
                }
                if (shared->shouldLeave())
                    break;
                if (!shared->accepted && Clock::now() > giveUp) {
                    reason = QStringLiteral("pas de réponse du broker");
                    break;
                }
            }
        }
        if (shared->accepted && Clock::now() - shared->acceptedAt >= SteadyConnection)
            delay = FirstDelaySeconds;
        mosquitto_disconnect(shared->mosq);
        if (shared->stopRequested())
            break;
        shared->post([reason, delay](MqttLink &link) { emit link.disconnected(reason, delay); });
        if (shared->sleepUnlessStopped(delay))
            break;
        delay = std::min(delay * 2, LastDelaySeconds);
    }
    std::lock_guard lock(shared->mutex);
    shared->finished = true;
    shared->wake.notify_all();
}

void MqttLink::stop(const QByteArray &topic, const QByteArray &payload)
{
    if (!shared_)
        return;
    std::unique_lock lock(shared_->mutex);
    shared_->owner = nullptr;
    shared_->stopping = true;
    // Told together, so that the network thread never leaves before these packets are out.
    shared_->flushing = shared_->accepted;
    shared_->flushDeadline = Clock::now() + FlushTimeout;
    if (shared_->flushing) {
        lock.unlock();
        if (!topic.isEmpty())
            mosquitto_publish(shared_->mosq, nullptr, topic.constData(), int(payload.size()), payload.constData(), 0, true);
        mosquitto_disconnect(shared_->mosq);
        lock.lock();
    }
    shared_->wake.notify_all();
    // A thread stuck in a name lookup or a slow broker is left to finish on its own: it
    // holds the shared state, and posts nothing any more.
    const auto timeout = shared_->flushing ? FlushTimeout + LeaveTimeout : LeaveTimeout;
    if (shared_->wake.wait_for(lock, timeout, [this] { return shared_->finished; })) {
        lock.unlock();
        thread_.join();
    } else {
        lock.unlock();
        thread_.detach();
    }
    shared_.reset();
}

// A publication lost with its connection is sent again by the bridge when it connects anew;
// QoS 1 is asked for what the broker keeps, so that a refusal is heard of.
bool MqttLink::publish(const QByteArray &topic, const QByteArray &payload, bool retain, int qos)
{
    if (!shared_)
        return false;
    std::lock_guard lock(shared_->awaitedMutex);
    int mid = 0;
    if (mosquitto_publish(shared_->mosq, &mid, topic.constData(), int(payload.size()), payload.constData(), qos, retain)
        != MOSQ_ERR_SUCCESS)
        return false;
    if (qos > 0)
        shared_->awaited[mid] = topic;
    return true;
}

bool MqttLink::subscribe(const QByteArray &filter)
{
    return shared_ && mosquitto_subscribe(shared_->mosq, nullptr, filter.constData(), 1) == MOSQ_ERR_SUCCESS;
}

} // namespace zelvar
