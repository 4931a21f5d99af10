#include "panel/KeyMapping.h"

#include "panel/ShortcutKeys.h"

#include <gtest/gtest.h>

#include <QKeyEvent>

#include <cctype>
#include <map>
#include <optional>
#include <set>
#include <string>

using namespace zelvar;

namespace {

struct Press
{
    int key;
    Qt::KeyboardModifiers modifiers = Qt::NoModifier;
};

int map(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, quint32 scanCode = 0,
        const QString &text = {})
{
    const QKeyEvent event(QEvent::KeyPress, key, modifiers, scanCode, 0, 0, text);
    return virtualKeyFor(event);
}

// How a user presses the key a shortcut row names, as Qt reports it.
std::optional<Press> pressFor(const std::string &name)
{
    static const std::map<std::string, Press> named = {
        {"VK_CANCEL", {Qt::Key_Cancel}},
        {"VK_BACK", {Qt::Key_Backspace}},
        {"VK_TAB", {Qt::Key_Tab}},
        {"VK_CLEAR", {Qt::Key_Clear, Qt::KeypadModifier}},
        {"VK_RETURN", {Qt::Key_Return}},
        {"VK_SHIFT", {Qt::Key_Shift, Qt::ShiftModifier}},
        {"VK_CONTROL", {Qt::Key_Control, Qt::ControlModifier}},
        {"VK_MENU", {Qt::Key_Alt, Qt::AltModifier}},
        {"VK_PAUSE", {Qt::Key_Pause}},
        {"VK_CAPITAL", {Qt::Key_CapsLock}},
        {"VK_KANA", {Qt::Key_Kana_Lock}},
        {"VK_HANGUL", {Qt::Key_Hangul}},
        {"VK_JUNJA", {Qt::Key_Hangul_Jeonja}},
        {"VK_HANJA", {Qt::Key_Hangul_Hanja}},
        {"VK_KANJI", {Qt::Key_Kanji}},
        {"VK_CONVERT", {Qt::Key_Henkan}},
        {"VK_NONCONVERT", {Qt::Key_Muhenkan}},
        {"VK_MODECHANGE", {Qt::Key_Mode_switch}},
        {"VK_ESCAPE", {Qt::Key_Escape}},
        {"VK_SPACE", {Qt::Key_Space}},
        {"VK_PRIOR", {Qt::Key_PageUp}},
        {"VK_NEXT", {Qt::Key_PageDown}},
        {"VK_End", {Qt::Key_End}},
        {"VK_HOME", {Qt::Key_Home}},
        {"VK_LEFT", {Qt::Key_Left}},
        {"VK_UP", {Qt::Key_Up}},
        {"VK_RIGHT", {Qt::Key_Right}},
        {"VK_DOWN", {Qt::Key_Down}},
        {"VK_SELECT", {Qt::Key_Select}},
        {"VK_PRINT", {Qt::Key_Printer}},
        {"VK_EXECUTE", {Qt::Key_Execute}},
        {"VK_SNAPSHOT", {Qt::Key_Print}},
        {"VK_INSERT", {Qt::Key_Insert}},
        {"VK_DELETE", {Qt::Key_Delete}},
        {"VK_HELP", {Qt::Key_Help}},
        {"VK_LWIN", {Qt::Key_Super_L}},
        {"VK_RWIN", {Qt::Key_Super_R}},
        {"VK_APPS", {Qt::Key_Menu}},
        {"VK_MULTIPLY", {Qt::Key_Asterisk, Qt::KeypadModifier}},
        {"VK_ADD", {Qt::Key_Plus, Qt::KeypadModifier}},
        {"VK_SEPARATOR", {Qt::Key_Comma, Qt::KeypadModifier}},
        {"VK_SUBTRACT", {Qt::Key_Minus, Qt::KeypadModifier}},
        {"VK_DECIMAL", {Qt::Key_Period, Qt::KeypadModifier}},
        {"VK_DIVIDE", {Qt::Key_Slash, Qt::KeypadModifier}},
        {"VK_NUMLOCK", {Qt::Key_NumLock}},
        {"VK_SCROLL", {Qt::Key_ScrollLock}},
        {"VK_PLAY", {Qt::Key_Play}},
        {"VK_ZOOM", {Qt::Key_Zoom}},
    };
    if (const auto it = named.find(name); it != named.end())
        return it->second;

    const std::string rest = name.substr(3);
    if (rest.size() == 1)
        return Press{rest[0]}; // Qt's keys for "0".."9" and "A".."Z" are their ASCII codes
    if (rest.starts_with("NUMPAD"))
        return Press{Qt::Key_0 + std::stoi(rest.substr(6)), Qt::KeypadModifier};
    if (rest.starts_with("F") && rest.size() <= 3 && std::isdigit(rest[1]))
        return Press{Qt::Key_F1 + std::stoi(rest.substr(1)) - 1};
    return std::nullopt;
}

} // namespace

TEST(KeyMappingTest, EveryShortcutKeyQtCanNameMapsToItsCode)
{
    std::set<std::string> unnamed;
    for (const ShortcutKey &row : shortcutKeys()) {
        const std::string name(row.name);
        const auto press = pressFor(name);
        if (!press) {
            unnamed.insert(name);
            continue;
        }
        EXPECT_EQ(map(press->key, press->modifiers), row.code) << name;
    }
    // Mouse buttons, keys without a Qt name, and the left/right modifier codes that a
    // key press never carries (it reports the generic VK_SHIFT, VK_CONTROL, VK_MENU).
    const std::set<std::string> expectedUnnamed = {
        "VK_NONE",     "VK_LBUTTON",  "VK_RBUTTON", "VK_MBUTTON",  "VK_FINAL",    "VK_ACCEPT",
        "VK_LSHIFT",   "VK_RSHIFT",   "VK_LCONTROL", "VK_RCONTROL", "VK_LMENU",   "VK_RMENU",
        "VK_PROCESSKEY", "VK_ATTN",   "VK_CRSEL",   "VK_EXSEL",    "VK_EREOF",    "VK_NONAME",
        "VK_PA1",      "VK_OEM_CLEAR",
    };
    EXPECT_EQ(unnamed, expectedUnnamed);
}

TEST(KeyMappingTest, LettersIgnoreShiftAndCase)
{
    EXPECT_EQ(map(Qt::Key_Q, Qt::NoModifier, 24, "q"), 0x51);
    EXPECT_EQ(map(Qt::Key_Q, Qt::ShiftModifier, 24, "Q"), 0x51);
    EXPECT_EQ(map(Qt::Key_A, Qt::ControlModifier, 24, "\x01"), 0x41);
    EXPECT_EQ(map('z'), 0x5A);
    EXPECT_EQ(map(0, Qt::NoModifier, 0, "m"), 0x4D) << "no Qt key: taken from the text";
}

TEST(KeyMappingTest, DigitRowGivesDigitsOnAzertyAndUnderShift)
{
    // The AZERTY main row types & é " ' ( - è _ ç à without Shift (XKB keycodes 10..19).
    const int azerty[] = {Qt::Key_Ampersand, Qt::Key_Eacute,   Qt::Key_QuoteDbl,
                          Qt::Key_Apostrophe, Qt::Key_ParenLeft, Qt::Key_Minus,
                          Qt::Key_Egrave,    Qt::Key_Underscore, Qt::Key_Ccedilla,
                          Qt::Key_Agrave};
    for (int i = 0; i < 10; ++i) {
        const int digit = (i + 1) % 10;
        const quint32 scanCode = 10 + quint32(i);
        EXPECT_EQ(map(azerty[i], Qt::NoModifier, scanCode), 0x30 + digit) << i;
        EXPECT_EQ(map(Qt::Key_0 + digit, Qt::ShiftModifier, scanCode), 0x30 + digit) << i;
    }
    EXPECT_EQ(map(Qt::Key_Exclam, Qt::ShiftModifier, 10), 0x31) << "US Shift+1";
    EXPECT_EQ(map(Qt::Key_At, Qt::GroupSwitchModifier, 19), 0x30) << "AZERTY AltGr+0";
    EXPECT_EQ(map(Qt::Key_7), 0x37) << "no scan code needed for a plain digit";
}

TEST(KeyMappingTest, KeypadKeysDependOnNumLock)
{
    EXPECT_EQ(map(Qt::Key_7, Qt::KeypadModifier), 0x67);
    EXPECT_EQ(map(Qt::Key_Home, Qt::KeypadModifier), 0x24) << "Num Lock off";
    EXPECT_EQ(map(Qt::Key_Clear, Qt::KeypadModifier), 0x0C) << "5 with Num Lock off";
    EXPECT_EQ(map(Qt::Key_Delete, Qt::KeypadModifier), 0x2E);
    EXPECT_EQ(map(Qt::Key_Enter, Qt::KeypadModifier), 0x0D);
    EXPECT_EQ(map(Qt::Key_Enter), 0x0D);
    EXPECT_EQ(map(Qt::Key_Plus, Qt::KeypadModifier | Qt::ShiftModifier), 0x6B);
    EXPECT_EQ(map(Qt::Key_Plus, Qt::ShiftModifier), 0xBB) << "main-row +, not keypad";
    EXPECT_EQ(map(Qt::Key_Minus), 0xBD);
}

TEST(KeyMappingTest, PunctuationAndOtherKeys)
{
    EXPECT_EQ(map(Qt::Key_Semicolon), 0xBA);
    EXPECT_EQ(map(Qt::Key_Colon, Qt::ShiftModifier), 0xBA);
    EXPECT_EQ(map(Qt::Key_QuoteDbl, Qt::ShiftModifier, 48), 0xDE) << "US Shift+'";
    EXPECT_EQ(map(Qt::Key_BraceRight, Qt::ShiftModifier), 0xDD);
    EXPECT_EQ(map(Qt::Key_Less, Qt::NoModifier, 94), 0xE2) << "ISO key left of Z";
    EXPECT_EQ(map(Qt::Key_Less, Qt::ShiftModifier, 59), 0xBC) << "US Shift+,";

    EXPECT_EQ(map(Qt::Key_Backtab, Qt::ShiftModifier), 0x09);
    EXPECT_EQ(map(Qt::Key_AltGr), 0x12);
    EXPECT_EQ(map(Qt::Key_SysReq, Qt::AltModifier), 0x2C);
    EXPECT_EQ(map(Qt::Key_F24), 0x87);

    EXPECT_EQ(map(Qt::Key_F25), 0);
    EXPECT_EQ(map(Qt::Key_MediaPlay), 0);
    EXPECT_EQ(map(Qt::Key_Dead_Circumflex, Qt::NoModifier, 34), 0);
    EXPECT_EQ(map(Qt::Key_unknown), 0);
    EXPECT_EQ(map(0), 0);
}
