#include "devices/RelayCommand.h"

#include <gtest/gtest.h>

using namespace zelvar;

TEST(RelayCommand, TextIsSNumberActionDollarHash)
{
    EXPECT_EQ(relayCommand(1, RelayAction::On), "S1N$#");
    EXPECT_EQ(relayCommand(1, RelayAction::Off), "S1F$#");
    EXPECT_EQ(relayCommand(16, RelayAction::Toggle), "S16T$#");
    EXPECT_EQ(relayCommand(0, RelayAction::On), "S0N$#") << "an unset relay is sent as stored";
}

TEST(RelayCommand, SlotTableForEveryMode)
{
    struct Row { int mode; const char *press, *release, *click; };
    const Row rows[] = {
        {0, "", "", ""},
        {1, "S7N$#", "S7F$#", ""},
        {2, "", "", "S7N$#"},
        {3, "", "", "S7F$#"},
        {4, "", "", "S7T$#"},
        {5, "", "", "0000 006D 0000 0001 0020 0030"},
        {6, "", "", ""},
        {7, "", "", ""},
        {-1, "", "", ""},
    };
    for (const Row &row : rows) {
        const CommandSlots s = commandSlotsFor(row.mode, 7, "0000 006D 0000 0001 0020 0030");
        EXPECT_EQ(s.press, QByteArray(row.press)) << "mode " << row.mode;
        EXPECT_EQ(s.release, QByteArray(row.release)) << "mode " << row.mode;
        EXPECT_EQ(s.click, QByteArray(row.click)) << "mode " << row.mode;
    }
    const CommandSlots bistable12 = commandSlotsFor(Bistable, 12, "0");
    EXPECT_EQ(bistable12.click, "S12T$#");
    EXPECT_TRUE(bistable12.press.isEmpty() && bistable12.release.isEmpty());
    EXPECT_EQ(commandSlotsFor(UsbUirt, 3, "0").click, "0") << "the default Pronto code goes out as it is";
}

TEST(RelayCommand, ModeNames)
{
    EXPECT_STREQ(buttonModeName(1), "Imp");
    EXPECT_STREQ(buttonModeName(5), "UsbUirt");
    EXPECT_STREQ(buttonModeName(6), "Macros");
    EXPECT_STREQ(buttonModeName(9), "");
}

// Read as the board reads its line: whole commands for relays 1..16, in order; the rest is
// skipped up to the next "S".
TEST(RelayCommand, CommandsInAWrittenText)
{
    using C = RelayCommandText;
    constexpr auto N = RelayAction::On, F = RelayAction::Off, T = RelayAction::Toggle;
    struct Row { QByteArray text; std::vector<C> commands; };
    const Row rows[] = {
        {"S1N$#", {{1, N}}},
        {"S1N$#S2F$#S12T$#", {{1, N}, {2, F}, {12, T}}},
        {"S99999999999999999999N$#", {}},
        {"S0N$#S3N$#S17N$#", {{3, N}}},
        {"", {}},
        {"0000 006D 0000 0001 0020 0030", {}},
        {"SN$#", {}},
        {"S1X$#", {}},
        {"S1N$", {}},
        {"S1N$S2F$#", {{2, F}}},
        {"SS3N$#", {{3, N}}},
        {"xxS4F$#yy", {{4, F}}},
        {"S05N$#", {{5, N}}},
    };
    for (const Row &row : rows)
        EXPECT_EQ(relayCommandsIn(row.text), row.commands) << row.text.constData();
    for (int relay = 1; relay <= RelayCount; ++relay)
        EXPECT_EQ(relayCommandsIn(relayCommand(relay, RelayAction::Off)), (std::vector<C>{{relay, F}}));
}
