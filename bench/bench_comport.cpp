// Serial port costs on a pseudo-terminal: one relay command from the call until its bytes
// are readable on the other side (alone, and with the relay states learning from it), the
// states' learning by itself, and opening plus closing with the event thread.
#include "devices/ComPort.h"
#include "remote/RelayStates.h"

#include "CoreBenchMain.h"
#include "PtyCommands.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>

using namespace zelvar;
using bench::Clock;

namespace {

void BM_SendTextToReadable(benchmark::State &state)
{
    Pty pty;
    TComPort port;
    RelayStates states;
    if (state.range(0))
        states.follow(port);
    port.setPort(pty.slave);
    port.OpenPort();
    bench::commandToReadable(state, port, pty);
    port.ClosePort();
}
BENCHMARK(BM_SendTextToReadable)->ArgName("states")->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMicrosecond);

// What the relay states add to every write: one command, and "Tout éteindre"'s sixteen as one text.
void BM_LearnWrittenText(benchmark::State &state)
{
    RelayStates states;
    QByteArray text;
    for (int relay = 1; relay <= state.range(0); ++relay)
        text += "S" + QByteArray::number(relay) + (relay % 2 ? "N$#" : "T$#");
    for (auto _ : state) {
        states.learn(text);
        benchmark::DoNotOptimize(states.state(1));
    }
}
BENCHMARK(BM_LearnWrittenText)->ArgName("commands")->Arg(1)->Arg(16)->Unit(benchmark::kNanosecond);

void BM_OpenAndClose(benchmark::State &state)
{
    Pty pty;
    TComPort port;
    port.setPort(pty.slave);
    std::vector<double> samples;
    for (auto _ : state) {
        const auto start = Clock::now();
        port.OpenPort();
        port.ClosePort();
        const auto elapsed = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
        samples.push_back(elapsed);
        state.SetIterationTime(elapsed / 1e6);
    }
    reportPercentiles(state, samples);
}
BENCHMARK(BM_OpenAndClose)->UseManualTime()->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    return runCoreBenchmarks(argc, argv);
}
