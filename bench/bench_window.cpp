// Start to panel shown: the main window with a 100-button panel, created, shown and painted.
// The program's start with none or 100 daily rows saved armed: the same, the scheduler made
// hidden and its rows loaded and armed first.
// "Appliquer" of the layout editor on a 1 000-button panel: the live panel rebuilt and painted.
// Runs on the platform Qt picks (set QT_QPA_PLATFORM=xcb under Xvfb to include the X server).
#include "app/Form_Base.h"
#include "forms/Forms.h"
#include "panel/Form_ActBtn.h"
#include "panel/PanelConfig.h"
#include "scheduler/ScheduleFile.h"

#include "WindowBenchMain.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

using namespace zelvar;

namespace {

long residentKilobytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return 0;
}

// Relay buttons in rows of seven; past fifteen rows they lie over the first ones.
std::vector<ButtonConfig> relayButtons(int count)
{
    std::vector<ButtonConfig> buttons;
    for (int k = 1; k <= count; ++k) {
        ButtonConfig b;
        b.mode = 1 + k % 4;
        b.relay = 1 + k % 16;
        b.left = 10 + (k % 7) * 82;
        b.top = 10 + (k / 7 % 15) * 22;
        b.caption = QStringLiteral("Bouton %1").arg(k);
        b.description = QStringLiteral("Relais %1").arg(b.relay);
        buttons.push_back(b);
    }
    return buttons;
}

std::vector<TextConfig> texts()
{
    std::vector<TextConfig> result;
    for (int k = 1; k <= 10; ++k)
        result.push_back({QStringLiteral("Texte %1").arg(k), 10 + k * 50, 330});
    return result;
}

// A 100-button panel in a folder of its own, its port a pseudo-terminal nobody reads.
struct Workdir
{
    QTemporaryDir dir;
    int master = -1;

    Workdir()
    {
        master = ::posix_openpt(O_RDWR | O_NOCTTY);
        ::grantpt(master);
        ::unlockpt(master);
        PanelConfig config;
        config.settings.CurrentPortName = QString::fromLocal8Bit(::ptsname(master));
        config.buttons = relayButtons(100);
        config.texts = texts();
        QDir::setCurrent(dir.path());
        writePanelConfig(config).save(PanelFiles::config());
        QImage picture(600, 350, QImage::Format_RGB32);
        picture.fill(QColor(40, 80, 120));
        savePanelPicture(picture, PanelFiles::picture());
    }
    ~Workdir() { ::close(master); }
};

void BM_MainWindowShown(benchmark::State &state)
{
    Workdir work;
    long peak = 0;
    for (auto _ : state) {
        auto base = std::make_unique<TForm_Base>();
        base->show();
        benchmark::DoNotOptimize(QTest::qWaitForWindowExposed(base.get(), 5000));
        base->grab();
        peak = std::max(peak, residentKilobytes());
        state.PauseTiming();
        base->close();
        base.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["rss_MB"] = double(peak) / 1024.0;
}

void BM_ProgramStarted(benchmark::State &state)
{
    Workdir work;
    // What the alarms did is remembered in the folder of the run, not the user's.
    qputenv("XDG_STATE_HOME", work.dir.filePath(QStringLiteral("state")).toLocal8Bit());
    std::vector<SavedScheduleRow> rows;
    for (int k = 0; k < state.range(0); ++k)
        rows.push_back({QDate::currentDate(), QTime(0, 0).addSecs(k * 60 + 7).toString(QStringLiteral("hh:mm:ss")),
                        1 + k, QString(), Recurrence{Recurrence::EveryDay}, true});
    writeSchedule(rows).save(ScheduleFiles::path());
    for (auto _ : state) {
        auto base = std::make_unique<TForm_Base>();
        base->Start({QStringLiteral("zelvar")});
        benchmark::DoNotOptimize(QTest::qWaitForWindowExposed(base.get(), 5000));
        base->grab();
        state.PauseTiming();
        Forms::instance().QuitConfirmed = true;
        base->close();
        base.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}

void BM_PanelRebuilt(benchmark::State &state)
{
    Workdir work;
    TForm_Base base;
    base.show();
    benchmark::DoNotOptimize(QTest::qWaitForWindowExposed(&base, 5000));
    TForm_ActBtn *panel = Forms::instance().Form_ActBtn;
    const std::vector<ButtonConfig> buttons = relayButtons(int(state.range(0)));
    panel->Rebuild(buttons, texts());
    for (auto _ : state) {
        panel->Rebuild(buttons, texts());
        panel->grab();
    }
    base.close();
}

} // namespace

BENCHMARK(BM_MainWindowShown)->Unit(benchmark::kMillisecond)->Iterations(20)->Repetitions(3);
BENCHMARK(BM_ProgramStarted)->Arg(0)->Arg(100)->Unit(benchmark::kMillisecond)->Iterations(10)->Repetitions(3);
BENCHMARK(BM_PanelRebuilt)->Arg(1000)->Unit(benchmark::kMillisecond)->Iterations(5)->Repetitions(3);

int main(int argc, char **argv)
{
    return runWindowBenchmarks(argc, argv);
}
