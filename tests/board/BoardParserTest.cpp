#include "BoardParser.h"
#include "RelayBank.h"
#include "VirtualBoard.h"

#include <gtest/gtest.h>

using namespace zelvar::board;
using Kind = BoardEvent::Kind;

namespace {

// Compact picture of events: "3N" for a command, "!17N" out of range, "?bytes" unparsed.
QStringList picture(const std::vector<BoardEvent> &events)
{
    QStringList out;
    for (const BoardEvent &e : events) {
        switch (e.kind) {
        case Kind::Command:
            out << QStringLiteral("%1%2").arg(e.relay).arg(QLatin1Char(e.action));
            break;
        case Kind::OutOfRange:
            out << QStringLiteral("!%1%2").arg(e.relay).arg(QLatin1Char(e.action));
            break;
        case Kind::Unparsed:
            out << QStringLiteral("?") + QString::fromLatin1(e.bytes);
            break;
        }
    }
    return out;
}

QStringList feedAll(BoardParser &parser, const QList<QByteArray> &reads)
{
    QStringList out;
    for (const QByteArray &bytes : reads)
        out << picture(parser.feed(bytes));
    return out;
}

} // namespace

TEST(BoardParser, ReadsGluedCommandsAndKeepsTheirBytes)
{
    BoardParser parser;
    const auto events = parser.feed("S1N$#S16F$#S12T$#S03N$#");
    EXPECT_EQ(picture(events), (QStringList{"1N", "16F", "12T", "3N"}));
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[1].bytes, "S16F$#");
}

TEST(BoardParser, CommandsSplitAnywhereAcrossReads)
{
    const QByteArray stream = "S12N$#S3F$#";
    for (qsizetype cut = 1; cut < stream.size(); ++cut) {
        BoardParser parser;
        EXPECT_EQ(feedAll(parser, {stream.left(cut), stream.mid(cut)}), (QStringList{"12N", "3F"})) << cut;
    }
    BoardParser parser;
    QList<QByteArray> bytes;
    for (char c : stream)
        bytes << QByteArray(1, c);
    EXPECT_EQ(feedAll(parser, bytes), (QStringList{"12N", "3F"}));
}

TEST(BoardParser, MalformedBytesAreReportedAndReadingResumesAtTheNextS)
{
    const struct
    {
        QByteArray input;
        QStringList expected;
    } cases[] = {
        {"hello", {"?hello"}},
        {"S3X$#S4N$#", {"?S3X$#", "4N"}},
        {"S3N$S4N$#", {"?S3N$", "4N"}},                // "$" without "#"
        {"SN$#S4N$#", {"?SN$#", "4N"}},                // no relay number
        {"S3N#S4N$#", {"?S3N#", "4N"}},
        {"S3N$#\r\nS4N$#", {"3N", "?\r\n", "4N"}},     // a line end after a command
        {"S4N$#S5", {"4N"}},                            // the tail waits for more
        {"s4n$#", {"?s4n$#"}},                          // letters are upper case
    };
    for (const auto &c : cases) {
        BoardParser parser;
        EXPECT_EQ(picture(parser.feed(c.input)), c.expected) << c.input.toStdString();
    }
}

TEST(BoardParser, RelayNumbersOutsideTheBoardAreReportedAsSuch)
{
    BoardParser parser;
    EXPECT_EQ(picture(parser.feed("S0N$#S17F$#S16T$#S99999999999999999999N$#")),
              (QStringList{"!0N", "!17F", "16T", QStringLiteral("!%1N").arg(BoardEvent::kRelayNumberCap)}));
}

TEST(RelayBank, SwitchesAndTogglesEachRelayOnItsOwn)
{
    RelayBank bank;
    EXPECT_TRUE(bank.apply(3, 'N'));
    EXPECT_TRUE(bank.apply(16, 'T'));
    EXPECT_TRUE(bank.apply(3, 'N'));
    EXPECT_FALSE(bank.apply(16, 'T'));
    EXPECT_EQ(bank.summary(), "--#-------------");
    EXPECT_FALSE(bank.apply(3, 'F'));
    EXPECT_EQ(bank.summary(), "----------------");
}

TEST(VirtualBoard, ReportsEveryEventAndSetsOnlyRealRelays)
{
    VirtualBoard board;
    QStringList lines;
    std::vector<std::pair<int, bool>> relays;
    QObject::connect(&board, &VirtualBoard::reported, [&](const QString &line) { lines << line; });
    QObject::connect(&board, &VirtualBoard::relaySet, [&](int relay, bool on) { relays.emplace_back(relay, on); });
    board.receive("S3N$#S3N$#S40N$#\x01S3");
    board.receive("F$#");

    ASSERT_EQ(lines.size(), 5);
    EXPECT_TRUE(lines[0].contains(QStringLiteral("relais  3 allumé  [")));
    EXPECT_TRUE(lines[1].contains(QStringLiteral("allumé (inchangé)")));
    EXPECT_TRUE(lines[2].contains(QStringLiteral("relais 40 hors plage")));
    EXPECT_EQ(lines[3], QStringLiteral("octets non reconnus (1) : \"\\x01\""));
    EXPECT_TRUE(lines[4].contains(QStringLiteral("relais  3 éteint")));

    EXPECT_EQ(relays, (std::vector<std::pair<int, bool>>{{3, true}, {3, true}, {3, false}}));
}
