#pragma once

#include <QIcon>

namespace zelvar {

// The main window's tool bar pictures, drawn at 16 by 16.
namespace ToolIcons {
QIcon buttonLayout(); // the layout editor: a grid of buttons
QIcon scheduler();    // the time-of-day scheduler: a clock
QIcon sequencer();    // the sequencer: marks on a time line
QIcon repair();       // the port form: a spanner
QIcon minimise();
QIcon close();
} // namespace ToolIcons

} // namespace zelvar
