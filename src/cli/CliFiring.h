#pragma once

#include "panel/PanelButtons.h"

#include <QString>

namespace zelvar::cli {

// What a button writes on the serial line when a scheduler row fires it: its commands in
// order, comma-separated, as text.
QString sentText(const ButtonEntry &entry);

// Whether firing the button writes to the serial line (and so needs the port).
bool writesToSerialLine(const ButtonEntry &entry);

} // namespace zelvar::cli
