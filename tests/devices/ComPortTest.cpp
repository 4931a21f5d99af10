#include "devices/ComError.h"
#include "devices/ComPort.h"
#include "devices/CommLayer.h"

#include "ComPortPty.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>

using namespace zelvar;
using zelvar::testing::PseudoTerminal;

namespace {

int threadCount()
{
    return int(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

// A joined thread can linger in /proc for a moment while the system tears it down.
int threadCountSettled(int expected)
{
    QElapsedTimer clock;
    clock.start();
    while (threadCount() != expected && clock.elapsed() < 1000)
        QThread::msleep(1);
    return threadCount();
}

class ComPortTest : public zelvar::testing::PortOnPty
{
};

} // namespace

TEST_F(ComPortTest, CommandsReachTheWireExactlyAndInOrder)
{
    port.OpenPort();
    ASSERT_TRUE(port.Connected());
    EXPECT_EQ(port.SendText("S1N$#"), 5);
    EXPECT_EQ(port.SendText("S1F$#"), 5);
    EXPECT_EQ(port.SendText(QByteArray("\x00\xff\r\n", 4)), 4);
    EXPECT_EQ(pty.read(14), QByteArray("S1N$#S1F$#\x00\xff\r\n", 14));
    EXPECT_EQ(pty.drain(), QByteArray());

    EXPECT_EQ(port.SendText(QByteArray()), 0);
    EXPECT_EQ(pty.drain(), QByteArray());
    port.ClosePort();

    // 9600 bits per second, raw: no echo, no line editing, no output processing.
    const termios2 t = pty.slaveSettings();
    EXPECT_EQ(t.c_ospeed, 9600u);
    EXPECT_EQ(t.c_cflag & CBAUD, tcflag_t(B9600));
    EXPECT_FALSE(t.c_cflag & CSTOPB);
    EXPECT_FALSE(t.c_cflag & CRTSCTS);
    EXPECT_TRUE(t.c_cflag & CLOCAL);
    EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ISIG));
    EXPECT_FALSE(t.c_oflag & OPOST);
    EXPECT_FALSE(t.c_iflag & (IXON | IXOFF | ICRNL));
}

TEST_F(ComPortTest, SettingsChangedWhileOpenReachTheDevice)
{
    port.OpenPort();
    port.setBaudRate(br115200);
    port.setStopBits(sbTwoStopBits);
    port.FlowControl().setFlowControl(fcHardware);
    port.ClosePort();
    termios2 t = pty.slaveSettings();
    EXPECT_EQ(t.c_ospeed, 115200u);
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    EXPECT_TRUE(t.c_cflag & CRTSCTS);

    // Speeds termios has no code for go through as they are.
    port.OpenPort();
    port.setBaudRate(br256000);
    port.FlowControl().setFlowControl(fcSoftware);
    port.FlowControl().setXonChar('A');
    port.FlowControl().setXoffChar('B');
    port.ClosePort();
    t = pty.slaveSettings();
    EXPECT_EQ(t.c_cflag & CBAUD, tcflag_t(BOTHER));
    EXPECT_EQ(t.c_ospeed, 256000u);
    EXPECT_FALSE(t.c_cflag & CRTSCTS);
    EXPECT_TRUE(t.c_iflag & IXON);
    EXPECT_TRUE(t.c_iflag & IXOFF);
    EXPECT_EQ(t.c_cc[VSTART], 'A');
    EXPECT_EQ(t.c_cc[VSTOP], 'B');

    port.setBaudRate(brCustom);
    port.setCustomBaudRate(31250);
    port.Parity().setBits(prMark);
    port.OpenPort();
    port.ClosePort();
    t = pty.slaveSettings();
    EXPECT_EQ(t.c_ospeed, 31250u);
    EXPECT_TRUE(t.c_cflag & CMSPAR); // the pty itself drops the parity bit, not the mark flag
}

TEST_F(ComPortTest, UpdatesHoldChangesBackUntilTheLastEnd)
{
    port.OpenPort();
    port.BeginUpdate();
    port.BeginUpdate();
    port.setBaudRate(br57600);
    port.EndUpdate();
    port.ClosePort(); // still one update open: nothing was pushed
    EXPECT_EQ(pty.slaveSettings().c_ospeed, 9600u);

    port.OpenPort();
    port.setBaudRate(br19200);
    EXPECT_EQ(port.SendText("x"), 1);
    EXPECT_EQ(pty.read(1), "x");
    port.EndUpdate();
    port.ClosePort();
    EXPECT_EQ(pty.slaveSettings().c_ospeed, 19200u);
}

TEST_F(ComPortTest, OpeningAndClosingTwiceChangeNothing)
{
    int opened = 0;
    int closed = 0;
    port.OnAfterOpen = [&] { ++opened; };
    port.OnAfterClose = [&] { ++closed; };

    port.ClosePort();
    EXPECT_EQ(closed, 0);

    const int before = threadCount();
    port.OpenPort();
    const int withThread = threadCount();
    EXPECT_EQ(withThread, before + 1);
    port.OpenPort();
    port.setConnected(true);
    EXPECT_EQ(threadCount(), withThread);
    EXPECT_EQ(opened, 1);

    port.ClosePort();
    port.ClosePort();
    port.setConnected(false);
    EXPECT_EQ(closed, 1);
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(threadCountSettled(before), before);

    // Without events to watch there is no thread at all.
    port.setEvents({});
    port.setConnected(true);
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(threadCount(), before);
}

TEST_F(ComPortTest, PortNameChangeReopensOnlyForADifferentName)
{
    // Two names for the same device, differing in letter case only.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString lower = dir.filePath(QStringLiteral("relay"));
    const QString upper = dir.filePath(QStringLiteral("RELAY"));
    ASSERT_TRUE(QFile::link(pty.slavePath(), lower));
    ASSERT_TRUE(QFile::link(pty.slavePath(), upper));

    int opened = 0;
    int closed = 0;
    port.OnAfterOpen = [&] { ++opened; };
    port.OnAfterClose = [&] { ++closed; };
    port.setPort(lower);
    port.OpenPort();
    port.setPort(lower);
    EXPECT_EQ(closed, 0);
    EXPECT_EQ(opened, 1);

    port.setPort(upper);
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(opened, 2);
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(port.SendText("S2T$#"), 5);
    EXPECT_EQ(pty.read(5), "S2T$#");

    // A closed port only takes the name.
    port.ClosePort();
    port.setPort(lower);
    EXPECT_EQ(opened, 2);
    EXPECT_FALSE(port.Connected());
}

TEST_F(ComPortTest, MissingDeviceRaisesError1AndStaysClosed)
{
    port.setPort(QStringLiteral("/dev/zelvar-no-such-device"));
    try {
        port.OpenPort();
        FAIL() << "opening a missing device succeeded";
    } catch (const EComPort &error) {
        EXPECT_EQ(error.ErrorNumber(), 1);
        EXPECT_EQ(error.SystemError(), ENOENT);
        EXPECT_TRUE(error.hint().isEmpty());
    }
    EXPECT_FALSE(port.Connected());

    // A file that is no terminal is refused the same way.
    QTemporaryDir dir;
    const QString plain = dir.filePath(QStringLiteral("plain"));
    QFile file(plain);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    port.setPort(plain);
    try {
        port.OpenPort();
        FAIL() << "opening a plain file succeeded";
    } catch (const EComPort &error) {
        EXPECT_EQ(error.ErrorNumber(), 1);
        EXPECT_EQ(error.SystemError(), ENOTTY);
    }
    EXPECT_FALSE(port.Connected());
}

TEST_F(ComPortTest, SendTextOnAClosedPortRaisesError2)
{
    for (int round = 0; round < 2; ++round) {
        try {
            port.SendText("S1N$#");
            FAIL() << "writing to a closed port succeeded";
        } catch (const EComPort &error) {
            EXPECT_EQ(error.ErrorNumber(), 2);
            EXPECT_EQ(error.SystemError(), EBADF);
            EXPECT_TRUE(error.Message().startsWith(EComPort::messageFor(2)));
            EXPECT_TRUE(error.Message().contains(QString::number(EBADF)));
        }
        // Closed again after an opening: the same.
        port.OpenPort();
        port.ClosePort();
    }
    EXPECT_EQ(port.SendText(QByteArray()), 0);
    EXPECT_EQ(pty.drain(), QByteArray());
}

TEST_F(ComPortTest, APortHeldElsewhereCannotBeOpened)
{
    port.OpenPort();
    TComPort other;
    other.setPort(pty.slavePath());
    try {
        other.OpenPort();
        FAIL() << "a second port opened the same device";
    } catch (const EComPort &error) {
        EXPECT_EQ(error.ErrorNumber(), 1);
        EXPECT_EQ(error.SystemError(), EBUSY);
    }
    EXPECT_FALSE(other.Connected());
    port.ClosePort();
    other.OpenPort();
    EXPECT_TRUE(other.Connected());
}

TEST_F(ComPortTest, FailedSettingsLeaveThePortClosedAndReleased)
{
    port.setBaudRate(brCustom);
    port.setCustomBaudRate(0);
    try {
        port.OpenPort();
        FAIL() << "a zero speed was accepted";
    } catch (const EComPort &error) {
        EXPECT_EQ(error.ErrorNumber(), 7);
        EXPECT_EQ(error.SystemError(), EINVAL);
    }
    EXPECT_FALSE(port.Connected());

    // The device was let go: it opens again once the settings are sound.
    port.setCustomBaudRate(9600);
    port.OpenPort();
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(port.SendText("ok"), 2);
    EXPECT_EQ(pty.read(2), "ok");

    // A change the device refuses while open raises and leaves the port open.
    try {
        port.setCustomBaudRate(0);
        FAIL() << "a zero speed was accepted";
    } catch (const EComPort &error) {
        EXPECT_EQ(error.ErrorNumber(), 7);
    }
    EXPECT_TRUE(port.Connected());
}

TEST_F(ComPortTest, SyncMethodCannotChangeWhileOpen)
{
    port.setSyncMethod(smNone);
    port.setSyncMethod(smThreadSync);
    port.OpenPort();
    try {
        port.setSyncMethod(smNone);
        FAIL() << "the sync method changed while open";
    } catch (const EComPort &error) {
        EXPECT_EQ(error.ErrorNumber(), 14);
        EXPECT_EQ(error.SystemError(), -1);
        EXPECT_EQ(error.Message(), EComPort::messageFor(14));
    }
    EXPECT_EQ(port.SyncMethod(), smThreadSync);
    port.setSyncMethod(smThreadSync); // the same value is no change
}

TEST_F(ComPortTest, AWriteNobodyTakesTimesOutInsteadOfHanging)
{
    port.Timeouts().setWriteTotalMultiplier(0);
    port.Timeouts().setWriteTotalConstant(300);
    port.OpenPort();

    QElapsedTimer clock;
    clock.start();
    try {
        port.SendText(QByteArray(64 * 1024, 'x'));
        FAIL() << "a write nobody reads completed";
    } catch (const EComPort &error) {
        EXPECT_EQ(error.ErrorNumber(), 2);
        EXPECT_EQ(error.SystemError(), ETIMEDOUT);
    }
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_TRUE(port.Connected());

    // The rest of the failed write was not sent; the next command goes through whole.
    const QByteArray leftOver = pty.drain();
    EXPECT_LT(leftOver.size(), 64 * 1024);
    EXPECT_EQ(port.SendText("S1N$#"), 5);
    EXPECT_EQ(pty.read(5), "S1N$#");
}

TEST_F(ComPortTest, ABoardThatStopsReadingGetsEveryCommandReportedSent)
{
    // The component's own timeouts (100 ms per character plus 1 s) would give a 30 KB text
    // 50 minutes; at 1 Mbit/s it gets 3 s plus twice its 0.3 s on the line.
    port.setBaudRate(brCustom);
    port.setCustomBaudRate(1000000);
    port.OpenPort();
    // More than the board side's own 4 KB buffer: what a flush of the line would lose.
    QByteArray sent;
    for (int i = 0; i < 2000; ++i) {
        const QByteArray command = "S" + QByteArray::number(i % 16 + 1) + "N$#";
        ASSERT_EQ(port.SendText(command), command.size());
        sent += command;
    }
    const QByteArray text(30 * 1024, 'x');
    QElapsedTimer clock;
    clock.start();
    try {
        port.SendText(text);
        FAIL() << "a write nobody reads completed";
    } catch (const EComPort &error) {
        EXPECT_EQ(error.SystemError(), ETIMEDOUT);
    }
    EXPECT_LT(clock.elapsed(), 10000);

    // The board reads again: every command reported sent is there, then at most a part
    // of the text that failed.
    const QByteArray received = pty.drain();
    ASSERT_TRUE(received.startsWith(sent)) << received.left(100).toStdString();
    EXPECT_LT(received.size() - sent.size(), text.size());
    EXPECT_TRUE(text.startsWith(received.mid(sent.size())));
}

TEST(WriteLimit, TheTimeoutsUnlessTheLineNeedsFarLess)
{
    const comm::CommTimeouts part{0, 0, 0, 100, 1000};
    const struct
    {
        comm::CommTimeouts timeouts;
        uint32_t size, baud, bits;
        uint64_t limitMs;
    } cases[] = {
        {part, 5, 9600, 10, 1500},            // a command: the timeouts
        {part, 360, 9600, 10, 3000 + 2 * 375}, // an infrared code text: the line
        {part, 30000, 9600, 10, 3000 + 2 * 31250},
        {part, 30000, 9600, 12, 3000 + 2 * 37500}, // parity and two stop bits
        {{0, 0, 0, 0, 300}, 65536, 9600, 10, 300},
        {{}, 5, 9600, 10, 1500},               // no totals: the usual limit
    };
    for (const auto &c : cases)
        EXPECT_EQ(comm::writeLimitMs(c.timeouts, c.size, c.baud, c.bits), c.limitMs) << c.size << " " << c.bits;
}

TEST_F(ComPortTest, AnUnpluggedAdapterFailsTheWriteWithError2)
{
    port.OpenPort();
    pty.closeMaster();
    try {
        port.SendText("S1N$#");
        FAIL() << "a write to an unplugged device succeeded";
    } catch (const EComPort &error) {
        EXPECT_EQ(error.ErrorNumber(), 2);
        EXPECT_EQ(error.SystemError(), EIO);
    }
    EXPECT_TRUE(port.Connected());
    port.ClosePort();
    EXPECT_FALSE(port.Connected());
}

TEST_F(ComPortTest, ClosingRightAfterAWriteLosesNothingOfIt)
{
    // The board may not have read a command yet when the port closes behind it.
    for (int i = 0; i < 200; ++i) {
        port.OpenPort();
        port.SendText("S9N$#");
        port.ClosePort();
        ASSERT_EQ(pty.read(5), "S9N$#") << "round " << i;
    }
}

// A write to a port lost meanwhile (the adapter unplugged) says the port is lost and that it
// is tried again, not that a handle was bad.
TEST(ComPortLost, AWriteWhileLostSaysSo)
{
    auto pty = std::make_unique<PseudoTerminal>();
    ASSERT_TRUE(pty->isValid());
    TComPort port;
    port.setPort(pty->slavePath());
    port.OpenPort();
    pty.reset();
    QElapsedTimer clock;
    clock.start();
    while (!port.Lost() && clock.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_TRUE(port.Lost());
    try {
        port.SendText("S1N$#");
        ADD_FAILURE() << "a write to a lost port must fail";
    } catch (const EComPort &error) {
        EXPECT_EQ(error.SystemError(), ENODEV);
        EXPECT_TRUE(error.Message().contains(QStringLiteral("Port perdu"))) << error.Message().toStdString();
    }
    port.ClosePort();
}
