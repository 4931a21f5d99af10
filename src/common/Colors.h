#pragma once

#include <QColor>

namespace zelvar {

// Colours are stored and specified as 24-bit 0xBBGGRR values (pure red is 255).
QColor colorFromBgr(int bgr);
int bgrFromColor(const QColor &color);

} // namespace zelvar
