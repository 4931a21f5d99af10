// Scheduler: how long after its second a row's first byte is readable on a pseudo-terminal
// (over 20 firings, a second apart, on the system clock and timer), and the user-interface
// thread's time per clock update of the scheduler window.
#include "common/Pause.h"
#include "devices/ComPort.h"
#include "devices/RelayCommand.h"
#include "devices/SendSequences.h"
#include "scheduler/Form_Progmt.h"
#include "scheduler/ScheduleEngine.h"
#include "scheduler/ScheduleTime.h"

#include "WindowBenchMain.h"

#include <QApplication>
#include <QDateTime>
#include <QEventLoop>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

using namespace zelvar;

namespace {

double wallMs()
{
    timespec t{};
    clock_gettime(CLOCK_REALTIME, &t);
    return double(t.tv_sec) * 1000.0 + double(t.tv_nsec) / 1e6;
}

void BM_FiringLatency(benchmark::State &state)
{
    constexpr int Firings = 20;
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ::grantpt(master);
    ::unlockpt(master);
    setPauseHook([](int) {});
    for (auto _ : state) {
        TComPort port;
        port.setPort(QString::fromLocal8Bit(::ptsname(master)));
        port.OpenPort();
        SystemScheduleClock clock;
        ScheduleEngine engine(clock);
        const qint64 first = (QDateTime::currentMSecsSinceEpoch() / 1000 + 2) * 1000;
        std::vector<double> seconds;
        for (int k = 0; k < Firings; ++k) {
            const QDateTime at = QDateTime::fromMSecsSinceEpoch(first + k * 1000);
            engine.addRow(at.date(), timeOfDayText(at.time()), 1);
            engine.arm(k + 1);
            seconds.push_back(double(first + k * 1000));
        }
        std::vector<double> arrivals;
        std::thread reader([&] {
            while (int(arrivals.size()) < Firings) {
                pollfd p{master, POLLIN, 0};
                if (::poll(&p, 1, 5000) <= 0)
                    return;
                const double now = wallMs();
                char buffer[256];
                const ssize_t n = ::read(master, buffer, sizeof buffer);
                for (ssize_t i = 0; i + 5 <= n; i += 5)
                    arrivals.push_back(now);
            }
        });
        QEventLoop loop;
        int fired = 0;
        QObject::connect(&engine, &ScheduleEngine::fired, &loop, [&](int, int) {
            Send::step(port, On, {QByteArray(), QByteArray(), relayCommand(1, RelayAction::On)});
            if (++fired == Firings)
                loop.quit();
        });
        loop.exec();
        reader.join();
        port.ClosePort();
        std::vector<double> latency;
        for (size_t k = 0; k < arrivals.size() && k < seconds.size(); ++k)
            latency.push_back(arrivals[k] - seconds[k]);
        std::sort(latency.begin(), latency.end());
        state.counters["firings"] = double(latency.size());
        state.counters["median_ms"] = latency.empty() ? -1 : latency[latency.size() / 2];
        state.counters["worst_ms"] = latency.empty() ? -1 : latency.back();
        state.counters["best_ms"] = latency.empty() ? -1 : latency.front();
    }
    setPauseHook({});
    ::close(master);
}
BENCHMARK(BM_FiringLatency)->Iterations(1)->Unit(benchmark::kSecond);

void BM_ClockUpdate(benchmark::State &state)
{
    TForm_Progmt form(nullptr);
    for (int k = 0; k < 7; ++k)
        form.Btn_AddPrgmClick();
    form.show();
    for (auto _ : state)
        form.TimerATimer();
    form.TimerA->stop();
}
BENCHMARK(BM_ClockUpdate)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    return runWindowBenchmarks(argc, argv);
}
