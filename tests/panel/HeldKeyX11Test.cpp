#include "panel/PanelConfig.h"
#include "panel/ShortcutKeys.h"

#include "../devices/ComPortPty.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace zelvar;
using zelvar::testing::PseudoTerminal;

namespace {

// Runs under xvfb-run: tells the test which display it got, starts the program and ends it
// when the test leaves a "stop" file (or after a minute, whatever happens to the test).
const char *const ProgramScript = R"(
printf '%s\n%s\n' "$DISPLAY" "$XAUTHORITY" > display.part && mv display.part display
"$ZELVAR_PROGRAM" & program=$!
i=0
while [ ! -e stop ] && [ $i -lt 600 ]; do sleep 0.1; i=$((i + 1)); done
kill $program
wait $program
)";

ButtonConfig impulse(int relay, int key, int left)
{
    ButtonConfig b;
    b.mode = 1;
    b.relay = relay;
    b.left = left;
    b.top = 60;
    b.caption = QStringLiteral("Relais %1").arg(relay);
    b.description = b.caption;
    b.shortcut = key;
    b.shortcutName = shortcutNameForCode(key).value_or(QString());
    return b;
}

// What the board receives until `size` bytes have come, then until it stays quiet for longer
// than the pauses inside a shortcut's sending.
QByteArray collect(PseudoTerminal &board, qsizetype size)
{
    QByteArray bytes;
    QDeadlineTimer deadline(5000);
    while (bytes.size() < size && !deadline.hasExpired())
        bytes += board.drain(100);
    return bytes + board.drain(1000);
}

// One endless loop per core for as long as it lives.
struct BusyCores
{
    std::vector<std::unique_ptr<QProcess>> loops;

    BusyCores()
    {
        for (int i = 0; i < QThread::idealThreadCount(); ++i) {
            loops.push_back(std::make_unique<QProcess>());
            loops.back()->start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("while :; do :; done")});
        }
    }
    ~BusyCores()
    {
        for (const auto &loop : loops) {
            loop->kill();
            loop->waitForFinished();
        }
    }
};

} // namespace

// The real program on an X server, its keys pressed and held by xdotool while every core is
// kept busy: the server repeats a held key as release and press pairs, which a busy program
// may receive unmarked.
TEST(HeldKeyUnderX11, FiresOnceAndAKeyPressedDuringItsSendStillFires)
{
    const QString xvfbRun = QStandardPaths::findExecutable(QStringLiteral("xvfb-run"));
    const QString xdotool = QStandardPaths::findExecutable(QStringLiteral("xdotool"));
    if (xvfbRun.isEmpty() || xdotool.isEmpty())
        GTEST_SKIP() << "needs xvfb-run and xdotool (scripts/install-deps)";

    QTemporaryDir dir;
    PseudoTerminal board;
    ASSERT_TRUE(dir.isValid() && board.isValid());
    PanelConfig config;
    config.settings.CurrentPortName = board.slavePath();
    config.settings.ExitMenusEnabled = false;
    config.buttons = {impulse(1, shortcutCode("VK_F1"), 40), impulse(2, shortcutCode("VK_F2"), 140)};
    config.texts = {TextConfig{QStringLiteral("Maison"), 40, 20}};
    config.buttonsEverHeld = config.textsEverHeld = true;
    ASSERT_TRUE(writePanelConfig(config).save(dir.filePath(PanelFiles::config())).ok);

    const BusyCores busy;

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("ZELVAR_PROGRAM"), QStringLiteral(ZELVAR_PROGRAM));
    // The program's single-instance guard keeps to this test.
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
    environment.insert(QStringLiteral("TMPDIR"), dir.path());
    QProcess server;
    server.setWorkingDirectory(dir.path());
    server.setProcessEnvironment(environment);
    server.start(xvfbRun, {QStringLiteral("-a"), QStringLiteral("-s"), QStringLiteral("-screen 0 1024x768x24"),
                           QStringLiteral("sh"), QStringLiteral("-c"), QString::fromLatin1(ProgramScript)});
    ASSERT_TRUE(server.waitForStarted());
    const auto stop = [&] {
        QFile(dir.filePath(QStringLiteral("stop"))).open(QIODevice::WriteOnly);
        if (!server.waitForFinished(10000))
            server.kill();
    };

    QStringList display;
    QDeadlineTimer deadline(15000);
    while (display.size() < 2 && !deadline.hasExpired()) {
        QThread::msleep(50);
        QFile file(dir.filePath(QStringLiteral("display")));
        if (file.open(QIODevice::ReadOnly))
            display = QString::fromLocal8Bit(file.readAll()).split(QLatin1Char('\n'));
    }
    QProcessEnvironment x = QProcessEnvironment::systemEnvironment();
    x.insert(QStringLiteral("DISPLAY"), display.value(0));
    x.insert(QStringLiteral("XAUTHORITY"), display.value(1));
    const auto xdo = [&](const QStringList &arguments) {
        QProcess run;
        run.setProcessEnvironment(x);
        run.start(xdotool, arguments);
        const bool done = run.waitForFinished(15000) && run.exitCode() == 0;
        if (!done)
            run.kill();
        return done;
    };
    const bool focused = display.size() >= 2
                         && xdo({"search", "--sync", "--onlyvisible", "--name", "^Zelvar$", "windowfocus", "--sync", "mousemove",
                                 "--window", "%1", "300", "200"});
    if (!focused) {
        stop();
        FAIL() << "the program's window did not show: " << server.readAllStandardError().toStdString();
    }

    // F1 held for two seconds: the relay pulses once.
    const QByteArray pulse1 = "S1N$#S1F$#", pulse2 = "S2N$#S2F$#";
    xdo({"keydown", "F1"});
    QThread::msleep(2000);
    xdo({"keyup", "F1"});
    const QByteArray held = collect(board, pulse1.size());

    // F2 pressed while F1's pulse is being sent, and held a second: each pulses once, in turn.
    xdo({"keydown", "F1"});
    QThread::msleep(200);
    xdo({"keydown", "F2"});
    QThread::msleep(1000);
    xdo({"keyup", "F2"});
    xdo({"keyup", "F1"});
    const QByteArray both = collect(board, 2 * pulse1.size());
    stop();

    EXPECT_EQ(held, pulse1);
    EXPECT_EQ(both, pulse1 + pulse2);
}
