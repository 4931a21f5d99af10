#pragma once

#include <QCoreApplication>
#include <benchmark/benchmark.h>

// The main of a benchmark without windows: an event loop's application, then the registered runs.
inline int runCoreBenchmarks(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
