#include "common/Pause.h"
#include "devices/ComError.h"
#include "devices/ComPort.h"
#include "devices/Infrared.h"
#include "devices/SendSequences.h"
#include "fake_uuirt/FakeUuirtLog.h"
#include "ComPortPty.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace zelvar;
using zelvar::testing::PseudoTerminal;

namespace {

// Records what reached the board before each pause, and the infrared calls made so far:
// one string per pause, "bytes|pause ms|infrared calls".
class SendSequences : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pty.isValid());
        log = dir.filePath("uuirt.log");
        qputenv("ZELVAR_FAKE_UUIRT_LOG", QFile::encodeName(log));
        resetInfrared(QStringLiteral(ZELVAR_FAKE_UUIRT));
        port.setPort(pty.slavePath());
        setPauseHook([this](int ms) {
            events.push_back(QString("%1|%2|%3")
                                 .arg(QString::fromLatin1(pty.drain(40)))
                                 .arg(ms)
                                 .arg(infraredCodes().size()));
        });
    }
    void TearDown() override
    {
        setPauseHook({});
        port.ClosePort();
        qunsetenv("ZELVAR_FAKE_UUIRT_LOG");
        resetInfrared();
    }
    QStringList infraredCodes() const
    {
        QStringList codes;
        for (const auto &call : zelvar::testing::readFakeUuirtLog(log))
            if (call.function == "UUIRTTransmitIR")
                codes << QString::fromLatin1(call.code);
        return codes;
    }

    QTemporaryDir dir;
    QString log;
    PseudoTerminal pty;
    TComPort port;
    QStringList events;
};

} // namespace

// Only a command written is followed by its pause: an empty slot neither writes nor waits.
TEST_F(SendSequences, EveryModeAndTriggerOnTheWire)
{
    port.OpenPort();
    const QByteArray code = "0000 006D 0000 0001 0020 0030";
    struct Row
    {
        int mode;
        QStringList mouse, shortcut, step;
    };
    const QList<Row> rows = {
        {0, {}, {}, {}},
        {1, {"S12N$#|10|0", "S12F$#|10|0"}, {"S12N$#|200|0", "S12F$#|200|0"}, {"S12N$#|100|0", "S12F$#|100|0"}},
        {2, {"S12N$#|10|0"}, {"S12N$#|200|0"}, {"S12N$#|10|0"}},
        {3, {"S12F$#|10|0"}, {"S12F$#|200|0"}, {"S12F$#|10|0"}},
        {4, {"S12T$#|10|0"}, {"S12T$#|200|0"}, {"S12T$#|10|0"}},
        {6, {}, {}, {}},
    };
    for (const Row &row : rows) {
        const CommandSlots commands = commandSlotsFor(row.mode, 12, code);
        events.clear();
        Send::run(port, Send::press(commands));
        Send::run(port, Send::release(commands));
        Send::run(port, Send::click(row.mode, commands));
        EXPECT_EQ(events, row.mouse) << "mouse, mode " << row.mode;
        events.clear();
        Send::run(port, Send::shortcut(row.mode, commands));
        EXPECT_EQ(events, row.shortcut) << "shortcut, mode " << row.mode;
        events.clear();
        Send::run(port, Send::step(row.mode, commands));
        EXPECT_EQ(events, row.step) << "step, mode " << row.mode;
    }
    EXPECT_EQ(pty.drain(50), QByteArray());
    EXPECT_TRUE(infraredCodes().isEmpty()) << "relay modes never reach the transmitter";
}

TEST_F(SendSequences, InfraredButtonsTransmitAndNeverWriteToTheSerialLine)
{
    port.OpenPort();
    const QByteArray code = "0000 006D 0000 0001 0020 0030";
    const CommandSlots commands = commandSlotsFor(UsbUirt, 0, code);
    Send::run(port, Send::press(commands));
    Send::run(port, Send::release(commands));
    EXPECT_FALSE(Send::run(port, Send::click(UsbUirt, commands)).infraredNotSent);
    Send::run(port, Send::shortcut(UsbUirt, commands));
    Send::run(port, Send::step(UsbUirt, commands));
    EXPECT_TRUE(events.isEmpty()) << "no serial write and no pause";
    EXPECT_EQ(pty.drain(50), QByteArray());
    EXPECT_EQ(infraredCodes(), QStringList(3, QString::fromLatin1(code)));
}

TEST_F(SendSequences, AFailedWriteAbandonsTheRest)
{
    // The port was never opened: the first write fails and nothing else happens.
    const SendResult failed = Send::run(port, Send::shortcut(Imp, commandSlotsFor(Imp, 1, "0")));
    ASSERT_TRUE(failed.error) << "the write on a closed port must fail";
    EXPECT_EQ(failed.error->ErrorNumber(), 2);
    EXPECT_EQ(failed.firstWriteMs, 0);
    EXPECT_TRUE(events.isEmpty());

    // An infrared click does not need the serial line at all.
    EXPECT_TRUE(Send::run(port, Send::click(UsbUirt, commandSlotsFor(UsbUirt, 0, "0"))).ok());
    EXPECT_EQ(infraredCodes(), QStringList{"0"});
    EXPECT_TRUE(events.isEmpty());
}

TEST_F(SendSequences, PortTestPulsesRelayOne)
{
    port.OpenPort();
    Send::run(port, Send::portTest());
    EXPECT_EQ(events, (QStringList{"S1N$#|1000|0", "S1F$#|10|0"}));
}

// One write per relay, each followed by the pause of a single command.
TEST_F(SendSequences, AllOffWritesEachRelayOffInTurn)
{
    port.OpenPort();
    Send::run(port, Send::allOff());
    QStringList expected;
    for (int relay = 1; relay <= 16; ++relay)
        expected << QStringLiteral("S%1F$#|10|0").arg(relay);
    EXPECT_EQ(events, expected);
}

TEST(SendSequencesPause, RealPausesBlockForTheirTime)
{
    QElapsedTimer timer;
    timer.start();
    pauseMs(30);
    EXPECT_GE(timer.elapsed(), 29);
}
