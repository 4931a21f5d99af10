// The web remote on loopback, pauses and all: PUT /api/relays from the request's last byte
// sent to the command's first byte on the board's line; and a panel click to the wire with
// 0 and with 50 event WebSockets connected, each told of every relay change.
#include "devices/ComPort.h"
#include "panel/PanelConfig.h"
#include "remote/HttpRemote.h"
#include "remote/RelayStates.h"
#include "remote/RemoteControl.h"

#include "BenchPty.h"
#include "CoreBenchMain.h"
#include "Percentiles.h"

#include <QThread>

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <vector>

using namespace zelvar;
using Clock = std::chrono::steady_clock;

namespace {

const QByteArray Token = "0123456789abcdef0123456789abcdef";

// The program's side in a thread of its own, as in the program: port, states, control and
// server live and run there.
class Host
{
public:
    explicit Host(const QString &slave)
    {
        m_thread.start();
        m_context.moveToThread(&m_thread);
        run([&] {
            m_port = std::make_unique<TComPort>();
            m_states = std::make_unique<RelayStates>();
            m_states->follow(*m_port);
            m_port->setPort(slave);
            m_port->OpenPort();
            m_control = std::make_unique<RemoteControl>(RemoteControl::Host::Program, *m_port, *m_states);
            PanelConfig panel;
            panel.buttons = {ButtonConfig{Bistable, 1, QStringLiteral("0"), 0, 0, QStringLiteral("Lampe"), 0, {}, {}}};
            m_control->setPanel(panel);
            m_http = std::make_unique<HttpRemote>(*m_control);
            m_http->start({true, QStringLiteral("127.0.0.1"), 0, {}}, Token);
            m_httpPort = m_http->serverPort();
        });
    }
    ~Host()
    {
        run([&] {
            m_http.reset();
            m_control.reset();
            m_port->ClosePort();
            m_states.reset();
            m_port.reset();
        });
        m_thread.quit();
        m_thread.wait();
    }

    quint16 httpPort() const { return m_httpPort; }
    // A click as the panel's mouse makes it, queued to the host's thread.
    void click() { QMetaObject::invokeMethod(&m_context, [this] { m_control->click(1); }, Qt::QueuedConnection); }

private:
    void run(const std::function<void()> &work) { QMetaObject::invokeMethod(&m_context, work, Qt::BlockingQueuedConnection); }

    QThread m_thread;
    QObject m_context;
    std::unique_ptr<TComPort> m_port;
    std::unique_ptr<RelayStates> m_states;
    std::unique_ptr<RemoteControl> m_control;
    std::unique_ptr<HttpRemote> m_http;
    quint16 m_httpPort = 0;
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

// Reads until `until` is in what came (or a second passed); returns what came.
QByteArray readUntil(int fd, const QByteArray &until)
{
    QByteArray got;
    char buffer[4096];
    while (!got.contains(until)) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 1000) <= 0)
            break;
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            break;
        got.append(buffer, n);
    }
    return got;
}

// Waits for the first byte on the board's line; false when none came within a second.
bool firstByte(int master)
{
    pollfd p{master, POLLIN, 0};
    return ::poll(&p, 1, 1000) == 1;
}

// Times what `send` starts, up to the first byte on the board's line; false when none came.
bool timeToFirstByte(benchmark::State &state, std::vector<double> &samples, int master, const std::function<bool()> &send)
{
    const auto start = Clock::now();
    if (!send() || !firstByte(master)) {
        state.SkipWithError("the command did not arrive");
        return false;
    }
    const auto elapsed = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    samples.push_back(elapsed);
    state.SetIterationTime(elapsed / 1e6);
    return true;
}

void drain(int fd)
{
    char buffer[65536];
    pollfd p{fd, POLLIN, 0};
    while (::poll(&p, 1, 0) == 1 && ::read(fd, buffer, sizeof buffer) > 0) {
    }
}

void BM_PutRelaysToFirstByte(benchmark::State &state)
{
    Pty pty;
    Host host(pty.slave);
    const int client = connectTo(host.httpPort());
    const QByteArray body = R"({"1":"toggle"})";
    const QByteArray request = "PUT /api/relays HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Bearer " + Token
                               + "\r\nContent-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size())
                               + "\r\n\r\n" + body;
    std::vector<double> samples;
    for (auto _ : state) {
        if (!timeToFirstByte(state, samples, pty.master,
                             [&] { return ::write(client, request.constData(), size_t(request.size())) == request.size(); }))
            break;
        state.PauseTiming();
        const QByteArray answer = readUntil(client, "}");
        if (!answer.startsWith("HTTP/1.1 200"))
            state.SkipWithError("the request was refused");
        drain(pty.master);
        state.ResumeTiming();
    }
    ::close(client);
    reportPercentiles(state, samples);
}
BENCHMARK(BM_PutRelaysToFirstByte)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(300);

void BM_ClickToWireWithWebSockets(benchmark::State &state)
{
    Pty pty;
    Host host(pty.slave);
    std::vector<int> sockets;
    for (int i = 0; i < state.range(0); ++i) {
        const int fd = connectTo(host.httpPort());
        const QByteArray upgrade = "GET /api/events HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Bearer " + Token
                                   + "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Version: 13\r\n"
                                     "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n";
        if (fd < 0 || ::write(fd, upgrade.constData(), size_t(upgrade.size())) != upgrade.size()
            || !readUntil(fd, "\"relay\":16").contains("101 Switching Protocols")) {
            state.SkipWithError("a WebSocket was refused");
            return;
        }
        sockets.push_back(fd);
    }
    std::vector<double> samples;
    for (auto _ : state) {
        if (!timeToFirstByte(state, samples, pty.master, [&] { return host.click(), true; }))
            break;
        state.PauseTiming();
        // The click's pause, then every client read what it was told.
        QThread::msleep(15);
        drain(pty.master);
        for (int fd : sockets)
            drain(fd);
        state.ResumeTiming();
    }
    for (int fd : sockets)
        ::close(fd);
    reportPercentiles(state, samples);
}
BENCHMARK(BM_ClickToWireWithWebSockets)
    ->ArgName("websockets")
    ->Arg(0)
    ->Arg(50)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(200);

} // namespace

int main(int argc, char **argv)
{
    return runCoreBenchmarks(argc, argv);
}
