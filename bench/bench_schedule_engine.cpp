// Schedule engine with many armed rows, on the system clock and timer: one look at the clock,
// and arming the last row. For scale, the local-time conversion of every row that a look
// would cost if rows did not keep their instants.
#include "scheduler/ScheduleEngine.h"
#include "scheduler/ScheduleTime.h"

#include "CoreBenchMain.h"

#include <QDateTime>
#include <benchmark/benchmark.h>

using namespace zelvar;

namespace {

// Rows an hour ahead, a second apart, so that none fires while the benchmark runs.
QDateTime rowTime(int k)
{
    return QDateTime::currentDateTime().addSecs(3600 + k);
}

void addRows(ScheduleEngine &engine, int rows, bool arm)
{
    const QDateTime first = rowTime(0);
    for (int k = 0; k < rows; ++k) {
        const QDateTime at = first.addSecs(k);
        const int i = engine.addRow(at.date(), timeOfDayText(at.time()), 1);
        if (arm && engine.arm(i) != ScheduleEngine::Arming::Armed)
            std::abort();
    }
}

void BM_LookWithArmedRows(benchmark::State &state)
{
    SystemScheduleClock clock;
    ScheduleEngine engine(clock);
    addRows(engine, int(state.range(0)), true);
    for (auto _ : state)
        engine.check();
    state.counters["armed"] = double(state.range(0));
}
BENCHMARK(BM_LookWithArmedRows)->Arg(1)->Arg(1000)->Unit(benchmark::kMicrosecond);

// The same look when the rows repeat: every day at a clock time, and every day at sunset.
void BM_LookWithArmedRepeatingRows(benchmark::State &state)
{
    SystemScheduleClock clock;
    ScheduleEngine engine(clock);
    engine.setPlace(GeoPlace{48.8566, 2.3522});
    addRows(engine, int(state.range(0)), false);
    for (int i = 1; i <= engine.count(); ++i) {
        const Recurrence::Sun sun = i % 2 ? Recurrence::Sun::None : Recurrence::Sun::Set;
        engine.setRecurrence(i, {Recurrence::EveryDay, sun, 0});
        if (engine.arm(i) != ScheduleEngine::Arming::Armed)
            std::abort();
    }
    for (auto _ : state)
        engine.check();
    state.counters["armed"] = double(state.range(0));
}
BENCHMARK(BM_LookWithArmedRepeatingRows)->Arg(1000)->Unit(benchmark::kMicrosecond);

void BM_ArmTheLastRow(benchmark::State &state)
{
    SystemScheduleClock clock;
    ScheduleEngine engine(clock);
    addRows(engine, int(state.range(0)) - 1, true);
    const QDateTime at = rowTime(int(state.range(0)) - 1);
    const int last = engine.addRow(at.date(), timeOfDayText(at.time()), 1);
    for (auto _ : state) {
        if (engine.arm(last) != ScheduleEngine::Arming::Armed)
            state.SkipWithError("refused");
        state.PauseTiming();
        engine.disarm(last);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ArmTheLastRow)->Arg(1000)->Unit(benchmark::kMicrosecond);

void BM_ConvertEveryRow(benchmark::State &state)
{
    const QDateTime first = rowTime(0);
    std::vector<std::pair<QDate, QTime>> rows;
    for (int k = 0; k < state.range(0); ++k)
        rows.emplace_back(first.addSecs(k).date(), first.addSecs(k).time());
    for (auto _ : state)
        for (const auto &[date, time] : rows)
            benchmark::DoNotOptimize(localInstant(date, time));
}
BENCHMARK(BM_ConvertEveryRow)->Arg(1000)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    return runCoreBenchmarks(argc, argv);
}
