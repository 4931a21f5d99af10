#pragma once

#include <QPoint>

class QWidget;

namespace zelvar {

// Where a shown top-level window's frame stands on the screen, asked of the display server.
// Qt's own idea (pos()) can lag behind when the window manager moved the window (a move
// loop started with startSystemMove), and a window shown again must go back to the real
// place. Elsewhere than on X11, pos().
QPoint screenPlace(const QWidget &window);

} // namespace zelvar
