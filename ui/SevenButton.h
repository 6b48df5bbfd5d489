// The gradient push button of both windows. It paints itself completely: a
// vertical gradient, a border of one to ten pixels with rounded corners, an
// optional picture and the caption, chosen by one of five visual states. Like
// a dialog button it hands its modal result to its form, answers Enter when it
// is the default (or focused) button, Escape when it is the cancel button, its
// caption's Alt accelerator and the space bar.
//
// Every state change and every repainting setter renders the whole button at
// once into an off-screen bitmap and puts it on screen in one operation; the
// widget never erases its background, so it does not flicker.
#pragma once

#include "Colors.h"

#include <QFont>
#include <QImage>
#include <QPointer>
#include <QWidget>

#include <cstdint>

class TSevenButton;

// Where a caption, or a picture (left or right only), sits in the button.
enum TAlignment { taLeftJustify, taRightJustify, taCenter };

// A border width: 1 .. 10 pixels; other values are taken as the nearest bound.
using TSevenButtonBorderWidth = std::uint8_t;

// The look of each state is grouped in four property objects, owned by the
// button. A property whose setter repaints the button has a setter; the others
// are plain fields that show at the next paint.

class TSevenButtonBorder
{
public:
    explicit TSevenButtonBorder(TSevenButton& Owner) : FOwner(Owner) {}

    TColor ColorNormal() const { return FColorNormal; }
    void SetColorNormal(TColor Value);
    TSevenButtonBorderWidth WidthNormal() const { return FWidthNormal; }
    void SetWidthNormal(TSevenButtonBorderWidth Value);

    TColor ColorHot = 11632444;
    TColor ColorDown = 9134636;
    TColor ColorDisabled = 11907757;
    TColor ColorFocused = 11632444;
    TSevenButtonBorderWidth WidthHot = 1;
    TSevenButtonBorderWidth WidthDown = 1;
    TSevenButtonBorderWidth WidthDisabled = 1;
    TSevenButtonBorderWidth WidthFocused = 1;

private:
    TSevenButton& FOwner;
    TColor FColorNormal = 7368816;
    TSevenButtonBorderWidth FWidthNormal = 1;
};

// Gradient colours: From at the top, To at the bottom.
class TSevenButtonColors
{
public:
    explicit TSevenButtonColors(TSevenButton& Owner) : FOwner(Owner) {}

    TColor ColorNormalFrom() const { return FColorNormalFrom; }
    void SetColorNormalFrom(TColor Value);
    TColor ColorNormalTo() const { return FColorNormalTo; }
    void SetColorNormalTo(TColor Value);

    TColor ColorHotFrom = 16579836;
    TColor ColorHotTo = 16112039;
    TColor ColorDownFrom = 16579836;
    TColor ColorDownTo = 14398312;
    TColor ColorDisabledFrom = 16053492;
    TColor ColorDisabledTo = 16053492;
    TColor ColorFocusedFrom = 16579836;
    TColor ColorFocusedTo = 13619151;

private:
    TSevenButton& FOwner;
    TColor FColorNormalFrom = 16579836;
    TColor FColorNormalTo = 13619151;
};

// The captions' fonts and colours. The normal state writes with the button's
// own font(); the gradients are light whatever the desktop's theme, so every
// caption is black but the disabled one, in the desktop's grey text colour.
class TSevenButtonFonts
{
public:
    explicit TSevenButtonFonts(TSevenButton& Owner);

    QFont FontHot;
    QFont FontDown;
    QFont FontDisabled;
    QFont FontFocused;
    TColor ColorNormal = clBlack;
    TColor ColorHot = clBlack;
    TColor ColorDown = clBlack;
    TColor ColorDisabled = clGrayText;
    TColor ColorFocused = clBlack;
};

// Pictures drawn beside the caption. A state whose own picture is empty shows
// the normal one. Transparent makes the colour of a picture's bottom-left
// pixel see-through; a picture's own alpha channel always counts.
class TSevenButtonPictures
{
public:
    explicit TSevenButtonPictures(TSevenButton& Owner) : FOwner(Owner) {}

    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment Value); // taLeftJustify or taRightJustify
    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool Value);
    const QImage& PictureNormal() const { return FPictureNormal; }
    void SetPictureNormal(const QImage& Value);

    QImage PictureHot;
    QImage PictureDown;
    QImage PictureDisabled;
    QImage PictureFocused;

private:
    TSevenButton& FOwner;
    TAlignment FAlignment = taLeftJustify;
    bool FTransparent = false;
    QImage FPictureNormal;
};

class TSevenButton : public QWidget
{
    Q_OBJECT

public:
    // The visual states, the values of State().
    enum : std::uint8_t { stNormal = 0, stHot = 1, stDown = 2, stFocused = 3, stDisabled = 4 };

    explicit TSevenButton(QWidget* Parent = nullptr);
    ~TSevenButton() override;

    QString Caption() const { return FCaption; }
    void SetCaption(const QString& Value); // '&' marks the Alt accelerator

    TSevenButtonBorder& Border() { return FBorder; }
    TSevenButtonColors& Colors() { return FColors; }
    TSevenButtonFonts& Fonts() { return FFonts; }
    TSevenButtonPictures& Pictures() { return FPictures; }

    // The same font for the normal state (the widget's font) and the four
    // state fonts, as the window layouts give every button.
    void SetAllFonts(const QFont& Font);

    // Given to the form (a TModalForm) on each click, also when it is 0.
    int ModalResult = 0;
    // Enter clicks this button while the focus is on a control of its window
    // that is not a gradient button.
    bool Default = false;
    // Escape clicks this button.
    bool Cancel = false;

    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment Value);
    int Spacing() const { return FSpacing; }
    void SetSpacing(int Value);
    int Marging() const { return FMarging; }
    void SetMarging(int Value);

    std::uint8_t State() const { return FState; }
    // Whether Enter clicks this button now.
    bool Active() const { return FActive; }
    // Visible and enabled, with all its parents.
    bool CanFocus() const;

    // Gives the form its modal result, fires Clicked(), then lets the form end
    // its modal loop. Errors raised by the handlers go on to the caller, and
    // the form then stays open.
    virtual void Click();

    // Renders the whole button into Bitmap() and puts it on screen at once.
    // A button that stands on no window draws nothing.
    void Paint();
    // The last rendering: the button's size, or null when nothing was drawn.
    const QImage& Bitmap() const { return FBitmap; }

    // 256 horizontal lines from ColorFrom (top) to ColorTo (bottom) on Rect,
    // whose right and bottom sides lie just outside it; rows that no line
    // reaches keep what Canvas held.
    static void DrawGradient(QImage& Canvas, const QRect& Rect, TColor ColorFrom, TColor ColorTo);

    QSize sizeHint() const override { return QSize(85, 24); }

signals:
    void Clicked();

protected:
    bool event(QEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;
    void paintEvent(QPaintEvent* Event) override;
    void changeEvent(QEvent* Event) override;
    void mousePressEvent(QMouseEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;
    void mouseDoubleClickEvent(QMouseEvent* Event) override;
    void mouseMoveEvent(QMouseEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;
    void keyReleaseEvent(QKeyEvent* Event) override;
    void enterEvent(QEnterEvent* Event) override;
    void leaveEvent(QEvent* Event) override;

private:
    // A click by the mouse or the keyboard: errors are shown to the user.
    void UserClick();

    // What one state draws with.
    struct TLook
    {
        TColor BorderColor;
        TColor From;
        TColor To;
        QFont Font;
        TColor TextColor;
        int BorderWidth;
        const QImage* Picture;
    };
    TLook LookOfState() const;
    void Render();
    void SetState(std::uint8_t Value);
    // The mouse enters (true) or leaves (false) the button.
    void SetUnderMouse(bool Value);
    void FocusChanged(QWidget* Now);
    void WatchWindow();
    void GrabAccelerator();

    // Declared in this order so that they go in the reverse one.
    TSevenButtonBorder FBorder{*this};
    std::uint8_t FState = stNormal;
    TSevenButtonColors FColors{*this};
    TSevenButtonFonts FFonts{*this};
    bool FActive = false;
    TAlignment FAlignment = taCenter;
    TSevenButtonPictures FPictures{*this};
    int FSpacing = 5;
    int FMarging = 5;

    QString FCaption;
    int FAcceleratorId = 0;
    // A left press on the button waits for its release to click.
    bool FPressed = false;
    bool FUnderMouse = false;
    // Paint() has just rendered: the paint event it asks for draws as is.
    bool FRendered = false;
    QImage FBitmap;
    // The window whose dialog keys (Enter, Escape) this button answers.
    QPointer<QWidget> FWatchedWindow;
};
