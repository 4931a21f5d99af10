#pragma once

#include <QColor>

namespace zelvar {

// Colour values as the forms store them: a plain 0xBBGGRR value, or a system colour constant
// (0xFF000000 plus the system colour's index) that stands for the desktop's current colour.
namespace SystemColor {
constexpr int Base = int(0xFF000000u);
constexpr int MenuBar = Base | 4;
constexpr int Window = Base | 5;
constexpr int WindowText = Base | 8;
constexpr int Highlight = Base | 13;
constexpr int HighlightText = Base | 14;
constexpr int BtnFace = Base | 15;
constexpr int BtnShadow = Base | 16;
constexpr int GrayText = Base | 17;
constexpr int BtnText = Base | 18;
constexpr int BtnHighlight = Base | 20;
constexpr int DkShadow3D = Base | 21;
constexpr int Light3D = Base | 22;
constexpr int InfoText = Base | 23;
constexpr int InfoBk = Base | 24;
constexpr int MenuHighlight = Base | 29;
} // namespace SystemColor

// Plain colours the forms name.
constexpr int ColorCream = 0xF0FBFF;

bool isSystemColor(int value);

// The plain colour a stored value stands for now: system colours come from the
// application's palette.
QColor resolveColor(int value);

} // namespace zelvar
