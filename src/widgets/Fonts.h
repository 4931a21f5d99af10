#pragma once

#include <QFont>
#include <QString>

namespace zelvar {

// The family the program's windows use: Tahoma when the machine has it (fonts-wine ships one
// outside fontconfig's path, loaded here once), else DejaVu Sans.
QString uiFontFamily();

// The window font at a Windows character height in pixels; 8 points at 96 dpi is 11 pixels.
QFont uiFont(int pixelHeight = 11);

} // namespace zelvar
