#include "SevenButton.h"

#include "VantryApplication.h"

#include "ModalForm.h"

#include <QApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcutEvent>

#include <algorithm>

namespace {

int ClampBorderWidth(TSevenButtonBorderWidth Width)
{
    return std::clamp(int(Width), 1, 10);
}

// Pixel writes that leave out what falls off the canvas.
void SetPixel(QImage& Canvas, int X, int Y, QRgb Color)
{
    if (X >= 0 && Y >= 0 && X < Canvas.width() && Y < Canvas.height())
        reinterpret_cast<QRgb*>(Canvas.scanLine(Y))[X] = Color;
}

// Row Y from X1 to X2, both included.
void FillRow(QImage& Canvas, int Y, int X1, int X2, QRgb Color)
{
    if (Y < 0 || Y >= Canvas.height())
        return;
    X1 = std::max(X1, 0);
    X2 = std::min(X2, Canvas.width() - 1);
    QRgb* Line = reinterpret_cast<QRgb*>(Canvas.scanLine(Y));
    for (int X = X1; X <= X2; ++X)
        Line[X] = Color;
}

// Column X from Y1 to Y2, both included.
void FillColumn(QImage& Canvas, int X, int Y1, int Y2, QRgb Color)
{
    for (int Y = Y1; Y <= Y2; ++Y)
        SetPixel(Canvas, X, Y, Color);
}

// The picture as drawn: with Transparent, the colour of its bottom-left
// pixel becomes see-through.
QImage PreparePicture(const QImage& Picture, bool Transparent)
{
    if (!Transparent)
        return Picture;
    QImage Result = Picture.convertToFormat(QImage::Format_ARGB32);
    const QRgb Key = Result.pixel(0, Result.height() - 1);
    for (int Y = 0; Y < Result.height(); ++Y) {
        QRgb* Line = reinterpret_cast<QRgb*>(Result.scanLine(Y));
        for (int X = 0; X < Result.width(); ++X)
            if (Line[X] == Key)
                Line[X] = qRgba(0, 0, 0, 0);
    }
    return Result;
}

} // namespace

// ---------------------------------------------------------------------------
// Property objects

void TSevenButtonBorder::SetColorNormal(TColor Value)
{
    FColorNormal = Value;
    FOwner.Paint();
}

void TSevenButtonBorder::SetWidthNormal(TSevenButtonBorderWidth Value)
{
    FWidthNormal = TSevenButtonBorderWidth(ClampBorderWidth(Value));
    FOwner.Paint();
}

void TSevenButtonColors::SetColorNormalFrom(TColor Value)
{
    FColorNormalFrom = Value;
    FOwner.Paint();
}

void TSevenButtonColors::SetColorNormalTo(TColor Value)
{
    FColorNormalTo = Value;
    FOwner.Paint();
}

TSevenButtonFonts::TSevenButtonFonts(TSevenButton& Owner)
    : FontHot(Owner.font()), FontDown(Owner.font()), FontDisabled(Owner.font()), FontFocused(Owner.font())
{
}

void TSevenButtonPictures::SetAlignment(TAlignment Value)
{
    FAlignment = Value;
    FOwner.Paint();
}

void TSevenButtonPictures::SetTransparent(bool Value)
{
    FTransparent = Value;
    FOwner.Paint();
}

void TSevenButtonPictures::SetPictureNormal(const QImage& Value)
{
    FPictureNormal = Value;
    FOwner.Paint();
}

// ---------------------------------------------------------------------------
// The button

TSevenButton::TSevenButton(QWidget* Parent) : QWidget(Parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::StrongFocus);
    resize(85, 24);
    if (!isEnabled())
        FState = stDisabled;
    // Every control hears which control of its window takes the focus.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* Now) { FocusChanged(Now); });
    WatchWindow();
}

TSevenButton::~TSevenButton()
{
    if (FWatchedWindow)
        FWatchedWindow->removeEventFilter(this);
}

void TSevenButton::SetCaption(const QString& Value)
{
    FCaption = Value;
    GrabAccelerator();
    Paint();
}

void TSevenButton::SetAllFonts(const QFont& Font)
{
    FFonts.FontHot = Font;
    FFonts.FontDown = Font;
    FFonts.FontDisabled = Font;
    FFonts.FontFocused = Font;
    setFont(Font);
}

void TSevenButton::SetAlignment(TAlignment Value)
{
    FAlignment = Value;
    Paint();
}

void TSevenButton::SetSpacing(int Value)
{
    FSpacing = Value;
    Paint();
}

void TSevenButton::SetMarging(int Value)
{
    FMarging = Value;
    Paint();
}

bool TSevenButton::CanFocus() const
{
    return isVisible() && isEnabled();
}

void TSevenButton::Click()
{
    // Guarded, should a handler tear the form down.
    QPointer<TModalForm> Form = qobject_cast<TModalForm*>(window());
    if (Form)
        Form->ModalResult = ModalResult;
    try {
        emit Clicked();
    } catch (...) {
        // A handler that failed chose nothing: the form stays open.
        if (Form)
            Form->ModalResult = mrNone;
        throw;
    }
    if (Form)
        Form->CheckModalResult();
}

void TSevenButton::UserClick()
{
    // Qt's event code is built without exception support: an error of a
    // click handler is shown here and goes no further.
    RunHandler([this] { Click(); });
}

void TSevenButton::SetState(std::uint8_t Value)
{
    FState = Value;
    Paint();
}

// ---------------------------------------------------------------------------
// Painting

void TSevenButton::DrawGradient(QImage& Canvas, const QRect& Rect, TColor ColorFrom, TColor ColorTo)
{
    if (Canvas.depth() != 32)
        Canvas.convertTo(QImage::Format_RGB32);
    const QColor From = ColorToRGB(ColorFrom);
    const QColor To = ColorToRGB(ColorTo);
    const int R0 = From.red(), G0 = From.green(), B0 = From.blue();
    const int DR = To.red() - R0, DG = To.green() - G0, DB = To.blue() - B0;
    const int Height = Rect.height();
    const int Right = Rect.left() + Rect.width(); // just outside
    int Last = -1;
    for (int I = 0; I <= 255; ++I) {
        // Integer divisions truncate toward zero, as the colours' steps must.
        const int Y = Rect.top() + I * Height / 256;
        if (Y == Last)
            continue;
        Last = Y;
        const QRgb Color = qRgb(R0 + I * DR / 255, G0 + I * DG / 255, B0 + I * DB / 255);
        FillRow(Canvas, Y, Rect.left(), Right - 1, Color);
    }
}

TSevenButton::TLook TSevenButton::LookOfState() const
{
    const auto Look = [](TColor Border, TColor From, TColor To, const QFont& Font, TColor Text,
                         TSevenButtonBorderWidth Width, const QImage& Picture) {
        return TLook{Border, From, To, Font, Text, ClampBorderWidth(Width), &Picture};
    };
    switch (FState) {
    case stHot:
        return Look(FBorder.ColorHot, FColors.ColorHotFrom, FColors.ColorHotTo, FFonts.FontHot,
                    FFonts.ColorHot, FBorder.WidthHot, FPictures.PictureHot);
    case stDown:
        return Look(FBorder.ColorDown, FColors.ColorDownFrom, FColors.ColorDownTo, FFonts.FontDown,
                    FFonts.ColorDown, FBorder.WidthDown, FPictures.PictureDown);
    case stFocused:
        return Look(FBorder.ColorFocused, FColors.ColorFocusedFrom, FColors.ColorFocusedTo,
                    FFonts.FontFocused, FFonts.ColorFocused, FBorder.WidthFocused, FPictures.PictureFocused);
    case stDisabled:
        return Look(FBorder.ColorDisabled, FColors.ColorDisabledFrom, FColors.ColorDisabledTo,
                    FFonts.FontDisabled, FFonts.ColorDisabled, FBorder.WidthDisabled,
                    FPictures.PictureDisabled);
    default:
        return Look(FBorder.ColorNormal(), FColors.ColorNormalFrom(), FColors.ColorNormalTo(), font(),
                    FFonts.ColorNormal, FBorder.WidthNormal(), FPictures.PictureNormal());
    }
}

void TSevenButton::Render()
{
    const QWidget* Form = parentWidget();
    const int Width = width();
    const int Height = height();
    if (!Form || Width <= 0 || Height <= 0) {
        FBitmap = QImage();
        return;
    }
    // The colour of what the button stands on: the outer corners, and the
    // rows a gradient higher than 256 pixels does not reach.
    const QColor Background = Form->palette().color(Form->backgroundRole());
    FBitmap = QImage(Width, Height, QImage::Format_RGB32);
    FBitmap.fill(Background);

    TLook Look = LookOfState();
    if (Look.Picture->isNull())
        Look.Picture = &FPictures.PictureNormal();
    const int BorderWidth = Look.BorderWidth;
    const QRect GradientRect(0, BorderWidth, Width, Height - 2 * BorderWidth);

    DrawGradient(FBitmap, GradientRect, Look.From, Look.To);

    // The picture and the caption are placed from the normal border's width,
    // whatever the state.
    const int Edge = FBorder.WidthNormal() + FMarging;
    const bool HasPicture = !Look.Picture->isNull();
    int PictureX = 0;
    if (HasPicture) {
        PictureX = FPictures.Alignment() == taRightJustify ? Width - Edge - Look.Picture->width() : Edge;
        const int PictureY = (Height - Look.Picture->height()) / 2;
        QPainter Painter(&FBitmap);
        Painter.drawImage(PictureX, PictureY, PreparePicture(*Look.Picture, FPictures.Transparent()));
    }

    // The border: bw nested one-pixel frames, then the corners rounded off.
    const QRgb BorderColor = ColorToRGB(Look.BorderColor).rgb();
    for (int K = 1; K <= BorderWidth; ++K) {
        FillRow(FBitmap, K - 1, K - 1, Width - K, BorderColor);
        FillRow(FBitmap, Height - K, K - 1, Width - K, BorderColor);
        FillColumn(FBitmap, K - 1, K - 1, Height - K, BorderColor);
        FillColumn(FBitmap, Width - K, K - 1, Height - K, BorderColor);
    }
    const QRgb BackgroundColor = Background.rgb();
    SetPixel(FBitmap, 0, 0, BackgroundColor);
    SetPixel(FBitmap, Width - 1, 0, BackgroundColor);
    SetPixel(FBitmap, 0, Height - 1, BackgroundColor);
    SetPixel(FBitmap, Width - 1, Height - 1, BackgroundColor);
    SetPixel(FBitmap, BorderWidth, BorderWidth, BorderColor);
    SetPixel(FBitmap, Width - 1 - BorderWidth, BorderWidth, BorderColor);
    SetPixel(FBitmap, BorderWidth, Height - 1 - BorderWidth, BorderColor);
    SetPixel(FBitmap, Width - 1 - BorderWidth, Height - 1 - BorderWidth, BorderColor);

    // The caption, on one line in the gradient's rectangle.
    QRect TextRect = GradientRect;
    int Flags = Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextShowMnemonic;
    switch (FAlignment) {
    case taLeftJustify:
        TextRect.setLeft(Edge);
        Flags |= Qt::AlignLeft;
        break;
    case taRightJustify:
        TextRect.setRight(Width - Edge - 1);
        Flags |= Qt::AlignRight;
        break;
    default:
        Flags |= Qt::AlignHCenter;
        break;
    }
    if (HasPicture && FAlignment != taCenter) {
        if (FPictures.Alignment() == taRightJustify)
            TextRect.setRight(PictureX - FSpacing - 1);
        else
            TextRect.setLeft(PictureX + Look.Picture->width() + FSpacing);
    }
    QPainter Painter(&FBitmap);
    Painter.setRenderHint(QPainter::Antialiasing, false);
    Painter.setFont(Look.Font);
    Painter.setPen(ColorToRGB(Look.TextColor));
    Painter.setBackgroundMode(Qt::TransparentMode);
    Painter.drawText(TextRect, Flags, FCaption);
}

void TSevenButton::Paint()
{
    Render();
    if (FBitmap.isNull() || !isVisible() || !updatesEnabled())
        return;
    // At once, not at the next turn of the event loop.
    FRendered = true;
    repaint();
    FRendered = false;
}

void TSevenButton::paintEvent(QPaintEvent*)
{
    if (!FRendered)
        Render();
    if (FBitmap.isNull())
        return;
    QPainter Painter(this);
    Painter.drawImage(0, 0, FBitmap);
}

// ---------------------------------------------------------------------------
// The states

bool TSevenButton::event(QEvent* Event)
{
    switch (Event->type()) {
    case QEvent::Shortcut: {
        auto* Shortcut = static_cast<QShortcutEvent*>(Event);
        if (FAcceleratorId != 0 && Shortcut->shortcutId() == FAcceleratorId) {
            if (CanFocus())
                UserClick();
            return true;
        }
        break;
    }
    case QEvent::ParentChange:
    case QEvent::Show:
        // The window may be another one now, or a new parent may have been
        // put under a window since.
        WatchWindow();
        break;
    default:
        break;
    }
    return QWidget::event(Event);
}

bool TSevenButton::eventFilter(QObject* Watched, QEvent* Event)
{
    // Dialog keys reach the window when the focused control leaves them (a
    // line edit does, as this button does). They stay unhandled, so that the
    // window and the other buttons hear them too.
    if (Watched == FWatchedWindow && Event->type() == QEvent::KeyPress) {
        const auto* Key = static_cast<QKeyEvent*>(Event);
        const bool Plain = !(Key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier));
        const bool Enter = Key->key() == Qt::Key_Return || Key->key() == Qt::Key_Enter;
        if (Plain && CanFocus() && ((Enter && FActive) || (Key->key() == Qt::Key_Escape && Cancel)))
            UserClick();
    }
    return QWidget::eventFilter(Watched, Event);
}

void TSevenButton::changeEvent(QEvent* Event)
{
    switch (Event->type()) {
    case QEvent::EnabledChange:
        SetState(isEnabled() ? stNormal : stDisabled);
        break;
    case QEvent::PaletteChange:
        Paint();
        break;
    case QEvent::FontChange:
        update();
        break;
    default:
        break;
    }
    QWidget::changeEvent(Event);
}

void TSevenButton::mousePressEvent(QMouseEvent* Event)
{
    if (Event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(Event);
        return;
    }
    SetState(stDown);
    FPressed = true;
}

void TSevenButton::mouseReleaseEvent(QMouseEvent* Event)
{
    if (Event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(Event);
        return;
    }
    if (FState == stDown)
        SetState(stHot);
    const bool Clicks = FPressed && rect().contains(Event->position().toPoint());
    FPressed = false;
    if (Clicks)
        UserClick();
}

void TSevenButton::mouseDoubleClickEvent(QMouseEvent* Event)
{
    if (Event->button() != Qt::LeftButton) {
        QWidget::mouseDoubleClickEvent(Event);
        return;
    }
    // The second press clicks at once; its release must not click again.
    SetState(stDown);
    FPressed = false;
    UserClick();
}

void TSevenButton::keyPressEvent(QKeyEvent* Event)
{
    // Every space, auto-repeated ones included, clicks; the other keys go on
    // to the window, where Enter and Escape find their button.
    if (Event->key() == Qt::Key_Space && !(Event->modifiers() & Qt::AltModifier)) {
        UserClick();
        return;
    }
    QWidget::keyPressEvent(Event);
}

void TSevenButton::keyReleaseEvent(QKeyEvent* Event)
{
    if (Event->key() == Qt::Key_Space && !(Event->modifiers() & Qt::AltModifier))
        return;
    QWidget::keyReleaseEvent(Event);
}

void TSevenButton::mouseMoveEvent(QMouseEvent* Event)
{
    // While a button is held the button has the mouse to itself and hears
    // no crossing; the moves tell when the pointer goes out and back in.
    if (Event->buttons() != Qt::NoButton)
        SetUnderMouse(rect().contains(Event->position().toPoint()));
    QWidget::mouseMoveEvent(Event);
}

void TSevenButton::enterEvent(QEnterEvent* Event)
{
    SetUnderMouse(true);
    QWidget::enterEvent(Event);
}

void TSevenButton::leaveEvent(QEvent* Event)
{
    SetUnderMouse(false);
    QWidget::leaveEvent(Event);
}

void TSevenButton::SetUnderMouse(bool Value)
{
    if (Value == FUnderMouse)
        return;
    FUnderMouse = Value;
    if (Value) {
        // A disabled button keeps its look under the mouse.
        if (isEnabled())
            SetState(QGuiApplication::mouseButtons() & Qt::LeftButton ? stDown : stHot);
    } else if (CanFocus()) {
        SetState(hasFocus() ? stFocused : stNormal);
    }
}

void TSevenButton::FocusChanged(QWidget* Now)
{
    // Only a change inside the button's own window counts: the window keeps
    // its focused control while another window is active.
    if (!Now || Now->window() != window() || window() == this)
        return;
    const bool Focused = Now == this;
    if (Focused && FState == stNormal)
        FState = stFocused;
    else if (!Focused && FState == stFocused)
        FState = stNormal;
    FActive = qobject_cast<TSevenButton*>(Now) ? Focused : Default;
    Paint();
}

void TSevenButton::WatchWindow()
{
    QWidget* Window = window();
    if (Window == this)
        Window = nullptr;
    if (Window == FWatchedWindow)
        return;
    if (FWatchedWindow)
        FWatchedWindow->removeEventFilter(this);
    FWatchedWindow = Window;
    if (Window)
        Window->installEventFilter(this);
}

void TSevenButton::GrabAccelerator()
{
    if (FAcceleratorId != 0)
        releaseShortcut(FAcceleratorId);
    FAcceleratorId = 0;
    const QKeySequence Accelerator = QKeySequence::mnemonic(FCaption);
    if (!Accelerator.isEmpty())
        FAcceleratorId = grabShortcut(Accelerator);
}
