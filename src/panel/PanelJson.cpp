#include "panel/PanelJson.h"

namespace zelvar {

QJsonObject buttonJson(int index, const ButtonEntry &entry, const ButtonConfig &button)
{
    return {{"index", index},
            {"id", button.id},
            {"mode", entry.mode},
            {"caption", button.caption},
            {"description", entry.description},
            {"left", button.left},
            {"top", button.top}};
}

QJsonObject textJson(int index, const TextConfig &text)
{
    return {{"index", index}, {"text", text.text}, {"left", text.left}, {"top", text.top}};
}

} // namespace zelvar
