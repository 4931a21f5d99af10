// A flood of MQTT commands on a real `zelvar-cli serve` (the virtual board on a
// pseudo-terminal, a mosquitto broker on a free loopback port, the web remote on loopback):
// 10 000 "relay/<n>/set" messages published in one second, with an alarm row due during the
// flood and GET /api/relays asked all along. Measured: the alarm's delay from its second to
// its bytes on the wire (target 20 ms), the p99 of GET /api/relays (target 10 ms), and the
// time from the last message until the wire is quiet (target 1 s), the wire ending in the
// states last published. Every loop is bounded and stops by itself.
#include "devices/RelayCommand.h"
#include "panel/PanelConfig.h"
#include "remote/MosquittoBroker.h"
#include "scheduler/ScheduleFile.h"

#include "BenchPty.h"
#include "CoreBenchMain.h"
#include "Percentiles.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <mosquitto.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

using namespace zelvar;
using SysClock = std::chrono::system_clock;

namespace {

constexpr int Messages = 10000;
constexpr int FloodRelays = 15;    // relay 16 is the alarm's alone
constexpr int MaxRequests = 20000; // GET /api/relays during the flood, at most

qint64 nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(SysClock::now().time_since_epoch()).count();
}

qint64 nowUs()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(SysClock::now().time_since_epoch()).count();
}

// The board's side, read on a thread of its own: every command (up to '#') with its time.
class Wire
{
public:
    explicit Wire(int master) : master_(master)
    {
        reader_ = std::thread([this] {
            QByteArray partial;
            while (!stop_) {
                pollfd p{master_, POLLIN, 0};
                if (::poll(&p, 1, 20) <= 0)
                    continue;
                char buffer[4096];
                const ssize_t n = ::read(master_, buffer, sizeof buffer);
                if (n <= 0)
                    continue;
                const qint64 at = nowUs();
                partial.append(buffer, n);
                std::lock_guard lock(mutex_);
                lastUs_ = at;
                for (qsizetype end; (end = partial.indexOf('#')) >= 0; partial.remove(0, end + 1))
                    commands_.push_back({partial.left(end + 1), at});
            }
        });
    }
    ~Wire()
    {
        stop_ = true;
        reader_.join();
    }
    struct Command
    {
        QByteArray bytes;
        qint64 atUs;
    };
    std::vector<Command> commands()
    {
        std::lock_guard lock(mutex_);
        return commands_;
    }
    qint64 lastUs()
    {
        std::lock_guard lock(mutex_);
        return lastUs_;
    }

private:
    int master_;
    std::mutex mutex_;
    std::vector<Command> commands_;
    qint64 lastUs_ = 0;
    std::atomic<bool> stop_ = false;
    std::thread reader_;
};

int connectTo(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// One GET /api/relays on a connection of its own; its time in µs, or -1.
double getRelays(quint16 port, const QByteArray &token)
{
    const qint64 start = nowUs();
    const int fd = connectTo(port);
    if (fd < 0)
        return -1;
    const QByteArray request = "GET /api/relays HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Bearer " + token
                               + "\r\nConnection: close\r\n\r\n";
    QByteArray got;
    if (::write(fd, request.constData(), size_t(request.size())) == request.size()) {
        char buffer[4096];
        for (;;) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 2000) <= 0)
                break;
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n <= 0)
                break;
            got.append(buffer, n);
            if (got.contains("}"))
                break;
        }
    }
    ::close(fd);
    return got.startsWith("HTTP/1.1 200") ? double(nowUs() - start) : -1;
}

void BM_MqttFlood(benchmark::State &state)
{
    for (auto _ : state) {
        testing::MosquittoBroker broker;
        if (!broker.problem().isEmpty()) {
            state.SkipWithError(broker.problem().toStdString().c_str());
            return;
        }
        QTemporaryDir dir;
        Pty board;
        Wire wire(board.master);

        // Button 1: relay 16 on, for the alarm.
        PanelConfig config;
        config.settings.CurrentPortName = board.slave;
        config.buttons = {ButtonConfig{On, 16, QStringLiteral("0"), 0, 0, QStringLiteral("Alarme"), 0, {},
                                       QStringLiteral("Alarme")}};
        config.buttonsEverHeld = true;
        writePanelConfig(config).save(dir.filePath(PanelFiles::config()));
        // Due at a whole second a few seconds ahead, leaving time for the start.
        const QDateTime due = QDateTime::fromMSecsSinceEpoch((nowMs() / 1000 + 8) * 1000);
        std::vector<SavedScheduleRow> rows = {
            {due.date(), due.time().toString(QStringLiteral("hh:mm:ss")), 1, QStringLiteral("Alarme"), Recurrence{}, true}};
        writeSchedule(rows).save(dir.filePath(ScheduleFiles::path()));

        QProcess serve;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
        env.insert(QStringLiteral("XDG_STATE_HOME"), dir.filePath(QStringLiteral("state")));
        env.insert(QStringLiteral("ZELVAR_INSTANCE_NAME"), QStringLiteral("bench-flood"));
        serve.setProcessEnvironment(env);
        serve.setWorkingDirectory(dir.path());
        serve.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // BENCH_FLOOD_CLI runs another build of the service (an older one, to compare).
        const QString cli = qEnvironmentVariable("BENCH_FLOOD_CLI", QStringLiteral(ZELVAR_CLI));
        serve.start(cli,
                    {QStringLiteral("serve"), QStringLiteral("--http"), QStringLiteral("127.0.0.1:0"), QStringLiteral("--mqtt"),
                     QStringLiteral("127.0.0.1:%1").arg(broker.port()), QStringLiteral("--node"), QStringLiteral("bench")});
        QByteArray log;
        const qint64 startDeadline = nowMs() + 10000;
        while (!(log.contains(" port ") && log.contains("connecté")) && nowMs() < startDeadline) {
            serve.waitForReadyRead(50);
            log += serve.readAllStandardOutput();
        }
        const qsizetype at = log.indexOf("port ", log.indexOf("http"));
        const quint16 httpPort = quint16(log.mid(at + 5, log.indexOf('\n', at) - at - 5).trimmed().toUInt());
        QFile tokenFile(dir.filePath(QStringLiteral("config/zelvar/remote-token")));
        tokenFile.open(QIODevice::ReadOnly);
        const QByteArray token = tokenFile.readAll().trimmed();
        if (httpPort == 0 || token.isEmpty() || !log.contains("connecté")) {
            state.SkipWithError(("serve did not start: " + log).constData());
            return;
        }

        // The flood starts half a second before the alarm's second and lasts one second.
        while (nowMs() < due.toMSecsSinceEpoch() - 500)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::map<int, QByteArray> lastPublished;
        std::atomic<qint64> lastPublishUs = 0;
        std::atomic<bool> flooding = true;
        double floodMs = 0;
        std::thread publisher([&] {
            mosquitto *client = mosquitto_new(nullptr, true, nullptr);
            mosquitto_connect(client, "127.0.0.1", broker.port(), 60);
            const qint64 start = nowUs();
            for (int i = 0; i < Messages; ++i) {
                const int relay = 1 + i % FloodRelays;
                const QByteArray payload = (i / FloodRelays) % 2 ? "OFF" : "ON";
                const QByteArray topic = "zelvar/bench/relay/" + QByteArray::number(relay) + "/set";
                mosquitto_publish(client, nullptr, topic.constData(), int(payload.size()), payload.constData(), 0, false);
                lastPublished[relay] = payload;
                // 10 000 in one second: ten every millisecond, the publisher sleeping
                // between so that it leaves the machine's cores to the service.
                if (i % 10 == 9) {
                    mosquitto_loop(client, 0, 1);
                    const qint64 next = start + (i + 1) * 100;
                    if (const qint64 wait = next - nowUs(); wait > 0)
                        std::this_thread::sleep_for(std::chrono::microseconds(wait));
                }
            }
            lastPublishUs = nowUs();
            floodMs = double(lastPublishUs - start) / 1000.0;
            for (int i = 0; i < 50; ++i)
                mosquitto_loop(client, 1, 1);
            mosquitto_disconnect(client);
            mosquitto_destroy(client);
            flooding = false;
        });
        std::vector<double> gets;
        while ((flooding || gets.empty()) && int(gets.size()) < MaxRequests) {
            const double us = getRelays(httpPort, token);
            if (us >= 0)
                gets.push_back(us);
            // A client asking every 2 ms, not a load of its own.
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        publisher.join();
        // Quiet: no byte for one second (given up after ten).
        const qint64 quietDeadline = nowUs() + 10'000'000;
        while (nowUs() - wire.lastUs() < 1'000'000 && nowUs() < quietDeadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        serve.terminate();
        serve.waitForFinished(5000);
        log += serve.readAllStandardOutput();
        // BENCH_FLOOD_LOG shows the service's journal, to see where a late alarm lost its time.
        if (qEnvironmentVariableIsSet("BENCH_FLOOD_LOG"))
            fprintf(stderr, "%s\ndue %s\n", log.constData(), qPrintable(due.toString(Qt::ISODateWithMs)));

        const std::vector<Wire::Command> commands = wire.commands();
        std::map<int, QByteArray> lastOnWire;
        double alarmMs = -1;
        for (const Wire::Command &c : commands) {
            if (c.bytes == relayCommand(16, RelayAction::On) && alarmMs < 0)
                alarmMs = double(c.atUs - due.toMSecsSinceEpoch() * 1000) / 1000.0;
            for (int relay = 1; relay <= FloodRelays; ++relay) {
                if (c.bytes == relayCommand(relay, RelayAction::On))
                    lastOnWire[relay] = "ON";
                else if (c.bytes == relayCommand(relay, RelayAction::Off))
                    lastOnWire[relay] = "OFF";
            }
        }
        const double quietMs = double(wire.lastUs() - lastPublishUs) / 1000.0;
        state.SetIterationTime(1);
        state.counters["alarm_ms"] = alarmMs;
        state.counters["alarm_of_20ms"] = alarmMs / 20.0;
        reportPercentiles(state, gets);
        state.counters["gets"] = double(gets.size());
        if (!gets.empty())
            state.counters["get_p99_of_10ms"] = state.counters["p99_us"] / 10000.0;
        state.counters["flood_ms"] = floodMs;
        state.counters["quiet_ms"] = quietMs;
        state.counters["quiet_of_1s"] = quietMs / 1000.0;
        state.counters["commands_on_wire"] = double(commands.size());
        state.counters["final_states_match"] = lastOnWire == lastPublished ? 1 : 0;
        if (alarmMs < 0)
            state.SkipWithError("the alarm never reached the wire");
    }
}
BENCHMARK(BM_MqttFlood)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    return runCoreBenchmarks(argc, argv);
}
