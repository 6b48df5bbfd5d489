// Colours as the window layouts give them: 0x00BBGGRR values (red in the low
// byte), or a system colour when the top byte is 0xFF, taken from the
// application's palette at the moment it is used.
#pragma once

#include <QColor>

#include <cstdint>

using TColor = std::uint32_t;

inline constexpr TColor clBlack = 0x00000000;
inline constexpr TColor clWhite = 0x00FFFFFF;
inline constexpr TColor clHighlight = 0xFF00000D;
inline constexpr TColor clHighlightText = 0xFF00000E;
inline constexpr TColor clBtnFace = 0xFF00000F;
inline constexpr TColor clGrayText = 0xFF000011;
inline constexpr TColor clInfoBk = 0xFF000018;
inline constexpr TColor clHotLight = 0xFF00001A;

// The RGB value of Color; a system colour reads the palette role that plays
// its part on this desktop. Grey text is the palette's disabled text when it
// reads on the light face of a disabled button (3:1 at least), else the
// standard grey.
QColor ColorToRGB(TColor Color);
// The 0x00BBGGRR value of an RGB colour.
TColor RGBToColor(const QColor& Color);
