// The windows' built-in pictures, decoded from the bytes compiled into the
// program; pictures read from bytes nobody vouches for (the cached posters);
// and the busy sign that plays the frames of its strip.
#pragma once

#include <QImage>
#include <QPixmap>
#include <QWidget>

#include <atomic>
#include <chrono>
#include <string_view>

class QTimer;

// The picture encoded in Bytes (one of the VantryResource_ functions of
// Resources.h); a null pixmap when the bytes do not decode.
QPixmap PictureFromResource(std::string_view Bytes);

// What a picture read from untrusted bytes may cost: its declared sides, and
// the time its decoder may take. A JPEG may also have no more scans than
// JpegScanLimit.
struct TPictureBounds
{
    int LargestSide;
    std::chrono::milliseconds Budget;
};

// A real poster has a dozen scans at most; each scan costs a pass over every
// block of the picture, and takes as little as ten bytes.
constexpr int JpegScanLimit = 100;

// The picture in Bytes, in Format ("png", "jpeg", "gif"), decoded straight to
// Size; a null image when it declares a side larger than Bounds allow, is a
// JPEG of more scans than JpegScanLimit, is damaged, or takes longer than the
// budget or until Stop is set. May run on any thread.
QImage ReadPicture(std::string_view Bytes, const char* Format, QSize Size, const TPictureBounds& Bounds,
                   const std::atomic<bool>& Stop);

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
