// MQTT: a relay "set" published by a home-automation client, through a mosquitto broker on
// this machine and the bridge, until its first byte is readable on the board's side of a
// pseudo-terminal; the shipped path, pauses included. Beside it, the same publication from
// one client to another through the same broker: what the broker alone costs.
#include "devices/ComPort.h"
#include "remote/MosquittoBroker.h"
#include "remote/MqttBridge.h"
#include "remote/RelayStates.h"
#include "remote/RemoteControl.h"

#include "CoreBenchMain.h"
#include "Percentiles.h"

#include <QTimer>

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace zelvar;
using Clock = std::chrono::steady_clock;

namespace {

constexpr auto GiveUp = std::chrono::seconds(2);

qint64 nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

// The board's side of a pseudo-terminal, read by a thread of its own that notes when the
// first byte of each command arrives.
class TimedBoard
{
public:
    TimedBoard()
    {
        if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0)
            slave_ = QString::fromLocal8Bit(::ptsname(master_));
        reader_ = std::thread([this] { read(); });
    }
    ~TimedBoard()
    {
        done_ = true;
        reader_.join();
        ::close(master_);
    }
    const QString &slave() const { return slave_; }
    void expect() { firstByteNs_ = 0; }
    qint64 firstByteNs() const { return firstByteNs_; }

private:
    void read()
    {
        char buffer[256];
        while (!done_) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            const qint64 at = nowNs();
            if (::read(master_, buffer, sizeof buffer) > 0 && firstByteNs_ == 0)
                firstByteNs_ = at;
        }
    }

    int master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    QString slave_;
    std::atomic<bool> done_ = false;
    std::atomic<qint64> firstByteNs_ = 0;
    std::thread reader_;
};

// A client that only publishes, writing each publication at once.
mosquitto *publisher(quint16 port)
{
    mosquitto_lib_init();
    mosquitto *client = mosquitto_new(nullptr, true, nullptr);
    if (mosquitto_connect(client, "127.0.0.1", port, 60) != MOSQ_ERR_SUCCESS)
        return client;
    for (int i = 0; i < 20; ++i)
        mosquitto_loop(client, 10, 1);
    return client;
}

void BM_MqttSetToFirstByte(benchmark::State &state)
{
    testing::MosquittoBroker broker;
    TimedBoard board;
    TComPort port;
    RelayStates relays;
    relays.follow(port);
    port.setPort(board.slave());
    port.OpenPort();
    RemoteControl control(RemoteControl::Host::Service, port, relays);
    MqttBridge bridge(control);
    MqttSettings settings;
    settings.host = QStringLiteral("127.0.0.1");
    settings.port = broker.port();
    settings.node = QStringLiteral("bench");
    bridge.start(settings);
    const auto deadline = Clock::now() + GiveUp;
    while (bridge.status() != MqttBridge::Status::Connected && Clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    mosquitto *client = publisher(broker.port());
    // The event loop waits as the program's does; this timer only bounds a wait that fails.
    QTimer tick;
    tick.start(20);

    std::vector<double> samples;
    int i = 0;
    for (auto _ : state) {
        const QByteArray payload = ++i % 2 ? "ON" : "OFF";
        board.expect();
        const qint64 start = nowNs();
        mosquitto_publish(client, nullptr, "zelvar/bench/relay/1/set", int(payload.size()), payload.constData(), 0, false);
        const auto giveUp = Clock::now() + GiveUp;
        while (board.firstByteNs() == 0 && Clock::now() < giveUp)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (board.firstByteNs() == 0) {
            state.SkipWithError("the command did not reach the board");
            break;
        }
        const double elapsedUs = double(board.firstByteNs() - start) / 1000.0;
        samples.push_back(elapsedUs);
        state.SetIterationTime(elapsedUs / 1e6);
        mosquitto_loop(client, 0, 1);
    }
    mosquitto_disconnect(client);
    mosquitto_destroy(client);
    reportPercentiles(state, samples);
    // The target: a 99th percentile within 10 ms.
    if (!samples.empty())
        state.counters["p99_of_10ms"] = state.counters["p99_us"] / 10000.0;
}
BENCHMARK(BM_MqttSetToFirstByte)->Iterations(400)->UseManualTime()->Unit(benchmark::kMicrosecond);

// The broker's own share: one client's publication until another client's thread has it.
void BM_BrokerAlone(benchmark::State &state)
{
    testing::MosquittoBroker broker;
    std::atomic<qint64> receivedNs = 0;
    mosquitto *subscriber = mosquitto_new(nullptr, true, &receivedNs);
    mosquitto_message_callback_set(subscriber, [](mosquitto *, void *seen, const mosquitto_message *) {
        *static_cast<std::atomic<qint64> *>(seen) = nowNs();
    });
    mosquitto_connect(subscriber, "127.0.0.1", broker.port(), 60);
    mosquitto_subscribe(subscriber, nullptr, "zelvar/bench/relay/1/set", 1);
    mosquitto_loop_start(subscriber);
    mosquitto *client = publisher(broker.port());

    std::vector<double> samples;
    for (auto _ : state) {
        receivedNs = 0;
        const qint64 start = nowNs();
        mosquitto_publish(client, nullptr, "zelvar/bench/relay/1/set", 2, "ON", 0, false);
        const auto giveUp = Clock::now() + GiveUp;
        while (receivedNs == 0 && Clock::now() < giveUp)
            std::this_thread::yield();
        if (receivedNs == 0) {
            state.SkipWithError("the publication did not come through");
            break;
        }
        const double elapsedUs = double(receivedNs - start) / 1000.0;
        samples.push_back(elapsedUs);
        state.SetIterationTime(elapsedUs / 1e6);
        mosquitto_loop(client, 0, 1);
        // The same spacing as the bridge's runs, which pause 10 ms after each command.
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    mosquitto_disconnect(subscriber);
    mosquitto_loop_stop(subscriber, false);
    mosquitto_destroy(subscriber);
    mosquitto_disconnect(client);
    mosquitto_destroy(client);
    reportPercentiles(state, samples);
}
BENCHMARK(BM_BrokerAlone)->Iterations(400)->UseManualTime()->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    return runCoreBenchmarks(argc, argv);
}
