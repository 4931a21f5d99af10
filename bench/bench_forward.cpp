// One relay command from the call until its bytes are readable on the board's
// pseudo-terminal: written by this process's own port, and forwarded through the service
// (zelvar-cli serve) that holds the port, as zelvar-cli and the program do while it runs.
#include "common/SingleInstance.h"
#include "devices/ComPort.h"
#include "devices/RelayCommand.h"
#include "panel/PanelConfig.h"

#include "CoreBenchMain.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>
#include <vector>

using namespace zelvar;
using Clock = std::chrono::steady_clock;

namespace {

struct Pty
{
    int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    QString slave;
    Pty()
    {
        if (master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0)
            slave = QString::fromLocal8Bit(::ptsname(master));
    }
    ~Pty() { ::close(master); }
};

// The service in a folder of its own, holding the pseudo-terminal, under its own instance name.
class Service
{
public:
    explicit Service(const QString &device)
    {
        PanelConfig config;
        config.settings.CurrentPortName = device;
        ButtonConfig on;
        on.mode = On;
        on.relay = 1;
        config.buttons = {on};
        config.buttonsEverHeld = true;
        writePanelConfig(config).save(m_dir.filePath(PanelFiles::config()));
        m_name = QStringLiteral("zelvar-bench-%1").arg(::getpid());
        qputenv("ZELVAR_INSTANCE_NAME", m_name.toUtf8());
        m_process.setWorkingDirectory(m_dir.path());
        m_process.start(QStringLiteral(ZELVAR_CLI), {QStringLiteral("serve")});
        for (QDeadlineTimer deadline(10000); !deadline.hasExpired(); QThread::msleep(20)) {
            const std::optional<host::Hello> hello = SingleInstance::hello(m_name, 500);
            if ((m_holds = hello && hello->open))
                break;
        }
    }
    ~Service()
    {
        m_process.terminate();
        m_process.waitForFinished(5000);
        qunsetenv("ZELVAR_INSTANCE_NAME");
    }
    bool holds() const { return m_holds; }

private:
    QTemporaryDir m_dir;
    QString m_name;
    QProcess m_process;
    bool m_holds = false;
};

void BM_CommandToReadable(benchmark::State &state)
{
    Pty pty;
    std::unique_ptr<Service> service;
    if (state.range(0)) {
        service = std::make_unique<Service>(pty.slave);
        if (!service->holds()) {
            state.SkipWithError("the service does not hold the port");
            return;
        }
    }
    TComPort port;
    port.setPort(pty.slave);
    port.OpenPort();
    std::vector<double> samples;
    samples.reserve(100000);
    const QByteArray command("S1N$#");
    char buffer[64];
    for (auto _ : state) {
        const auto start = Clock::now();
        port.SendText(command);
        int got = 0;
        while (got < command.size()) {
            pollfd p{pty.master, POLLIN, 0};
            ::poll(&p, 1, 1000);
            const ssize_t n = ::read(pty.master, buffer, sizeof buffer);
            if (n <= 0) {
                state.SkipWithError("the command did not arrive");
                break;
            }
            got += int(n);
        }
        const auto elapsed = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
        samples.push_back(elapsed);
        state.SetIterationTime(elapsed / 1e6);
        state.PauseTiming();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    port.ClosePort();
    if (samples.empty())
        return;
    std::sort(samples.begin(), samples.end());
    state.counters["median_us"] = samples[samples.size() / 2];
    state.counters["p99_us"] = samples[size_t(0.99 * double(samples.size() - 1))];
    state.counters["max_us"] = samples.back();
}
BENCHMARK(BM_CommandToReadable)->ArgName("through_service")->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    return runCoreBenchmarks(argc, argv);
}
