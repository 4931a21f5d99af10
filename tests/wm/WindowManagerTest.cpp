#include "app/Form_Base.h"
#include "common/Pause.h"
#include "editors/Form_CfgBtn.h"
#include "forms/ErrorReport.h"
#include "forms/Forms.h"
#include "panel/PanelConfig.h"
#include "scheduler/Form_Progmt.h"
#include "sequencer/FSequenceur.h"
#include "widgets/Form_Splash.h"

#include "../devices/ComPortPty.h"
#include "TestFiles.h"

#include <QAction>
#include <QApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

// These tests run on an X server with openbox (tests/wm/under-openbox): a window manager
// places windows itself, which the offscreen tests cannot show.

using namespace zelvar;
using zelvar::testing::PseudoTerminal;

namespace {

QByteArray run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(5000);
    return process.readAllStandardOutput();
}

// Where the X server has the window, as xdotool reads it.
QPoint placeOnScreen(const QWidget &window)
{
    const QByteArray shell =
        run(QStringLiteral("xdotool"), {QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"),
                                        QString::number(window.winId())});
    const QRegularExpression x(QStringLiteral("^X=(-?\\d+)$"), QRegularExpression::MultilineOption);
    const QRegularExpression y(QStringLiteral("^Y=(-?\\d+)$"), QRegularExpression::MultilineOption);
    const QString text = QString::fromLatin1(shell);
    return {x.match(text).captured(1).toInt(), y.match(text).captured(1).toInt()};
}

// The managed windows from bottom to top, as the window manager stacks them.
QList<quint64> stacking()
{
    const QString text = QString::fromLatin1(
        run(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST_STACKING")}));
    QList<quint64> ids;
    static const QRegularExpression id(QStringLiteral("0x[0-9a-f]+"));
    for (auto it = id.globalMatch(text.section(u'#', 1)); it.hasNext();)
        ids << it.next().captured().toULongLong(nullptr, 16);
    return ids;
}

// Waits, events running, until `done` holds or `ms` have passed.
bool waitFor(const std::function<bool()> &done, int ms = 4000)
{
    QDeadlineTimer until(ms);
    while (!done() && !until.hasExpired())
        QTest::qWait(20);
    return done();
}

class UnderWindowManager : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(QApplication::platformName(), QStringLiteral("xcb")) << "run through tests/wm/under-openbox";
        ASSERT_TRUE(dir.isValid() && board.isValid());
        QApplication::setQuitOnLastWindowClosed(false);
        setPauseHook([](int) {});
        setErrorReportHook([](const QString &) {});
        PanelConfig config;
        config.settings.CurrentPortName = board.slavePath();
        ButtonConfig lamp;
        lamp.mode = 2;
        lamp.relay = 1;
        lamp.left = 40;
        lamp.top = 60;
        lamp.caption = QStringLiteral("Lampe");
        config.buttons = {lamp};
        config.buttonsEverHeld = true;
        ASSERT_TRUE(writePanelConfig(config).save(PanelFiles::config()).ok);
        base = std::make_unique<TForm_Base>();
        base->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(base.get()));
    }

    void TearDown() override
    {
        base.reset();
        setPauseHook({});
        setErrorReportHook({});
        QApplication::setQuitOnLastWindowClosed(true);
    }

    zelvar::testing::WorkingDirectory dir;
    PseudoTerminal board;
    std::unique_ptr<TForm_Base> base;
};

} // namespace

// The main window hides while the sequencer, the scheduler or the editor's "hide" item
// has it away; it comes back where the user left it, not where the manager would put a
// new window.
TEST_F(UnderWindowManager, TheMainWindowComesBackWhereItWas)
{
    // Placed by the window manager first, then moved through the manager, as a drag does.
    const QPoint where(260, 170);
    run(QStringLiteral("xdotool"), {QStringLiteral("windowmove"), QString::number(base->winId()),
                                    QString::number(where.x()), QString::number(where.y())});
    ASSERT_TRUE(waitFor([&] { return placeOnScreen(*base) == where; })) << "at first";

    struct Case
    {
        const char *name;
        std::function<void()> away;
        std::function<void()> back;
    };
    const Case cases[] = {
        {"sequencer", [&] { base->Bo_Seq->trigger(); },
         [&] { Forms::instance().FSequenceur->close(); }},
        {"scheduler", [&] { base->Bo_Pmg->trigger(); },
         [&] { Forms::instance().Form_Progmt->close(); }},
        {"editor",
         [&] {
             base->Bo_CfgBtn->trigger();
             base->findChild<TForm_CfgBtn *>()->Btn_HideFenetre->trigger();
         },
         [&] { base->findChild<TForm_CfgBtn *>()->close(); }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        c.away();
        ASSERT_TRUE(waitFor([&] { return !base->isVisible(); }));
        QTest::qWait(300);
        c.back();
        ASSERT_TRUE(waitFor([&] { return base->isVisible(); }));
        EXPECT_TRUE(waitFor([&] { return placeOnScreen(*base) == where; }))
            << "at " << placeOnScreen(*base).x() << "," << placeOnScreen(*base).y();
        QTest::qWait(300);
        EXPECT_EQ(placeOnScreen(*base), where) << "and stays there";
    }
}

// The sequencer's start-up splash stands above the sequencer for its time.
TEST_F(UnderWindowManager, TheSequencersSplashStandsAboveIt)
{
    base->Bo_Seq->trigger();
    TFSequenceur *sequencer = Forms::instance().FSequenceur;
    ASSERT_TRUE(sequencer);
    ASSERT_TRUE(waitFor([] { return Forms::instance().Form_Splash && Forms::instance().Form_Splash->isVisible(); }));
    const TForm_Splash *splash = Forms::instance().Form_Splash;
    const auto above = [&] {
        const QList<quint64> order = stacking();
        const qsizetype s = order.indexOf(splash->winId()), q = order.indexOf(sequencer->winId());
        return s >= 0 && q >= 0 && s > q;
    };
    EXPECT_TRUE(waitFor(above, 800)) << "mapped above the sequencer";
    QTest::qWait(400);
    EXPECT_TRUE(splash->isVisible());
    EXPECT_TRUE(above()) << "and stays above it";
    sequencer->close();
}
