#include "devices/LircTransmitter.h"
#include "devices/Pronto.h"

#include <gtest/gtest.h>

#include <numeric>

using namespace zelvar;

namespace {

// Frequency word 0x6D = 109 units of 0.241246 us: a 26.295814 us period, 38028.87 Hz.
// Once: 0x10 and 0x20 periods = 420.73 and 841.47 us; repeat: 0x30 and 0x40 periods =
// 1262.20 and 1682.93 us.
const QByteArray kSmallCode = "0000 006D 0001 0001 0010 0020 0030 0040";

} // namespace

TEST(Pronto, ConvertsALearnedCodeToCarrierAndMicroseconds)
{
    const ProntoParseResult parsed = parsePronto(kSmallCode);
    ASSERT_TRUE(parsed.code) << parsed.error.toStdString();
    EXPECT_TRUE(parsed.error.isEmpty());
    EXPECT_EQ(parsed.code->carrierHz, 38029u);
    EXPECT_EQ(parsed.code->once, (std::vector<unsigned>{421, 841}));
    EXPECT_EQ(parsed.code->repeat, (std::vector<unsigned>{1262, 1683}));
}

TEST(Pronto, AcceptsLowerCaseAndAnyBlanks)
{
    const ProntoParseResult parsed = parsePronto("\n 0000\t006d  0000 0001\r\n0010 0020 ");
    ASSERT_TRUE(parsed.code) << parsed.error.toStdString();
    EXPECT_TRUE(parsed.code->once.empty());
    EXPECT_EQ(parsed.code->repeat, (std::vector<unsigned>{421, 841}));
}

TEST(Pronto, RefusesInvalidCodesWithAReason)
{
    const struct
    {
        QByteArray text;
        QString reasonPart;
    } cases[] = {
        {"", "vide"},
        {"   \n", "vide"},
        {"0", "mot 1"},                                        // the default code of a new button
        {"0000 006D 0001 0000 001G 0020", "mot 5"},             // not hexadecimal
        {"0000 006D 0001 0000 00010 0020", "mot 5"},            // five digits
        {"0000 006D 0001 0000 0010", "impair"},
        {"0000 006D", "trop court"},
        {"0100 006D 0001 0000 0010 0020", "0100"},              // not a learned code
        {"0000 0000 0001 0000 0010 0020", "fréquence"},
        {"0000 006D 0000 0000", "aucune salve"},
        {"0000 006D 0002 0000 0010 0020", "annonce 2"},         // counts larger than the bursts
        {"0000 006D 0001 0000 0010 0020 0030 0040", "annonce 1"}, // bursts beyond the counts
        {"0000 006D 0001 0000 0000 0020", "mot 5"},             // zero duration
    };
    for (const auto &c : cases) {
        const ProntoParseResult parsed = parsePronto(c.text);
        EXPECT_FALSE(parsed.code) << c.text.toStdString();
        EXPECT_TRUE(parsed.error.contains(c.reasonPart)) << c.text.toStdString() << " -> " << parsed.error.toStdString();
    }
}

TEST(Pronto, CodesNoReceiverCanUseOrThatWouldHoldTheProgramAreRefused)
{
    const struct
    {
        QByteArray text;
        const char *reasonPart; // empty: the code may be sent
    } cases[] = {
        {"0000 006D 0000 0001 0001 FFFF", "répétition"}, // 1.7 s of silence after each repeat
        {"0000 006D 0001 0000 0001 FFFF", "partie unique"},
        {"0000 FFFF 0000 0001 0001 0001", "porteuse de 63 Hz"},
        {"0000 0008 0000 0001 0001 0001", "porteuse"}, // 518 kHz
        {"0000 0009 0000 0001 0001 0001", ""},         // 461 kHz
        {"0000 0114 0000 0001 0001 0001", ""},         // 15.0 kHz
        {"0000 0115 0000 0001 0001 0001", "porteuse"}, // 14.96 kHz
        {"0000 006D 0001 0001 0010 0020 0030 0040", ""},
    };
    for (const auto &c : cases) {
        const ProntoParseResult parsed = parsePronto(c.text);
        ASSERT_TRUE(parsed.code) << c.text.toStdString();
        const QString reason = transmissionLimitError(*parsed.code, 10);
        EXPECT_EQ(reason.isEmpty(), !*c.reasonPart) << c.text.toStdString() << " -> " << reason.toStdString();
        EXPECT_TRUE(reason.contains(QString::fromUtf8(c.reasonPart))) << reason.toStdString();
    }
    // With ten repeats of at most a second the whole stays short; more repeats may not.
    const ProntoCode longRepeat{38000, {}, {500000, 450000}};
    EXPECT_TRUE(transmissionLimitError(longRepeat, 10).isEmpty());
    EXPECT_TRUE(transmissionLimitError(longRepeat, 20).contains(QStringLiteral("15 secondes")));
}

TEST(LircChunks, ShortCodeIsOneWriteOfTheOnceThenTenRepeatsEndingOnAPulse)
{
    const ProntoCode code = *parsePronto(kSmallCode).code;
    const std::vector<LircChunk> chunks = LircTransmitter::chunksFor(code, 10);
    ASSERT_EQ(chunks.size(), 1u);
    std::vector<unsigned> expected{421, 841};
    for (int i = 0; i < 10; ++i)
        expected.insert(expected.end(), {1262, 1683});
    expected.pop_back();
    EXPECT_EQ(chunks[0].durations, expected);
}

TEST(LircChunks, CodeWithoutRepeatPartSendsItsOncePartEachTime)
{
    const ProntoCode code{38000, {100, 200, 300, 400}, {}};
    const std::vector<LircChunk> chunks = LircTransmitter::chunksFor(code, 3);
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(chunks[0].durations, (std::vector<unsigned>{100, 200, 300, 400, 100, 200, 300, 400, 100, 200, 300}));
}

namespace {

// Every write must be accepted by the kernel, and the writes with their gaps must add
// up to the whole signal.
void expectValidSplit(const std::vector<LircChunk> &chunks, const std::vector<unsigned> &wholeSignal)
{
    std::vector<unsigned> joined;
    for (const LircChunk &chunk : chunks) {
        EXPECT_EQ(chunk.durations.size() % 2, 1u);
        EXPECT_LE(chunk.durations.size(), LircTransmitter::kMaxChunkValues);
        EXPECT_LE(std::accumulate(chunk.durations.begin(), chunk.durations.end(), 0ull), LircTransmitter::kMaxChunkUs);
        joined.insert(joined.end(), chunk.durations.begin(), chunk.durations.end());
        joined.push_back(chunk.gapAfterUs);
    }
    EXPECT_EQ(joined, wholeSignal);
}

} // namespace

TEST(LircChunks, LongSignalIsSplitBetweenFramesWithinTheKernelLimits)
{
    // A 41 ms frame of 2 pulses plus a 100 ms silence: three frames per write at most.
    const std::vector<unsigned> frame{20000, 1000, 20000, 100000};
    const ProntoCode code{38000, {}, frame};
    const std::vector<LircChunk> chunks = LircTransmitter::chunksFor(code, 10);
    std::vector<unsigned> whole;
    for (int i = 0; i < 10; ++i)
        whole.insert(whole.end(), frame.begin(), frame.end());
    expectValidSplit(chunks, whole);
    EXPECT_GT(chunks.size(), 1u);
    for (const LircChunk &chunk : chunks)
        EXPECT_EQ(chunk.gapAfterUs, 100000u) << "a write must never end inside a frame";
}

TEST(LircChunks, FrameTooLongForOneWriteIsCutBetweenPairs)
{
    std::vector<unsigned> frame;
    for (int i = 0; i < 700; ++i) // 700 pairs, 1400 values, 1.4 s
        frame.insert(frame.end(), {500, 1500});
    const ProntoCode code{38000, frame, {}};
    const std::vector<LircChunk> chunks = LircTransmitter::chunksFor(code, 2);
    std::vector<unsigned> whole = frame;
    whole.insert(whole.end(), frame.begin(), frame.end());
    expectValidSplit(chunks, whole);
}
