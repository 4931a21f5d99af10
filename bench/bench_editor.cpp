// The layout editor on a 100-button, 20-text panel: opened (loaded, shown and painted), and
// saved. Runs on the platform Qt picks (set QT_QPA_PLATFORM=xcb under Xvfb to include the X
// server).
#include "editors/Form_CfgBtn.h"
#include "forms/Forms.h"
#include "panel/PanelConfig.h"

#include "WindowBenchMain.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <benchmark/benchmark.h>

using namespace zelvar;

namespace {

struct Workdir
{
    QTemporaryDir dir;

    Workdir()
    {
        PanelConfig config;
        for (int k = 1; k <= 100; ++k) {
            ButtonConfig b;
            b.mode = 1 + k % 5;
            b.relay = 1 + k % 16;
            b.prontoCode = QStringLiteral("0000 006D 0000 0001 0020 0030");
            b.left = 10 + (k % 7) * 82;
            b.top = 10 + (k / 7) * 22;
            b.caption = QStringLiteral("Bouton %1").arg(k);
            b.description = QStringLiteral("Relais %1").arg(b.relay);
            b.shortcutName = QStringLiteral("VK_NONE");
            config.buttons.push_back(b);
        }
        for (int k = 1; k <= 20; ++k)
            config.texts.push_back({QStringLiteral("Texte %1").arg(k), 10 + (k % 10) * 55, 300 + (k / 10) * 20});
        config.buttonsEverHeld = config.textsEverHeld = true;
        QDir::setCurrent(dir.path());
        writePanelConfig(config).save(PanelFiles::config());
        QImage picture(600, 350, QImage::Format_RGB32);
        picture.fill(QColor(40, 80, 120));
        savePanelPicture(picture, PanelFiles::picture());
    }
};

void BM_EditorOpened(benchmark::State &state)
{
    Workdir work;
    for (auto _ : state) {
        auto editor = std::make_unique<TForm_CfgBtn>();
        editor->show();
        benchmark::DoNotOptimize(QTest::qWaitForWindowExposed(editor.get(), 5000));
        editor->grab();
        state.PauseTiming();
        Forms::instance().settings.ExitMenusEnabled = false;
        editor->close();
        editor.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}

void BM_EditorSaved(benchmark::State &state)
{
    Workdir work;
    TForm_CfgBtn editor;
    for (auto _ : state)
        benchmark::DoNotOptimize(editor.save());
}

} // namespace

BENCHMARK(BM_EditorOpened)->Unit(benchmark::kMillisecond)->Iterations(20)->Repetitions(3);
BENCHMARK(BM_EditorSaved)->Unit(benchmark::kMillisecond)->Iterations(50)->Repetitions(3);

int main(int argc, char **argv)
{
    return runWindowBenchmarks(argc, argv);
}
