// What both windows share of their look: fonts given by the pixel height of
// their characters, as the layouts were drawn ("height -11" is 11 pixels, 8
// points on a 96-dpi screen, whatever the screen's resolution), and the
// button-face background.
#pragma once

#include "Colors.h"

#include <QFont>
#include <QPalette>
#include <QWidget>

inline QFont PixelFont(const char* Family, int PixelSize)
{
    QFont Font(Family);
    Font.setPixelSize(PixelSize);
    return Font;
}

// Arial, 11 pixels: the font of both windows and all their buttons.
inline QFont WindowFont()
{
    return PixelFont("Arial", 11);
}

// The window's caption, design size (also its least size), font and background.
inline void SetFormLook(QWidget& Form, const QString& Caption, QSize Size)
{
    Form.setWindowTitle(Caption);
    Form.setFont(WindowFont());
    Form.resize(Size);
    Form.setMinimumSize(Size);
    QPalette Palette = Form.palette();
    Palette.setColor(QPalette::Window, ColorToRGB(clBtnFace));
    Form.setPalette(Palette);
    Form.setAutoFillBackground(true);
}
