#include "panel/PanelConfig.h"
#include "panel/ShortcutKeys.h"

#include "../devices/ComPortPty.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <list>

using namespace zelvar;
using zelvar::testing::PseudoTerminal;

namespace {

// Runs under xvfb-run: starts the program, focuses its window, then holds F1 for two
// seconds; later holds F1 again and, while its pulse is being sent, presses F2 and holds it
// for a second.
const char *const KeyScript = R"(
"$ZELVAR_PROGRAM" & program=$!
timeout 15 xdotool search --sync --onlyvisible --name '^Zelvar$' windowfocus --sync \
    mousemove --window %1 300 200 || { kill $program; exit 3; }
xdotool keydown F1 sleep 2 keyup F1 sleep 0.8 \
    keydown F1 sleep 0.2 keydown F2 sleep 1 keyup F2 keyup F1 sleep 1.5
kill $program
wait $program
exit 0
)";

ButtonConfig impulse(int relay, int key)
{
    ButtonConfig b;
    b.mode = 1;
    b.relay = relay;
    b.left = 100 * relay;
    b.top = 60;
    b.caption = b.description = QStringLiteral("Relais %1").arg(relay);
    b.shortcut = key;
    b.shortcutName = shortcutNameForCode(key).value_or(QString());
    return b;
}

} // namespace

// The real program on an X server while every core is kept busy: the server repeats a held
// key as release and press pairs, which a busy program may receive unmarked.
TEST(HeldKeyUnderX11, FiresOnceAndAKeyPressedDuringItsSendStillFires)
{
    if (QStandardPaths::findExecutable(QStringLiteral("xvfb-run")).isEmpty()
        || QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        GTEST_SKIP() << "needs xvfb-run and xdotool (scripts/install-deps)";

    QTemporaryDir dir;
    PseudoTerminal board;
    ASSERT_TRUE(dir.isValid() && board.isValid());
    PanelConfig config;
    config.settings.CurrentPortName = board.slavePath();
    config.buttons = {impulse(1, shortcutCode("VK_F1")), impulse(2, shortcutCode("VK_F2"))};
    config.texts = {TextConfig{QStringLiteral("Maison"), 40, 20}};
    config.buttonsEverHeld = config.textsEverHeld = true;
    ASSERT_TRUE(writePanelConfig(config).save(dir.filePath(PanelFiles::config())).ok);

    std::list<QProcess> busy(QThread::idealThreadCount());
    for (QProcess &loop : busy)
        loop.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("while :; do :; done")});

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("ZELVAR_PROGRAM"), QStringLiteral(ZELVAR_PROGRAM));
    // The single-instance guard keeps to this test.
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
    environment.insert(QStringLiteral("TMPDIR"), dir.path());
    QProcess run;
    run.setWorkingDirectory(dir.path());
    run.setProcessEnvironment(environment);
    run.start(QStringLiteral("xvfb-run"), {QStringLiteral("-a"), QStringLiteral("-s"), QStringLiteral("-screen 0 1024x768x24"),
                                           QStringLiteral("sh"), QStringLiteral("-c"), QString::fromLatin1(KeyScript)});
    const bool finished = run.waitForFinished(40000);
    for (QProcess &loop : busy) {
        loop.kill();
        loop.waitForFinished();
    }
    ASSERT_TRUE(finished && run.exitCode() == 0) << run.readAllStandardError().toStdString();

    EXPECT_EQ(board.drain(100), QByteArray("S1N$#S1F$#" "S1N$#S1F$#" "S2N$#S2F$#"));
}
