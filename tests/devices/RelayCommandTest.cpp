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
