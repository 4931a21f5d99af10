// Scheduler: how long after its second the first byte of an "On" alarm is readable on a
// pseudo-terminal, on the path users run (real clock, real timers, every pause of the
// sending sequences): through the scheduler window firing the live panel's button, and
// through `zelvar-cli at`, and through the service `zelvar-cli serve`, for periods too (their
// states said at the service's start, then their ends). The targets are a median of 5 ms and a worst of 20 ms; the
// *_vs_target counters are the ratios to them (≤ 1 meets them). And the user-interface
// thread's time per clock update of the scheduler window.
#include "devices/RelayCommand.h"
#include "panel/Form_ActBtn.h"
#include "panel/PanelConfig.h"
#include "scheduler/Form_Progmt.h"
#include "scheduler/ScheduleFile.h"
#include "scheduler/ScheduleTime.h"

#include "WindowBenchMain.h"

#include <QAction>
#include <QComboBox>
#include <QDateEdit>
#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

using namespace zelvar;

namespace {

constexpr double MedianTargetMs = 5;
constexpr double WorstTargetMs = 20;

double wallMs()
{
    timespec t{};
    clock_gettime(CLOCK_REALTIME, &t);
    return double(t.tv_sec) * 1000.0 + double(t.tv_nsec) / 1e6;
}

// The board: a pseudo-terminal whose master side a thread reads, noting when each command
// ("S1N$#", five bytes) became readable. A descriptor of its own on the slave side keeps the
// line up while no program holds the port.
class Board
{
public:
    Board()
    {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        ::grantpt(master_);
        ::unlockpt(master_);
        path_ = QString::fromLocal8Bit(::ptsname(master_));
        slave_ = ::open(::ptsname(master_), O_RDWR | O_NOCTTY);
        reader_ = std::thread([this] { read(); });
    }
    ~Board()
    {
        stop_ = true;
        reader_.join();
        ::close(slave_);
        ::close(master_);
    }

    QString path() const { return path_; }
    // Waits until `count` commands arrived (or five seconds passed without one).
    std::vector<double> arrivals(size_t count)
    {
        for (int quiet = 0; quiet < 500; ++quiet) {
            if (arrived_.load() >= count)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return std::vector<double>(times_.begin(), times_.begin() + std::min(count, arrived_.load()));
    }

private:
    void read()
    {
        int pending = 0;
        while (!stop_) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0 || !(p.revents & POLLIN))
                continue;
            const double now = wallMs();
            char buffer[256];
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            for (ssize_t i = 0; i < n; ++i) {
                const size_t arrived = arrived_.load();
                if (pending == 0 && arrived < Capacity) {
                    times_[arrived] = now;
                    arrived_ = arrived + 1;
                }
                pending = (pending + 1) % 5;
            }
        }
    }

    static constexpr size_t Capacity = 1000;
    int master_ = -1;
    int slave_ = -1;
    QString path_;
    std::array<double, Capacity> times_{};
    std::atomic<size_t> arrived_{0};
    std::atomic<bool> stop_{false};
    std::thread reader_;
};

void report(benchmark::State &state, const std::vector<double> &arrivals, const std::vector<double> &seconds)
{
    std::vector<double> latency;
    for (size_t k = 0; k < arrivals.size() && k < seconds.size(); ++k)
        latency.push_back(arrivals[k] - seconds[k]);
    std::sort(latency.begin(), latency.end());
    const double median = latency.empty() ? -1 : latency[latency.size() / 2];
    const double worst = latency.empty() ? -1 : latency.back();
    state.counters["firings"] = double(latency.size());
    state.counters["best_ms"] = latency.empty() ? -1 : latency.front();
    state.counters["median_ms"] = median;
    state.counters["worst_ms"] = worst;
    state.counters["median_vs_target"] = median / MedianTargetMs;
    state.counters["worst_vs_target"] = worst / WorstTargetMs;
}

// A panel file in `dir` whose button 1 switches relay 1 on, on the board's port.
void writePanel(const QTemporaryDir &dir, const Board &board)
{
    PanelConfig config;
    config.settings.CurrentPortName = board.path();
    ButtonConfig lamp;
    lamp.mode = On;
    lamp.relay = 1;
    lamp.caption = lamp.description = QStringLiteral("Lampe");
    config.buttons = {lamp};
    config.buttonsEverHeld = true;
    writePanelConfig(config).save(dir.filePath(PanelFiles::config()));
}

// Seconds from the next whole second but one, a second apart.
std::vector<qint64> nextSeconds(int count, int ahead)
{
    const qint64 first = (QDateTime::currentMSecsSinceEpoch() / 1000 + ahead) * 1000;
    std::vector<qint64> seconds;
    for (int k = 0; k < count; ++k)
        seconds.push_back(first + k * 1000);
    return seconds;
}

// The live panel and the scheduler window, rows armed as a user arms them: time typed,
// button chosen, "Lancer".
void BM_OnAlarmFirstByte_Window(benchmark::State &state)
{
    constexpr int Firings = 10;
    for (auto _ : state) {
        Board board;
        QTemporaryDir dir;
        const QString before = QDir::currentPath();
        writePanel(dir, board);
        QDir::setCurrent(dir.path());
        {
            TForm_ActBtn panel;
            TForm_Progmt form(nullptr);
            form.showMessage = [&state](const QString &text) { state.SkipWithError(text.toUtf8().constData()); };
            form.show();
            const std::vector<qint64> seconds = nextSeconds(Firings, 2);
            for (int k = 0; k < Firings; ++k) {
                const QDateTime at = QDateTime::fromMSecsSinceEpoch(seconds[size_t(k)]);
                form.Btn_AddPrgm->trigger();
                const TForm_Progmt::Row &row = form.row(k + 1);
                row.DateTimePicker->setDate(at.date());
                row.Memo->setPlainText(timeOfDayText(at.time()));
                row.Combo->setCurrentIndex(1);
                emit row.Combo->activated(1);
                row.Btn_Lancer->click();
            }
            QEventLoop loop;
            QTimer::singleShot(int(seconds.back() - QDateTime::currentMSecsSinceEpoch()) + 500, &loop, &QEventLoop::quit);
            loop.exec();
            report(state, board.arrivals(Firings), std::vector<double>(seconds.begin(), seconds.end()));
            form.TimerA->stop();
        }
        QDir::setCurrent(before);
    }
}
BENCHMARK(BM_OnAlarmFirstByte_Window)->Iterations(1)->Unit(benchmark::kSecond);

// One `zelvar-cli at` after another, each started three seconds or less before its second.
void BM_OnAlarmFirstByte_Cli(benchmark::State &state)
{
    constexpr int Firings = 8;
    for (auto _ : state) {
        Board board;
        QTemporaryDir dir;
        writePanel(dir, board);
        std::vector<double> seconds;
        for (int k = 0; k < Firings; ++k) {
            const qint64 second = nextSeconds(1, 3).front();
            const QDateTime at = QDateTime::fromMSecsSinceEpoch(second);
            QProcess cli;
            cli.setWorkingDirectory(dir.path());
            cli.start(QStringLiteral(ZELVAR_CLI), {QStringLiteral("at"), at.date().toString(Qt::ISODate),
                                                    timeOfDayText(at.time()), QStringLiteral("1")});
            if (!cli.waitForFinished(10000) || cli.exitCode() != 0) {
                state.SkipWithError(cli.readAllStandardError().constData());
                return;
            }
            seconds.push_back(double(second));
        }
        report(state, board.arrivals(Firings), seconds);
    }
}
BENCHMARK(BM_OnAlarmFirstByte_Cli)->Iterations(1)->Unit(benchmark::kSecond);

// The service holding the port, its rows saved armed in Programateur.ini a second apart.
void BM_OnAlarmFirstByte_Service(benchmark::State &state)
{
    constexpr int Firings = 10;
    for (auto _ : state) {
        Board board;
        QTemporaryDir dir;
        writePanel(dir, board);
        const std::vector<qint64> seconds = nextSeconds(Firings, 3);
        std::vector<SavedScheduleRow> rows;
        for (qint64 second : seconds) {
            const QDateTime at = QDateTime::fromMSecsSinceEpoch(second);
            rows.push_back({at.date(), timeOfDayText(at.time()), 1, QStringLiteral("Lampe"), {}, true});
        }
        writeSchedule(rows).save(dir.filePath(ScheduleFiles::path()));
        QProcess service;
        service.setWorkingDirectory(dir.path());
        service.start(QStringLiteral(ZELVAR_CLI), {QStringLiteral("serve")});
        if (!service.waitForStarted(5000)) {
            state.SkipWithError("zelvar-cli serve did not start");
            return;
        }
        QThread::msleep(ulong(std::max<qint64>(0, seconds.back() - QDateTime::currentMSecsSinceEpoch() + 500)));
        service.terminate();
        service.waitForFinished(5000);
        report(state, board.arrivals(Firings), std::vector<double>(seconds.begin(), seconds.end()));
    }
}
BENCHMARK(BM_OnAlarmFirstByte_Service)->Iterations(1)->Unit(benchmark::kSecond);

// Periods run by the service: started inside their periods, it puts their relay on (target:
// within 2 s of its start); then each period's end fires on its second like any row.
void BM_PeriodService(benchmark::State &state)
{
    constexpr int Periods = 5;
    for (auto _ : state) {
        Board board;
        QTemporaryDir dir;
        PanelConfig config;
        config.settings.CurrentPortName = board.path();
        for (const int mode : {int(On), int(Off)}) {
            ButtonConfig button;
            button.mode = mode;
            button.relay = 1;
            button.caption = button.description = mode == On ? QStringLiteral("Pompe on") : QStringLiteral("Pompe off");
            config.buttons.push_back(button);
        }
        config.buttonsEverHeld = true;
        writePanelConfig(config).save(dir.filePath(PanelFiles::config()));
        const std::vector<qint64> ends = nextSeconds(Periods, 4);
        std::vector<SavedScheduleRow> rows;
        for (qint64 end : ends) {
            const QDateTime at = QDateTime::fromMSecsSinceEpoch(end);
            SavedScheduleRow row{at.date().addDays(-1), timeOfDayText(at.addSecs(-3600).time()), 1, QStringLiteral("Pompe on"),
                                 {Recurrence::EveryDay}, true};
            row.end = PeriodEnd{timeOfDayText(at.time()), Recurrence::Sun::None, 0, 2};
            row.endDescription = QStringLiteral("Pompe off");
            rows.push_back(row);
        }
        writeSchedule(rows).save(dir.filePath(ScheduleFiles::path()));
        QProcess service;
        service.setWorkingDirectory(dir.path());
        const double started = wallMs();
        service.start(QStringLiteral(ZELVAR_CLI), {QStringLiteral("serve")});
        if (!service.waitForStarted(5000)) {
            state.SkipWithError("zelvar-cli serve did not start");
            return;
        }
        QThread::msleep(ulong(std::max<qint64>(0, ends.back() - QDateTime::currentMSecsSinceEpoch() + 500)));
        service.terminate();
        service.waitForFinished(5000);
        const std::vector<double> arrivals = board.arrivals(2 * Periods);
        if (arrivals.size() < size_t(2 * Periods)) {
            state.SkipWithError("the board did not receive every state and end");
            return;
        }
        const double asserted = arrivals[Periods - 1] - started;
        state.counters["start_to_states_ms"] = asserted;
        state.counters["states_vs_2s"] = asserted / 2000;
        report(state, std::vector<double>(arrivals.begin() + Periods, arrivals.end()), std::vector<double>(ends.begin(), ends.end()));
    }
}
BENCHMARK(BM_PeriodService)->Iterations(1)->Unit(benchmark::kSecond);

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
    // What the alarms fired is remembered in a folder of the run's own, not the user's.
    QTemporaryDir state;
    qputenv("XDG_STATE_HOME", state.path().toLocal8Bit());
    return runWindowBenchmarks(argc, argv);
}
