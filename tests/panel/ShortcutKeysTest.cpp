#include "panel/ShortcutKeys.h"

#include <gtest/gtest.h>

#include <QString>

#include <vector>

using namespace zelvar;

namespace {

// The list as the properties dialog must show it, with its runs written out.
QStringList expectedNames()
{
    QStringList names = QString("VK_NONE VK_LBUTTON VK_RBUTTON VK_CANCEL VK_MBUTTON VK_BACK VK_TAB "
                                "VK_CLEAR VK_RETURN VK_SHIFT VK_CONTROL VK_MENU VK_PAUSE VK_CAPITAL "
                                "VK_KANA VK_HANGUL VK_JUNJA VK_FINAL VK_HANJA VK_KANJI VK_CONVERT "
                                "VK_NONCONVERT VK_ACCEPT VK_MODECHANGE VK_ESCAPE VK_SPACE VK_PRIOR "
                                "VK_NEXT VK_End VK_HOME VK_LEFT VK_UP VK_RIGHT VK_DOWN VK_SELECT "
                                "VK_PRINT VK_EXECUTE VK_SNAPSHOT VK_INSERT VK_DELETE VK_HELP")
                            .split(' ');
    for (char c = '0'; c <= '9'; ++c)
        names << QString("VK_%1").arg(c);
    for (char c = 'A'; c <= 'Z'; ++c)
        names << QString("VK_%1").arg(c);
    names << "VK_LWIN" << "VK_RWIN" << "VK_APPS";
    for (int i = 0; i <= 9; ++i)
        names << QString("VK_NUMPAD%1").arg(i);
    names << QString("VK_MULTIPLY VK_ADD VK_SEPARATOR VK_SUBTRACT VK_DECIMAL VK_DIVIDE").split(' ');
    for (int i = 1; i <= 24; ++i)
        names << QString("VK_F%1").arg(i);
    names << QString("VK_NUMLOCK VK_SCROLL VK_LSHIFT VK_RSHIFT VK_LCONTROL VK_RCONTROL VK_LMENU "
                     "VK_RMENU VK_PROCESSKEY VK_ATTN VK_CRSEL VK_EXSEL VK_EREOF VK_PLAY VK_ZOOM "
                     "VK_NONAME VK_PA1 VK_OEM_CLEAR")
                 .split(' ');
    return names;
}

int code(const char *name)
{
    return shortcutCodeForName(QString::fromLatin1(name)).value_or(-1);
}

} // namespace

TEST(ShortcutKeysTest, ListsTheNamesInDialogOrder)
{
    const QStringList names = shortcutKeyNames();
    EXPECT_EQ(names.size(), 138);
    EXPECT_EQ(names, expectedNames());
    ASSERT_EQ(shortcutKeys().size(), 138u);
    for (int i = 0; i < names.size(); ++i)
        EXPECT_EQ(shortcutKeyIndex(names[i]), i) << names[i].toStdString();
}

TEST(ShortcutKeysTest, CodesAreTheWindowsVirtualKeyCodes)
{
    for (int i = 0; i <= 9; ++i) {
        EXPECT_EQ(code(qPrintable(QString("VK_%1").arg(i))), 0x30 + i);
        EXPECT_EQ(code(qPrintable(QString("VK_NUMPAD%1").arg(i))), 0x60 + i);
    }
    for (int i = 0; i < 26; ++i)
        EXPECT_EQ(code(qPrintable(QString("VK_%1").arg(QChar('A' + i)))), 0x41 + i);
    for (int i = 1; i <= 24; ++i)
        EXPECT_EQ(code(qPrintable(QString("VK_F%1").arg(i))), 0x6F + i);

    const std::pair<const char *, int> known[] = {
        {"VK_NONE", 0},        {"VK_LBUTTON", 1},     {"VK_CANCEL", 3},     {"VK_MBUTTON", 4},
        {"VK_BACK", 8},        {"VK_TAB", 9},         {"VK_CLEAR", 12},     {"VK_RETURN", 13},
        {"VK_SHIFT", 16},      {"VK_CONTROL", 17},    {"VK_MENU", 18},      {"VK_PAUSE", 19},
        {"VK_CAPITAL", 20},    {"VK_KANA", 21},       {"VK_HANGUL", 21},    {"VK_JUNJA", 23},
        {"VK_FINAL", 24},      {"VK_HANJA", 25},      {"VK_KANJI", 25},     {"VK_ESCAPE", 27},
        {"VK_CONVERT", 28},    {"VK_MODECHANGE", 31}, {"VK_SPACE", 32},     {"VK_PRIOR", 33},
        {"VK_NEXT", 34},       {"VK_End", 35},        {"VK_HOME", 36},      {"VK_LEFT", 37},
        {"VK_DOWN", 40},       {"VK_SNAPSHOT", 44},   {"VK_INSERT", 45},    {"VK_DELETE", 46},
        {"VK_HELP", 47},       {"VK_LWIN", 91},       {"VK_APPS", 93},      {"VK_MULTIPLY", 106},
        {"VK_SEPARATOR", 108}, {"VK_DIVIDE", 111},    {"VK_NUMLOCK", 144},  {"VK_SCROLL", 145},
        {"VK_LSHIFT", 160},    {"VK_RMENU", 165},     {"VK_PROCESSKEY", 229}, {"VK_ATTN", 246},
        {"VK_PLAY", 250},      {"VK_ZOOM", 251},      {"VK_PA1", 253},      {"VK_OEM_CLEAR", 254},
    };
    for (const auto &[name, expected] : known)
        EXPECT_EQ(code(name), expected) << name;

    // Past the two shared pairs, codes rise strictly down the list except for VK_ESCAPE,
    // which stands after VK_MODECHANGE: a swapped or mistyped code breaks this.
    const auto rows = shortcutKeys();
    for (std::size_t i = 1; i < rows.size(); ++i) {
        const std::string_view name = rows[i].name;
        if (name == "VK_HANGUL" || name == "VK_KANJI")
            EXPECT_EQ(rows[i].code, rows[i - 1].code);
        else if (name == "VK_ESCAPE")
            EXPECT_LT(rows[i].code, rows[i - 1].code);
        else if (name == "VK_SPACE")
            EXPECT_GT(rows[i].code, rows[i - 2].code);
        else
            EXPECT_GT(rows[i].code, rows[i - 1].code) << name;
    }
}

TEST(ShortcutKeysTest, LooksUpNamesExactlyAndCodesByFirstRow)
{
    EXPECT_EQ(code("VK_End"), 0x23);
    EXPECT_EQ(shortcutCodeForName(u"VK_END"), std::nullopt);
    EXPECT_EQ(shortcutCodeForName(u"vk_f5"), std::nullopt);
    EXPECT_EQ(shortcutCodeForName(u"VK_F5 "), std::nullopt);
    EXPECT_EQ(shortcutCodeForName(u""), std::nullopt);
    EXPECT_EQ(shortcutKeyIndex(u"VK_NONE"), 0);
    EXPECT_EQ(shortcutKeyIndex(u"VK_OEM_CLEAR"), 137);

    EXPECT_EQ(shortcutNameForCode(0x15), QString("VK_KANA"));
    EXPECT_EQ(shortcutNameForCode(0x19), QString("VK_HANJA"));
    EXPECT_EQ(shortcutNameForCode(0x23), QString("VK_End"));
    EXPECT_EQ(shortcutNameForCode(0), QString("VK_NONE"));
    EXPECT_EQ(shortcutNameForCode(0xBA), std::nullopt);
    EXPECT_EQ(shortcutNameForCode(-1), std::nullopt);

    static_assert(shortcutCode("VK_F5") == 0x74);
}

TEST(ShortcutKeysTest, KeyFiresTheHighestIndexedButtonWithThatShortcut)
{
    const int f5 = shortcutCode("VK_F5");
    const int a = shortcutCode("VK_A");
    const std::vector<int> shortcuts{f5, f5, 0, a, f5, 0};

    EXPECT_EQ(buttonForShortcut(shortcuts, f5), 4);
    EXPECT_EQ(buttonForShortcut(shortcuts, a), 3);
    EXPECT_EQ(buttonForShortcut(shortcuts, shortcutCode("VK_B")), 0);
    EXPECT_EQ(buttonForShortcut(shortcuts, 0), 0) << "no shortcut never fires";
    EXPECT_EQ(buttonForShortcut(std::vector<int>{a}, a), 0) << "slot 0 holds no button";
    EXPECT_EQ(buttonForShortcut({}, a), 0);
}
