#pragma once

#include "panel/PanelButtons.h"
#include "panel/PanelConfig.h"

#include <QJsonObject>

namespace zelvar {

// A panel's buttons and texts as the JSON outputs name them (zelvar-cli show --json, the web
// remote's /api/panel); each adds what it needs beyond these.
// Button k: index, id, mode (its number), caption, description, left, top.
QJsonObject buttonJson(int index, const ButtonEntry &entry, const ButtonConfig &button);
// Text k: index, text, left, top.
QJsonObject textJson(int index, const TextConfig &text);

} // namespace zelvar
