#include "widgets/SystemColors.h"

#include "common/Colors.h"

#include <QGuiApplication>
#include <QPalette>

namespace zelvar {

bool isSystemColor(int value)
{
    return (static_cast<unsigned>(value) & 0xFF000000u) == 0xFF000000u;
}

QColor resolveColor(int value)
{
    if (!isSystemColor(value))
        return colorFromBgr(value & 0xFFFFFF);
    const QPalette palette = QGuiApplication::palette();
    switch (value) {
    case SystemColor::Window: return palette.color(QPalette::Base);
    case SystemColor::WindowText: return palette.color(QPalette::Text);
    case SystemColor::MenuBar: return palette.color(QPalette::Window);
    case SystemColor::Highlight:
    case SystemColor::MenuHighlight: return palette.color(QPalette::Highlight);
    case SystemColor::HighlightText: return palette.color(QPalette::HighlightedText);
    case SystemColor::BtnFace: return palette.color(QPalette::Button);
    case SystemColor::BtnShadow: return palette.color(QPalette::Mid);
    case SystemColor::GrayText: return palette.color(QPalette::Disabled, QPalette::Text);
    case SystemColor::BtnText: return palette.color(QPalette::ButtonText);
    case SystemColor::BtnHighlight: return palette.color(QPalette::Light);
    case SystemColor::DkShadow3D: return palette.color(QPalette::Shadow);
    case SystemColor::Light3D: return palette.color(QPalette::Midlight);
    case SystemColor::InfoText: return palette.color(QPalette::ToolTipText);
    case SystemColor::InfoBk: return palette.color(QPalette::ToolTipBase);
    default: return palette.color(QPalette::Window);
    }
}

} // namespace zelvar
