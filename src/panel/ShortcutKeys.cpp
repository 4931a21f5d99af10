#include "panel/ShortcutKeys.h"

#include <algorithm>

namespace zelvar {

namespace {

bool sameName(std::string_view stored, QStringView name)
{
    return QLatin1StringView(stored.data(), qsizetype(stored.size())) == name;
}

} // namespace

std::span<const ShortcutKey> shortcutKeys()
{
    return ShortcutKeyTable;
}

QStringList shortcutKeyNames()
{
    QStringList names;
    names.reserve(ShortcutKeyCount);
    for (const ShortcutKey &row : ShortcutKeyTable)
        names.append(QString::fromLatin1(row.name.data(), qsizetype(row.name.size())));
    return names;
}

std::optional<int> shortcutKeyIndex(QStringView name)
{
    const auto rows = shortcutKeys();
    const auto it = std::ranges::find_if(rows, [name](const ShortcutKey &row) {
        return sameName(row.name, name);
    });
    if (it == rows.end())
        return std::nullopt;
    return int(it - rows.begin());
}

std::optional<int> shortcutCodeForName(QStringView name)
{
    const auto index = shortcutKeyIndex(name);
    if (!index)
        return std::nullopt;
    return ShortcutKeyTable[*index].code;
}

std::optional<QString> shortcutNameForCode(int code)
{
    const auto rows = shortcutKeys();
    const auto it = std::ranges::find(rows, code, &ShortcutKey::code);
    if (it == rows.end())
        return std::nullopt;
    return QString::fromLatin1(it->name.data(), qsizetype(it->name.size()));
}

int buttonForShortcut(std::span<const int> shortcutsByIndex, int code)
{
    if (code == 0)
        return 0;
    for (std::size_t index = shortcutsByIndex.size(); index > 1; --index) {
        if (shortcutsByIndex[index - 1] == code)
            return int(index - 1);
    }
    return 0;
}

} // namespace zelvar
