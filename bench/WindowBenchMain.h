#pragma once

#include <QApplication>
#include <benchmark/benchmark.h>

// The main of a benchmark of windows: the offscreen platform unless another is asked for
// (QT_QPA_PLATFORM=xcb under xvfb-run includes the X server), then the registered runs.
inline int runWindowBenchmarks(int argc, char **argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
