// The windows' built-in pictures, decoded from the bytes compiled into the
// program, and the busy sign that plays the frames of its strip.
#pragma once

#include <QPixmap>
#include <QWidget>

#include <string_view>

class QTimer;

// The picture encoded in Bytes (one of the VantryResource_ functions of
// Resources.h); a null pixmap when the bytes do not decode.
QPixmap PictureFromResource(std::string_view Bytes);

// The 24 x 24 sign that turns while work runs. It is created hidden, as both
// windows want it at first; the owner places it and calls setVisible. Its
// timer runs only while the sign is on screen, so a hidden sign, or one in a
// hidden window, costs nothing.
class TBusySign : public QWidget
{
    Q_OBJECT

public:
    explicit TBusySign(QWidget* Parent);

    // The frame of the strip on screen now, counted from 0 at its left.
    int Frame() const { return FFrame; }

    QSize sizeHint() const override;

protected:
    void showEvent(QShowEvent* Event) override;
    void hideEvent(QHideEvent* Event) override;
    void paintEvent(QPaintEvent* Event) override;

private:
    int FrameCount() const;

    QPixmap FStrip;
    QTimer* FTimer;
    int FFrame = 0;
};
