// Loading and saving a sequence file of 12 tracks, from 50 to 7 200 timed buttons each (two
// hours, a button a second on every track).
#include "sequencer/Sequence.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>

using namespace zelvar;

namespace {

SequenceState sequence(int buttonsPerTrack)
{
    SequenceState s;
    for (int n = 1; n <= 12; ++n) {
        s.AddPiste2().Code = n;
        for (int j = 1; j <= buttonsPerTrack; ++j)
            s.addBtn(n, (j * 7 + n) % 7200);
    }
    s.loopLeft = 120 + 3600;
    s.CoefTaille = 12;
    return s;
}

void BM_SequenceLoad(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Sequenceur.ini");
    sequence(int(state.range(0))).EnregistrerIni_Seq(path);
    for (auto _ : state) {
        SequenceState loaded;
        loaded.FichierSeq = path;
        loaded.Chargement(12);
        benchmark::DoNotOptimize(loaded.Pistes.data());
    }
    state.SetComplexityN(state.range(0));
}

void BM_SequenceSave(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Sequenceur.ini");
    const SequenceState s = sequence(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(s.EnregistrerIni_Seq(path));
    state.SetComplexityN(state.range(0));
}

} // namespace

BENCHMARK(BM_SequenceLoad)->Arg(50)->Arg(125)->Arg(250)->Arg(500)->Arg(7200)->Unit(benchmark::kMillisecond)->Complexity();
BENCHMARK(BM_SequenceSave)->Arg(50)->Arg(125)->Arg(250)->Arg(500)->Arg(7200)->Unit(benchmark::kMillisecond)->Complexity();
BENCHMARK_MAIN();
