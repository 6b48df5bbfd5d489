#include "Colors.h"

#include <QGuiApplication>
#include <QPalette>

QColor ColorToRGB(TColor Color)
{
    if ((Color >> 24) == 0xFF) {
        const QPalette Palette = QGuiApplication::palette();
        switch (Color & 0xFF) {
        case clHighlight & 0xFF:
            return Palette.color(QPalette::Active, QPalette::Highlight);
        case clHighlightText & 0xFF:
            return Palette.color(QPalette::Active, QPalette::HighlightedText);
        case clBtnFace & 0xFF:
            return Palette.color(QPalette::Active, QPalette::Button);
        case clGrayText & 0xFF:
            return Palette.color(QPalette::Disabled, QPalette::Text);
        case clInfoBk & 0xFF:
            return Palette.color(QPalette::Active, QPalette::ToolTipBase);
        case clHotLight & 0xFF:
            return Palette.color(QPalette::Active, QPalette::Link);
        default:
            return Palette.color(QPalette::Active, QPalette::Window);
        }
    }
    return QColor(int(Color & 0xFF), int((Color >> 8) & 0xFF), int((Color >> 16) & 0xFF));
}

TColor RGBToColor(const QColor& Color)
{
    return TColor(Color.red()) | TColor(Color.green()) << 8 | TColor(Color.blue()) << 16;
}
