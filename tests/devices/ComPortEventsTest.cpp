#include "devices/ComError.h"
#include "devices/ComPort.h"

#include "ComPortPty.h"

#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

using namespace zelvar;
using zelvar::testing::processEventsUntil;
using zelvar::testing::PseudoTerminal;

namespace {

class ComPortEventsTest : public zelvar::testing::PortOnPty
{
};

} // namespace

TEST_F(ComPortEventsTest, ReceivedBytesAreReportedOnTheOwningThread)
{
    int count = 0;
    QByteArray received;
    QThread *handlerThread = nullptr;
    port.OnRxChar = [&](int n) {
        count = n;
        handlerThread = QThread::currentThread();
    };
    port.OnRxBuf = [&](const QByteArray &data) { received += data; };
    port.OpenPort();
    pty.write("abc");
    ASSERT_TRUE(processEventsUntil([&] { return received.size() >= 3; }));
    EXPECT_EQ(count, 3);
    EXPECT_EQ(received, "abc");
    EXPECT_EQ(handlerThread, QThread::currentThread());
}

TEST_F(ComPortEventsTest, FiredEventsAreHandledInTheirFixedOrder)
{
    QStringList calls;
    port.setEventChar('\n');
    port.OnRxChar = [&](int) { calls << QStringLiteral("RxChar"); };
    port.OnRxFlag = [&] { calls << QStringLiteral("RxFlag"); };
    port.OnTxEmpty = [&] { calls << QStringLiteral("TxEmpty"); };
    port.OpenPort();

    pty.write("x\n");
    ASSERT_TRUE(processEventsUntil([&] { return calls.contains(QStringLiteral("RxFlag")); }));
    EXPECT_EQ(calls, QStringList({QStringLiteral("RxChar"), QStringLiteral("RxFlag")}));

    calls.clear();
    port.SendText("S1N$#");
    ASSERT_TRUE(processEventsUntil([&] { return !calls.isEmpty(); }));
    EXPECT_EQ(calls, QStringList({QStringLiteral("TxEmpty")}));

    // Events left out of the set are not reported.
    calls.clear();
    port.setEvents({evRxChar});
    pty.write("y\n");
    ASSERT_TRUE(processEventsUntil([&] { return !calls.isEmpty(); }));
    port.SendText("z");
    processEventsUntil([] { return false; }, 100);
    EXPECT_EQ(calls, QStringList({QStringLiteral("RxChar")}));
}

TEST_F(ComPortEventsTest, AFillingInputQueueIsReportedAndOverflowIsAnError)
{
    bool nearlyFull = false;
    TComErrors errors;
    port.Buffer().setInputSize(100);
    port.OnRx80Full = [&] { nearlyFull = true; };
    port.OnError = [&](TComErrors e) { errors = e; };
    port.OpenPort();

    pty.write(QByteArray(85, 'a'));
    ASSERT_TRUE(processEventsUntil([&] { return nearlyFull; }));
    EXPECT_TRUE(errors.isEmpty());

    pty.write(QByteArray(30, 'b'));
    ASSERT_TRUE(processEventsUntil([&] { return !errors.isEmpty(); }));
    EXPECT_EQ(errors, TComErrors({ceRxOver}));
}

TEST_F(ComPortEventsTest, LinesOfADeviceWithoutModemLinesReadAsInactive)
{
    QStringList calls;
    port.OnCTSChange = [&](bool on) { calls << QStringLiteral("CTS %1").arg(on); };
    port.OnDSRChange = [&](bool on) { calls << QStringLiteral("DSR %1").arg(on); };
    port.OnRLSDChange = [&](bool on) { calls << QStringLiteral("RLSD %1").arg(on); };
    port.OnAfterOpen = [&] { calls << QStringLiteral("AfterOpen"); };
    port.OnBeforeOpen = [&] { calls << QStringLiteral("BeforeOpen"); };
    port.OnBeforeClose = [&] { calls << QStringLiteral("BeforeClose"); };
    port.OnAfterClose = [&] { calls << QStringLiteral("AfterClose"); };

    port.OpenPort();
    EXPECT_EQ(calls, QStringList({"BeforeOpen", "AfterOpen", "CTS 0", "DSR 0", "RLSD 0"}));
    calls.clear();
    port.ClosePort();
    EXPECT_EQ(calls, QStringList({"CTS 0", "DSR 0", "RLSD 0", "BeforeClose", "AfterClose"}));
}

TEST_F(ComPortEventsTest, WithoutSynchronisationHandlersRunOnTheEventThread)
{
    std::atomic<QThread *> handlerThread = nullptr;
    port.setSyncMethod(smNone);
    port.OnRxChar = [&](int) { handlerThread = QThread::currentThread(); };
    port.OpenPort();
    pty.write("a");
    QElapsedTimer clock;
    clock.start();
    while (!handlerThread && clock.elapsed() < 3000)
        QThread::msleep(5);
    ASSERT_NE(handlerThread.load(), nullptr);
    EXPECT_NE(handlerThread.load(), QThread::currentThread());
    port.ClosePort();
}

TEST_F(ComPortEventsTest, ClosingServesTheEventBeingHandedOver)
{
    int calls = 0;
    int count = 0;
    port.OnRxChar = [&](int n) {
        ++calls;
        count = n;
    };
    port.OpenPort();
    pty.write("S1N$#");
    // No event loop runs here: the event thread stays blocked handing the event over,
    // and closing must serve it rather than wait for ever.
    QThread::msleep(200);
    port.ClosePort();
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(count, 5);
}

TEST_F(ComPortEventsTest, ClosingWhileBytesKeepArrivingNeverBlocks)
{
    std::atomic<bool> stop = false;
    std::thread writer([&] {
        while (!stop) {
            pty.write("S1N$#");
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    int calls = 0;
    port.OnRxChar = [&](int) { ++calls; };
    for (int round = 0; round < 20; ++round) {
        port.OpenPort();
        processEventsUntil([] { return false; }, round % 3 * 5);
        port.ClosePort();
        EXPECT_FALSE(port.Connected());
    }
    stop = true;
    writer.join();
    EXPECT_GT(calls, 0);
}

TEST_F(ComPortEventsTest, AHandlerMayCloseThePort)
{
    int calls = 0;
    port.OnRxChar = [&](int) {
        ++calls;
        port.ClosePort();
    };
    port.setEventChar('#');
    bool flagged = false;
    port.OnRxFlag = [&] { flagged = true; };
    port.OpenPort();
    pty.write("S1N$#");
    ASSERT_TRUE(processEventsUntil([&] { return !port.Connected(); }));
    processEventsUntil([] { return false; }, 50);
    EXPECT_EQ(calls, 1);
    // The rest of that dispatch is dropped along with the port.
    EXPECT_FALSE(flagged);
}

TEST_F(ComPortEventsTest, AFailingHandlerDuringCloseStillClosesThenReports)
{
    port.OnRxChar = [](int) { throw std::runtime_error("handler failed"); };
    port.OpenPort();
    pty.write("a");
    QThread::msleep(200);
    EXPECT_THROW(port.ClosePort(), std::runtime_error);
    EXPECT_FALSE(port.Connected());
}

TEST_F(ComPortEventsTest, AnUnpluggedAdapterIsReportedAsAnIOError)
{
    TComErrors errors;
    port.OnError = [&](TComErrors e) { errors = e; };
    port.OpenPort();
    pty.closeMaster();
    ASSERT_TRUE(processEventsUntil([&] { return !errors.isEmpty(); }));
    EXPECT_TRUE(errors.contains(ceIO));
    port.ClosePort();
}
