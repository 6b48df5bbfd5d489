#include "Colors.h"

#include <QGuiApplication>
#include <QPalette>

#include <algorithm>
#include <cmath>

namespace {

// The grey of disabled text on the desktop the windows were drawn for; it
// reads at 4.7:1 on the light face of a disabled button.
const QColor StandardGrayText(109, 109, 109);
// The face the windows draw disabled captions on.
const QColor DisabledFace(244, 244, 244);

// How far apart two colours read, from 1 to 21: the ratio of their relative
// luminances (as the accessibility guidelines define them for sRGB), each plus
// 0.05, the lighter over the darker.
double ContrastRatio(const QColor& A, const QColor& B)
{
    const auto Luminance = [](const QColor& Color) {
        const auto Linear = [](int Channel) {
            const double C = Channel / 255.0;
            return C <= 0.04045 ? C / 12.92 : std::pow((C + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * Linear(Color.red()) + 0.7152 * Linear(Color.green()) + 0.0722 * Linear(Color.blue());
    };
    const double La = Luminance(A), Lb = Luminance(B);
    return (std::max(La, Lb) + 0.05) / (std::min(La, Lb) + 0.05);
}

} // namespace

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
        case clGrayText & 0xFF: {
            // Many palettes keep disabled text too pale to read on a light
            // face (190 on 244 is 1.7:1); those give way to the standard grey.
            const QColor Gray = Palette.color(QPalette::Disabled, QPalette::Text);
            return ContrastRatio(Gray, DisabledFace) >= 3 ? Gray : StandardGrayText;
        }
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
