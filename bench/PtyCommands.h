#pragma once

// What the serial benchmarks share: a relay command timed from the call until its bytes
// are readable on the pseudo-terminal standing for the board.
#include "BenchPty.h"
#include "Percentiles.h"
#include "devices/ComPort.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>

#include <chrono>
#include <poll.h>
#include <vector>

namespace zelvar::bench {

using Clock = std::chrono::steady_clock;

using ::Pty;

// "S1N$#" through the open port, each iteration from the call until the bytes are readable
// on the pseudo-terminal's master side.
inline void commandToReadable(benchmark::State &state, TComPort &port, const Pty &pty)
{
    std::vector<double> samples;
    samples.reserve(200000);
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
        // The program's event loop serves the event thread between commands.
        state.PauseTiming();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    reportPercentiles(state, samples);
}

} // namespace zelvar::bench
