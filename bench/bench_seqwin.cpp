// The sequencer window: a sequence of 12 tracks × 200 timed buttons, and one of 12 × 7 200
// (two hours, a button a second on every track), opened (file read, controls built, window
// shown and painted), and one playback tick at zoom 12 with the view following the cursor. Runs on the platform Qt picks (QT_QPA_PLATFORM=xcb under Xvfb).
#include "common/Pause.h"
#include "forms/Forms.h"
#include "panel/Form_ActBtn.h"
#include "panel/PanelConfig.h"
#include "sequencer/FSequenceur.h"
#include "sequencer/SequencePlayer.h"

#include "sequencer/StepClock.h"

#include "WindowBenchMain.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

using namespace zelvar;
using zelvar::testing::StepClock;

namespace {

// Twelve Imp buttons on a pseudo-terminal, and a sequence of 12 tracks, one bound to each,
// of `perTrack` buttons spread over two hours.
struct Workdir
{
    QTemporaryDir dir;
    int master = -1;
    std::unique_ptr<TForm_ActBtn> panel;

    explicit Workdir(int zoom, int perTrack = 200)
    {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        ::grantpt(master);
        ::unlockpt(master);
        QDir::setCurrent(dir.path());
        PanelConfig config;
        config.settings.CurrentPortName = QString::fromLocal8Bit(::ptsname(master));
        for (int k = 1; k <= 12; ++k) {
            ButtonConfig b;
            b.mode = 1;
            b.relay = k;
            b.left = 10 + k * 40;
            b.top = 10;
            b.caption = QStringLiteral("B%1").arg(k);
            b.description = QStringLiteral("Relais %1").arg(k);
            config.buttons.push_back(b);
        }
        writePanelConfig(config).save(PanelFiles::config());
        SequenceState s;
        s.CoefTaille = zoom;
        for (int n = 1; n <= 12; ++n) {
            s.AddPiste2().Code = n;
            for (int j = 1; j <= perTrack; ++j)
                s.addBtn(n, (j * (7200 / perTrack) + n) % 7200);
        }
        s.EnregistrerIni_Seq(QStringLiteral("Sequenceur.ini"));
        panel = std::make_unique<TForm_ActBtn>();
        setPauseHook([](int) {});
    }
    void drain()
    {
        char buffer[65536];
        while (::read(master, buffer, sizeof buffer) > 0) {
        }
    }
    ~Workdir()
    {
        setPauseHook({});
        panel.reset();
        ::close(master);
    }
};

void BM_SequencerOpened(benchmark::State &state)
{
    Workdir work(1, int(state.range(0)));
    for (auto _ : state) {
        auto *form = new TFSequenceur(nullptr, std::make_unique<StepClock>());
        form->setGeometry(200, 200, 887, 662);
        form->show();
        benchmark::DoNotOptimize(QTest::qWaitForWindowExposed(form, 5000));
        form->grab();
        state.PauseTiming();
        delete form;
        Forms::instance().sequence = SequenceState{};
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}

void BM_TickFollowingAtZoom12(benchmark::State &state)
{
    Workdir work(12);
    auto owned = std::make_unique<StepClock>();
    StepClock *clock = owned.get();
    auto *form = new TFSequenceur(nullptr, std::move(owned));
    form->setGeometry(200, 200, 887, 662);
    form->show();
    benchmark::DoNotOptimize(QTest::qWaitForWindowExposed(form, 5000));
    form->Btn_LectureClick();
    Forms::instance().sequence.PositionLecture = 1000;
    for (auto _ : state) {
        clock->step();
        QCoreApplication::processEvents();
        state.PauseTiming();
        work.drain();
        state.ResumeTiming();
    }
    delete form;
    Forms::instance().sequence = SequenceState{};
}

} // namespace

BENCHMARK(BM_SequencerOpened)->Arg(200)->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(3);
// The target: 12 × 7 200 opened in 2 s or less.
BENCHMARK(BM_SequencerOpened)->Arg(7200)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);
BENCHMARK(BM_TickFollowingAtZoom12)->Unit(benchmark::kMillisecond)->Iterations(600);

int main(int argc, char **argv)
{
    return runWindowBenchmarks(argc, argv);
}
