#include "panel/KeyMapping.h"

#include "panel/ShortcutKeys.h"

#include <QKeyEvent>

#include <algorithm>
#include <array>
#include <optional>

namespace zelvar {

namespace {

// Keypad rows apply only with Qt::KeypadModifier; Symbol rows only after the digit row
// has been recognised by position, so that AZERTY's unshifted digit keys ("&", "\"",
// "-"...) give their digit rather than the punctuation code of the same symbol.
enum class Match { Keypad, Key, Symbol };

struct KeyRow
{
    int qtKey;
    int code;
    Match match;
};

// Windows codes of the US layout's punctuation keys, which the shortcut list lacks.
constexpr int VkOem1 = 0xBA;      // ; :
constexpr int VkOemPlus = 0xBB;   // = +
constexpr int VkOemComma = 0xBC;  // , <
constexpr int VkOemMinus = 0xBD;  // - _
constexpr int VkOemPeriod = 0xBE; // . >
constexpr int VkOem2 = 0xBF;      // / ?
constexpr int VkOem3 = 0xC0;      // ` ~
constexpr int VkOem4 = 0xDB;      // [ {
constexpr int VkOem5 = 0xDC;      // \ |
constexpr int VkOem6 = 0xDD;      // ] }
constexpr int VkOem7 = 0xDE;      // ' "
constexpr int VkOem102 = 0xE2;    // the ISO key between left Shift and Z

constexpr KeyRow NamedRows[] = {
    {Qt::Key_Cancel, shortcutCode("VK_CANCEL"), Match::Key},
    {Qt::Key_Backspace, shortcutCode("VK_BACK"), Match::Key},
    {Qt::Key_Tab, shortcutCode("VK_TAB"), Match::Key},
    {Qt::Key_Backtab, shortcutCode("VK_TAB"), Match::Key},
    {Qt::Key_Clear, shortcutCode("VK_CLEAR"), Match::Key},
    {Qt::Key_Return, shortcutCode("VK_RETURN"), Match::Key},
    {Qt::Key_Enter, shortcutCode("VK_RETURN"), Match::Key},
    {Qt::Key_Shift, shortcutCode("VK_SHIFT"), Match::Key},
    {Qt::Key_Control, shortcutCode("VK_CONTROL"), Match::Key},
    {Qt::Key_Alt, shortcutCode("VK_MENU"), Match::Key},
    {Qt::Key_AltGr, shortcutCode("VK_MENU"), Match::Key},
    {Qt::Key_Pause, shortcutCode("VK_PAUSE"), Match::Key},
    {Qt::Key_CapsLock, shortcutCode("VK_CAPITAL"), Match::Key},
    {Qt::Key_Kana_Lock, shortcutCode("VK_KANA"), Match::Key},
    {Qt::Key_Kana_Shift, shortcutCode("VK_KANA"), Match::Key},
    {Qt::Key_Hangul, shortcutCode("VK_HANGUL"), Match::Key},
    {Qt::Key_Hangul_Jeonja, shortcutCode("VK_JUNJA"), Match::Key},
    {Qt::Key_Hangul_Hanja, shortcutCode("VK_HANJA"), Match::Key},
    {Qt::Key_Kanji, shortcutCode("VK_KANJI"), Match::Key},
    {Qt::Key_Henkan, shortcutCode("VK_CONVERT"), Match::Key},
    {Qt::Key_Muhenkan, shortcutCode("VK_NONCONVERT"), Match::Key},
    {Qt::Key_Mode_switch, shortcutCode("VK_MODECHANGE"), Match::Key},
    {Qt::Key_Escape, shortcutCode("VK_ESCAPE"), Match::Key},
    {Qt::Key_Space, shortcutCode("VK_SPACE"), Match::Key},
    {Qt::Key_PageUp, shortcutCode("VK_PRIOR"), Match::Key},
    {Qt::Key_PageDown, shortcutCode("VK_NEXT"), Match::Key},
    {Qt::Key_End, shortcutCode("VK_End"), Match::Key},
    {Qt::Key_Home, shortcutCode("VK_HOME"), Match::Key},
    {Qt::Key_Left, shortcutCode("VK_LEFT"), Match::Key},
    {Qt::Key_Up, shortcutCode("VK_UP"), Match::Key},
    {Qt::Key_Right, shortcutCode("VK_RIGHT"), Match::Key},
    {Qt::Key_Down, shortcutCode("VK_DOWN"), Match::Key},
    {Qt::Key_Select, shortcutCode("VK_SELECT"), Match::Key},
    {Qt::Key_Printer, shortcutCode("VK_PRINT"), Match::Key},
    {Qt::Key_Execute, shortcutCode("VK_EXECUTE"), Match::Key},
    // Qt's Print is the Print Screen key; with Alt held X11 reports it as SysReq.
    {Qt::Key_Print, shortcutCode("VK_SNAPSHOT"), Match::Key},
    {Qt::Key_SysReq, shortcutCode("VK_SNAPSHOT"), Match::Key},
    {Qt::Key_Insert, shortcutCode("VK_INSERT"), Match::Key},
    {Qt::Key_Delete, shortcutCode("VK_DELETE"), Match::Key},
    {Qt::Key_Help, shortcutCode("VK_HELP"), Match::Key},
    {Qt::Key_Super_L, shortcutCode("VK_LWIN"), Match::Key},
    {Qt::Key_Super_R, shortcutCode("VK_RWIN"), Match::Key},
    {Qt::Key_Meta, shortcutCode("VK_LWIN"), Match::Key},
    {Qt::Key_Menu, shortcutCode("VK_APPS"), Match::Key},
    {Qt::Key_NumLock, shortcutCode("VK_NUMLOCK"), Match::Key},
    {Qt::Key_ScrollLock, shortcutCode("VK_SCROLL"), Match::Key},
    {Qt::Key_Play, shortcutCode("VK_PLAY"), Match::Key},
    {Qt::Key_Zoom, shortcutCode("VK_ZOOM"), Match::Key},

    {Qt::Key_Asterisk, shortcutCode("VK_MULTIPLY"), Match::Keypad},
    {Qt::Key_Plus, shortcutCode("VK_ADD"), Match::Keypad},
    {Qt::Key_Comma, shortcutCode("VK_SEPARATOR"), Match::Keypad},
    {Qt::Key_Minus, shortcutCode("VK_SUBTRACT"), Match::Keypad},
    {Qt::Key_Period, shortcutCode("VK_DECIMAL"), Match::Keypad},
    {Qt::Key_Slash, shortcutCode("VK_DIVIDE"), Match::Keypad},

    {Qt::Key_Semicolon, VkOem1, Match::Symbol},
    {Qt::Key_Colon, VkOem1, Match::Symbol},
    {Qt::Key_Equal, VkOemPlus, Match::Symbol},
    {Qt::Key_Plus, VkOemPlus, Match::Symbol},
    {Qt::Key_Comma, VkOemComma, Match::Symbol},
    {Qt::Key_Less, VkOemComma, Match::Symbol},
    {Qt::Key_Minus, VkOemMinus, Match::Symbol},
    {Qt::Key_Underscore, VkOemMinus, Match::Symbol},
    {Qt::Key_Period, VkOemPeriod, Match::Symbol},
    {Qt::Key_Greater, VkOemPeriod, Match::Symbol},
    {Qt::Key_Slash, VkOem2, Match::Symbol},
    {Qt::Key_Question, VkOem2, Match::Symbol},
    {Qt::Key_QuoteLeft, VkOem3, Match::Symbol},
    {Qt::Key_AsciiTilde, VkOem3, Match::Symbol},
    {Qt::Key_BracketLeft, VkOem4, Match::Symbol},
    {Qt::Key_BraceLeft, VkOem4, Match::Symbol},
    {Qt::Key_Backslash, VkOem5, Match::Symbol},
    {Qt::Key_Bar, VkOem5, Match::Symbol},
    {Qt::Key_BracketRight, VkOem6, Match::Symbol},
    {Qt::Key_BraceRight, VkOem6, Match::Symbol},
    {Qt::Key_Apostrophe, VkOem7, Match::Symbol},
    {Qt::Key_QuoteDbl, VkOem7, Match::Symbol},
};

struct KeyRange
{
    int firstQtKey;
    int firstCode;
    int count;
    Match match;
};

// Runs of keys whose codes follow each other, expanded into the table below.
constexpr KeyRange Ranges[] = {
    {Qt::Key_0, shortcutCode("VK_0"), 10, Match::Key},
    {Qt::Key_A, shortcutCode("VK_A"), 26, Match::Key},
    {Qt::Key_F1, shortcutCode("VK_F1"), 24, Match::Key},
    {Qt::Key_0, shortcutCode("VK_NUMPAD0"), 10, Match::Keypad},
};

constexpr std::size_t rangeRowCount()
{
    std::size_t count = 0;
    for (const KeyRange &range : Ranges)
        count += std::size_t(range.count);
    return count;
}

constexpr auto buildTable()
{
    std::array<KeyRow, rangeRowCount() + std::size(NamedRows)> rows{};
    std::size_t next = 0;
    for (const KeyRange &range : Ranges) {
        for (int i = 0; i < range.count; ++i)
            rows[next++] = {range.firstQtKey + i, range.firstCode + i, range.match};
    }
    for (const KeyRow &row : NamedRows)
        rows[next++] = row;
    return rows;
}

constexpr auto KeyTable = buildTable();

std::optional<int> lookup(int qtKey, Match match)
{
    const auto it = std::ranges::find_if(KeyTable, [=](const KeyRow &row) {
        return row.qtKey == qtKey && row.match == match;
    });
    if (it == KeyTable.end())
        return std::nullopt;
    return it->code;
}

// XKB keycodes (evdev code + 8), which Qt reports as the native scan code on X11 and
// Wayland: the main row "1".."9", "0" is 10..19 and the ISO key left of Z is 94.
// Windows gives these keys the same codes on every common layout.
std::optional<int> codeByPosition(quint32 scanCode)
{
    constexpr quint32 DigitOne = 10;
    constexpr quint32 DigitZero = 19;
    constexpr quint32 IsoKey = 94;
    if (scanCode >= DigitOne && scanCode < DigitZero)
        return shortcutCode("VK_1") + int(scanCode - DigitOne);
    if (scanCode == DigitZero)
        return shortcutCode("VK_0");
    if (scanCode == IsoKey)
        return VkOem102;
    return std::nullopt;
}

// Events without a Qt key (synthetic ones, unknown key symbols) may still carry text.
int keyOf(const QKeyEvent &event)
{
    int key = event.key();
    if ((key == 0 || key == Qt::Key_unknown) && event.text().size() == 1)
        key = event.text().front().unicode();
    if (key >= 'a' && key <= 'z')
        key -= 'a' - 'A';
    return key;
}

} // namespace

int virtualKeyFor(const QKeyEvent &event)
{
    const int key = keyOf(event);
    if (event.modifiers().testFlag(Qt::KeypadModifier)) {
        if (const auto code = lookup(key, Match::Keypad))
            return *code;
    }
    if (const auto code = lookup(key, Match::Key))
        return *code;
    if (const auto code = codeByPosition(event.nativeScanCode()))
        return *code;
    return lookup(key, Match::Symbol).value_or(0);
}

} // namespace zelvar
