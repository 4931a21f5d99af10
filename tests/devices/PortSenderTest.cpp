#include "devices/ComPort.h"
#include "devices/PortSender.h"
#include "devices/SendSequences.h"
#include "ComPortPty.h"

#include <QTimer>
#include <gtest/gtest.h>

using namespace zelvar;
using namespace std::chrono;
using zelvar::testing::PortOnPty;
using zelvar::testing::WireRecorder;

namespace {

// A marker queued after a sequence, so that its last pause shows as a gap too.
SendingSequence marker()
{
    return {.steps = {{"M#"}}};
}

// A sequence that holds the sender for a while, so that what is queued next waits.
SendingSequence holding(int ms)
{
    return {.steps = {{"H#", ms}}};
}

SendingSequence remote(SendingSequence sequence, int coalesceRelay = 0)
{
    sequence.lane = SendLane::Remote;
    sequence.coalesceRelay = coalesceRelay;
    return sequence;
}

// A relay switched as the remote interfaces do it.
SendingSequence relay(int n, RelayAction action)
{
    const int mode = action == RelayAction::On ? On : action == RelayAction::Off ? Off : Bistable;
    return Send::click(mode, commandSlotsFor(mode, n, {}));
}

class PortSenderTest : public PortOnPty
{
protected:
    void SetUp() override
    {
        PortOnPty::SetUp();
        port.OpenPort();
    }
    std::vector<QByteArray> wire(std::initializer_list<const char *> texts)
    {
        std::vector<QByteArray> out;
        for (const char *t : texts)
            out.emplace_back(t);
        return out;
    }
};

} // namespace

// Each sender's bytes and the gap after each command (the last one up to a marker), with
// real pauses on a pseudo-terminal: the bytes and gaps every caller had when it slept itself.
TEST_F(PortSenderTest, BytesAndGapsOfEachSender)
{
    const CommandSlots imp = commandSlotsFor(Imp, 12, {});
    struct Row
    {
        const char *sender;
        std::function<void()> queue;
        std::vector<QByteArray> bytes;
        std::vector<int> gaps;
    };
    Send::ButtonGesture gesture;
    const std::vector<Row> rows = {
        {"panel click",
         [&] {
             gesture.press(12, port, imp);
             gesture.click(12, port, Imp, imp);
             gesture.release(12, port, imp);
         },
         wire({"S12N$#", "S12F$#"}), {10, 10}},
        {"shortcut", [&] { Send::queue(port, Send::shortcut(Imp, imp)); }, wire({"S12N$#", "S12F$#"}), {200, 200}},
        {"sequence step", [&] { Send::queue(port, Send::step(Imp, imp)); }, wire({"S12N$#", "S12F$#"}), {100, 10}},
        {"alarm, bistable", [&] { Send::queue(port, Send::step(Bistable, commandSlotsFor(Bistable, 3, {}))); },
         wire({"S3T$#"}), {10}},
        {"port test", [&] { Send::queue(port, Send::portTest()); }, wire({"S1N$#", "S1F$#"}), {1000, 10}},
    };
    for (const Row &row : rows) {
        WireRecorder recorder(pty);
        row.queue();
        Send::queue(port, marker());
        const std::vector<WireRecorder::Command> seen = recorder.wait(row.bytes.size() + 1);
        ASSERT_EQ(seen.size(), row.bytes.size() + 1) << row.sender;
        // A read noted late shortens one gap and lengthens the next: each gap has a margin,
        // their sum hardly any.
        int total = 0;
        for (size_t i = 0; i < row.bytes.size(); ++i) {
            EXPECT_EQ(seen[i].bytes, row.bytes[i]) << row.sender;
            const auto gap = duration_cast<milliseconds>(seen[i + 1].at - seen[i].at).count();
            EXPECT_GE(gap, row.gaps[i] * 4 / 5 - 3) << row.sender << ", after " << row.bytes[i].constData();
            EXPECT_LT(gap, row.gaps[i] + 150) << row.sender << ", after " << row.bytes[i].constData();
            total += row.gaps[i];
        }
        EXPECT_GE(duration_cast<milliseconds>(seen.back().at - seen.front().at).count(), total - 5) << row.sender;
        port.sender().waitIdle();
    }
}

// An alarm or a sequencer tick waits only for the sequence already on the wire.
TEST_F(PortSenderTest, AFiringGoesAheadOfWaitingCommands)
{
    WireRecorder recorder(pty);
    Send::queue(port, holding(150));
    ASSERT_EQ(recorder.bytes(1), wire({"H#"}));
    for (int n = 1; n <= 3; ++n)
        Send::queue(port, remote(relay(n, RelayAction::Toggle)));
    Send::queue(port, relay(5, RelayAction::Toggle));
    Send::queue(port, Send::step(Bistable, commandSlotsFor(Bistable, 9, {})));
    EXPECT_EQ(recorder.bytes(6), wire({"H#", "S9T$#", "S1T$#", "S2T$#", "S3T$#", "S5T$#"}));
}

// Remote on/off commands still waiting for one relay give way to the latest; toggles and
// local commands keep their order; beyond the bound a remote command is refused, but a
// command that only replaces one waiting, and the panel's own, still go.
TEST_F(PortSenderTest, RemoteCommandsCoalesceAndAreBounded)
{
    WireRecorder recorder(pty);
    Send::queue(port, holding(300));
    ASSERT_EQ(recorder.bytes(1), wire({"H#"}));
    PortSender &sender = port.sender();
    EXPECT_TRUE(sender.queue(remote(relay(3, RelayAction::On), 3)));
    EXPECT_TRUE(sender.queue(remote(relay(3, RelayAction::Toggle))));
    EXPECT_TRUE(sender.queue(remote(relay(3, RelayAction::Off), 3)));
    EXPECT_TRUE(sender.queue(remote(relay(4, RelayAction::Off), 4)));
    EXPECT_TRUE(sender.queue(remote(relay(3, RelayAction::On), 3)));
    for (int i = sender.waiting(); i < PortSender::MaxWaiting; ++i)
        ASSERT_TRUE(sender.queue(remote(relay(16, RelayAction::Toggle))));
    EXPECT_FALSE(sender.queue(remote(relay(15, RelayAction::Toggle))));
    EXPECT_FALSE(sender.queue(remote(relay(15, RelayAction::On), 15)));
    EXPECT_TRUE(sender.queue(remote(relay(4, RelayAction::On), 4)));
    EXPECT_TRUE(sender.queue(relay(14, RelayAction::On)));
    EXPECT_EQ(sender.waiting(), PortSender::MaxWaiting + 1);
    const std::vector<QByteArray> seen = recorder.bytes(PortSender::MaxWaiting + 2, 20000);
    ASSERT_EQ(seen.size(), size_t(PortSender::MaxWaiting + 2));
    EXPECT_EQ(std::vector<QByteArray>(seen.begin(), seen.begin() + 3), wire({"H#", "S3T$#", "S3N$#"}));
    EXPECT_EQ(std::vector<QByteArray>(seen.end() - 2, seen.end()), wire({"S4N$#", "S14N$#"}));
}

// The owner's thread is never held by the queue: its event loop turns while the queue
// drains, and each result comes back to it, in order.
TEST_F(PortSenderTest, TheOwnersLoopRunsWhileTheQueueDrains)
{
    std::vector<int> done;
    for (int i = 1; i <= 10; ++i)
        Send::queue(port, holding(20), [&done, i](const SendResult &result) {
            EXPECT_TRUE(result.ok());
            EXPECT_GT(result.firstWriteMs, 0);
            done.push_back(i);
        });
    int turnsWhileBusy = 0;
    QTimer turn;
    QObject::connect(&turn, &QTimer::timeout, [&] { turnsWhileBusy += port.sender().waiting() > 0; });
    turn.start(1);
    ASSERT_TRUE(zelvar::testing::processEventsUntil([&] { return done.size() == 10; }));
    EXPECT_GT(turnsWhileBusy, 5);
    EXPECT_EQ(done, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
}
