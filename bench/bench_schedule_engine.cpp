// Schedule engine with many armed rows, on the system clock and timer: one look at the clock,
// and arming the last row. For scale, the local-time conversion of every row that a look
// would cost if rows did not keep their instants. What the memory of the rows costs: a
// firing's record (written after its bytes, beside the 210 ms of a relay firing's pauses),
// and arming every row at start with what it remembers, against arming them plainly.
#include "scheduler/ScheduleEngine.h"
#include "scheduler/ScheduleMemory.h"
#include "scheduler/ScheduleTime.h"

#include "CoreBenchMain.h"

#include <QDateTime>
#include <QTemporaryDir>
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

// A memory of `rows` rows in a state folder of the benchmark's own.
struct Memory
{
    explicit Memory(int rows)
    {
        qputenv("XDG_STATE_HOME", state.path().toLocal8Bit());
        memory.emplace(folder.path());
        for (int k = 0; k < rows; ++k)
            keys << QStringLiteral("row %1").arg(k);
        QHash<QString, qint64> all;
        for (const QString &key : keys)
            all.insert(key, QDateTime::currentMSecsSinceEpoch() - 86400000);
        memory->remember(all);
    }
    QTemporaryDir state, folder;
    std::optional<ScheduleMemory> memory;
    QStringList keys;
};

void BM_RememberAFiring(benchmark::State &state)
{
    Memory m(int(state.range(0)));
    qint64 due = QDateTime::currentMSecsSinceEpoch();
    for (auto _ : state)
        if (!m.memory->remember(m.keys.first(), ++due))
            state.SkipWithError("not written");
    state.counters["rows"] = double(state.range(0));
}
BENCHMARK(BM_RememberAFiring)->Arg(1)->Arg(1000)->Unit(benchmark::kMillisecond);

// Every day at a clock time, 1000 rows: armed plainly, or resumed from the memory.
void BM_ArmAtStart(benchmark::State &state)
{
    const bool resume = state.range(0) == 1;
    Memory m(1000);
    for (auto _ : state) {
        SystemScheduleClock clock;
        ScheduleEngine engine(clock);
        addRows(engine, 1000, false);
        for (int i = 1; i <= engine.count(); ++i) {
            engine.setRecurrence(i, {Recurrence::EveryDay, Recurrence::Sun::None, 0});
            const auto result = resume ? engine.resume(i, m.memory->accountedUntil(m.keys[i - 1])) : engine.arm(i);
            if (result != ScheduleEngine::Arming::Armed)
                state.SkipWithError("refused");
        }
    }
    state.SetLabel(resume ? "resumed from the memory" : "armed");
}
BENCHMARK(BM_ArmAtStart)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    return runCoreBenchmarks(argc, argv);
}
