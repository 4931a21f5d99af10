// Playback clock drift: plays an empty sequence with the program's clock and records when
// each tick ran. Tick n is due n seconds after play was pressed.
//   bench_seqclock [TICKS]   (600 by default: ten minutes)
#include "sequencer/SequencePlayer.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace zelvar;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int ticks = argc > 1 ? std::atoi(argv[1]) : 600;
    if (ticks < 1) {
        std::fprintf(stderr, "usage: bench_seqclock [TICKS]\n");
        return 64;
    }
    SequenceState state;
    SequencePlayer player(state, [] { return PanelTarget{}; });
    std::vector<qint64> at; // nanoseconds after play was pressed
    at.reserve(size_t(ticks));
    QElapsedTimer clock;
    QObject::connect(&player, &SequencePlayer::ticked, [&] {
        at.push_back(clock.nsecsElapsed());
        if (int(at.size()) == ticks) {
            player.Btn_StopClick();
            QCoreApplication::quit();
        }
    });
    clock.start();
    player.Btn_LectureClick();
    QCoreApplication::exec();

    auto lateMs = [&](size_t i) { return double(at[i] - qint64(i + 1) * 1000000000) / 1e6; };
    double worst = 0;
    size_t worstAt = 0;
    std::printf("ticks: %d\n", ticks);
    const size_t block = std::max<size_t>(1, at.size() / 10);
    for (size_t start = 0; start < at.size(); start += block) {
        double blockWorst = 0;
        for (size_t i = start; i < std::min(at.size(), start + block); ++i)
            if (std::abs(lateMs(i)) > std::abs(blockWorst))
                blockWorst = lateMs(i);
        std::printf("ticks %4zu-%4zu: largest distance from n s %+8.3f ms\n", start + 1,
                    std::min(at.size(), start + block), blockWorst);
    }
    for (size_t i = 0; i < at.size(); ++i)
        if (std::abs(lateMs(i)) > std::abs(worst)) {
            worst = lateMs(i);
            worstAt = i + 1;
        }
    std::printf("largest: %+.3f ms at tick %zu\nlast (tick %zu): %+.3f ms\n", worst, worstAt, at.size(),
                lateMs(at.size() - 1));
    return 0;
}
