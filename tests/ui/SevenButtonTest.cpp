// The gradient button: its pixels in each state, its state table driven by
// real mouse and key events, and a result taken back by its click handler.
#include "SevenButton.h"
#include "DDKStrings.h"
#include "ModalForm.h"

#include <QApplication>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>

namespace {

const QRgb FormColor = qRgb(12, 34, 56);

// A window whose line edit takes the focus when it opens, and one button,
// kept away from where the mouse may have been left.
struct TWindow
{
    TWindow()
    {
        QPalette Palette = Form->palette();
        Palette.setColor(QPalette::Window, FormColor);
        Form->setPalette(Palette);
        Form->resize(300, 120);
        Edit->setGeometry(10, 10, 100, 22);
        Button->move(40, 60);
        QFont Font("Arial");
        Font.setPixelSize(11);
        Button->SetAllFonts(Font);
    }
    bool Open()
    {
        Form->move(400, 300);
        Form->show();
        Form->activateWindow();
        return QTest::qWaitForWindowActive(Form.get()) && Edit->hasFocus();
    }
    QPoint At() const { return Button->mapTo(Form.get(), QPoint(42, 12)); }
    QWindow* Handle() const { return Form->windowHandle(); }

    std::unique_ptr<QWidget> Form = std::make_unique<QWidget>();
    QLineEdit* Edit = new QLineEdit(Form.get());
    TSevenButton* Button = new TSevenButton(Form.get());
};

// The smallest rectangle holding every pixel (X, Y) for which Test holds.
QRect Box(const QImage& Image, const std::function<bool(int, int)>& Test)
{
    QRect Result;
    for (int Y = 0; Y < Image.height(); ++Y)
        for (int X = 0; X < Image.width(); ++X)
            if (Test(X, Y))
                Result |= QRect(X, Y, 1, 1);
    return Result;
}

// A box as a failure shows it: "left,top widthxheight", or "" for none.
std::string Where(const QRect& Box)
{
    return Box.isNull() ? "" : DDKFormat("%d,%d %dx%d", Box.x(), Box.y(), Box.width(), Box.height());
}

// An empty button of Size: frames of Width pixels in Border with rounded
// corners, and 256 gradient steps from From to To between them, each at row
// Top + Step * Height / 256, where the first step to reach a row paints it
// and the rows no step reaches show the form.
QImage Expected(QSize Size, int Width, TColor Border, TColor From, TColor To)
{
    QImage Image(Size, QImage::Format_RGB32);
    Image.fill(ColorToRGB(Border));
    const QRect Inner = Image.rect().adjusted(Width, Width, -Width, -Width);
    const QColor A = ColorToRGB(From), B = ColorToRGB(To);
    for (int Y = Inner.top(); Y <= Inner.bottom(); ++Y) {
        QRgb Row = FormColor;
        for (int Step = 255; Step >= 0; --Step)
            if (Inner.top() + Step * Inner.height() / 256 == Y)
                Row = qRgb(A.red() + Step * (B.red() - A.red()) / 255,
                           A.green() + Step * (B.green() - A.green()) / 255,
                           A.blue() + Step * (B.blue() - A.blue()) / 255);
        for (int X = Inner.left(); X <= Inner.right(); ++X)
            Image.setPixel(X, Y, Row);
    }
    for (QPoint Corner : {Inner.topLeft(), Inner.topRight(), Inner.bottomLeft(), Inner.bottomRight()})
        Image.setPixel(Corner, ColorToRGB(Border).rgb());
    const QRect Outer = Image.rect();
    for (QPoint Corner : {Outer.topLeft(), Outer.topRight(), Outer.bottomLeft(), Outer.bottomRight()})
        Image.setPixel(Corner, FormColor);
    return Image;
}

// A 40 x 300 button from red to blue in a green border of Width: higher than
// 256 rows, some rows keep the form's colour.
void Tall(TSevenButton& Button, int Width)
{
    Button.resize(40, 300);
    Button.Colors().SetColorNormalFrom(0x000000FF);
    Button.Colors().SetColorNormalTo(0x00FF0000);
    Button.Border().SetColorNormal(0x0000FF00);
    Button.Border().SetWidthNormal(TSevenButtonBorderWidth(Width));
}

QRect Differences(const QImage& Image, const QImage& Other)
{
    return Box(Image, [&](int X, int Y) { return Image.pixel(X, Y) != Other.pixel(X, Y); });
}

} // namespace

TEST(SevenButton, EachStatePaintsItsGradientBorderAndCorners)
{
    const struct
    {
        const char* Name;
        std::function<void(TWindow&)> Reach;
        std::uint8_t State;
        TColor From, To, Border;
        int Width = 1;
    } Cases[] = {
        {"normal", [](TWindow&) {}, TSevenButton::stNormal, 16579836, 13619151, 7368816},
        {"hot",
         [](TWindow& W) {
             QEnterEvent Enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
             QApplication::sendEvent(W.Button, &Enter);
         },
         TSevenButton::stHot, 16579836, 16112039, 11632444},
        {"down", [](TWindow& W) { QTest::mousePress(W.Handle(), Qt::LeftButton, {}, W.At()); },
         TSevenButton::stDown, 16579836, 14398312, 9134636},
        {"focused", [](TWindow& W) { W.Button->setFocus(); }, TSevenButton::stFocused, 16579836, 13619151,
         11632444},
        {"disabled", [](TWindow& W) { W.Button->setEnabled(false); }, TSevenButton::stDisabled, 16053492,
         16053492, 11907757},
        {"tall, border 3", [](TWindow& W) { Tall(*W.Button, 3); }, TSevenButton::stNormal, 0xFF, 0xFF0000,
         0xFF00, 3},
    };
    for (const auto& Case : Cases) {
        SCOPED_TRACE(Case.Name);
        TWindow Window;
        ASSERT_TRUE(Window.Open());
        Case.Reach(Window);
        ASSERT_EQ(Window.Button->State(), Case.State);
        const QImage& Image = Window.Button->Bitmap();
        ASSERT_EQ(Image.size(), Case.Width > 1 ? QSize(40, 300) : QSize(85, 24));
        EXPECT_EQ(
            Where(Differences(Image, Expected(Image.size(), Case.Width, Case.Border, Case.From, Case.To))),
            "");
        EXPECT_EQ(Where(Differences(Image, Window.Button->grab().toImage())), ""); // what the screen shows
        if (Case.State == TSevenButton::stDown)
            QTest::mouseRelease(Window.Handle(), Qt::LeftButton, {}, Window.At());
    }
}

// The windows' buttons all carry a centred caption without a picture.
TEST(SevenButton, CaptionIsCentredOnOneLine)
{
    TWindow Window;
    TSevenButton& Button = *Window.Button;
    Button.resize(200, 30);
    Button.Paint();
    const QImage Without = Button.Bitmap();
    Button.SetCaption("&Rechercher");
    const QRect Text = Differences(Button.Bitmap(), Without);
    EXPECT_GT(Text.width(), 40) << Where(Text);
    EXPECT_NEAR(Text.left() + Text.right() + 1, 200, 3) << Where(Text);
    EXPECT_NEAR(Text.top() + Text.bottom() + 1, 30, 4) << Where(Text);
}

// A disabled caption ("Stop" while no run goes on) must read on its face:
// 3:1 at least, measured from the pixels as the accessibility guidelines do.
TEST(SevenButton, DisabledCaptionReadsOnItsFace)
{
    const auto Luminance = [](QRgb Pixel) {
        const auto Linear = [](int Channel) {
            const double C = Channel / 255.0;
            return C <= 0.04045 ? C / 12.92 : std::pow((C + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * Linear(qRed(Pixel)) + 0.7152 * Linear(qGreen(Pixel)) + 0.0722 * Linear(qBlue(Pixel));
    };
    TWindow Window;
    TSevenButton& Button = *Window.Button;
    Button.resize(56, 24);
    Button.SetCaption("Stop");
    Button.setEnabled(false);
    const QImage Image = Button.Bitmap();
    const QRgb Face = Image.pixel(3, 3);
    ASSERT_EQ(Face, qRgb(244, 244, 244));
    QRgb Darkest = Face;
    for (int Y = 2; Y < Image.height() - 2; ++Y)
        for (int X = 2; X < Image.width() - 2; ++X)
            if (Luminance(Image.pixel(X, Y)) < Luminance(Darkest))
                Darkest = Image.pixel(X, Y);
    const double Contrast = (Luminance(Face) + 0.05) / (Luminance(Darkest) + 0.05);
    EXPECT_GE(Contrast, 3.0) << "caption " << qRed(Darkest) << "," << qGreen(Darkest) << ","
                             << qBlue(Darkest);
}

TEST(SevenButton, MouseStatesAndClicks)
{
    TWindow Window;
    ASSERT_TRUE(Window.Open());
    QSignalSpy Clicks(Window.Button, &TSevenButton::Clicked);
    // Each step, then the state it leaves (Normal, Hot, Down, Focused,
    // disabled X) and the clicks so far. A double click is two clicks; out
    // with the button held and back in is down again, and its release clicks.
    const QStringList Steps = QString("out N0, in H0, press D0, release H1, out F1, in H1, double H3, "
                                      "press D3, out F3, in D3, release H4, press D4, out F4, release F4, "
                                      "disable X4, in X4, out X4, enable N4")
                                  .split(", ");
    QPoint Pointer;
    for (const QString& Step : Steps) {
        const QString Action = Step.section(' ', 0, 0);
        if (Action == "in" || Action == "out")
            QTest::mouseMove(Window.Handle(), Pointer = Action == "in" ? Window.At() : QPoint(250, 100));
        else if (Action == "press")
            QTest::mousePress(Window.Handle(), Qt::LeftButton, {}, Pointer);
        else if (Action == "release")
            QTest::mouseRelease(Window.Handle(), Qt::LeftButton, {}, Pointer);
        else if (Action == "double")
            QTest::mouseDClick(Window.Handle(), Qt::LeftButton, {}, Pointer);
        else
            Window.Button->setEnabled(Action == "enable");
        const QString Seen = QString("NHDFX")[Window.Button->State()] + QString::number(Clicks.count());
        EXPECT_EQ(Seen.toStdString(), Step.section(' ', 1).toStdString()) << Step.toStdString();
    }
}

TEST(SevenButton, SpaceFocusAndDialogKeys)
{
    TWindow Window;
    ASSERT_TRUE(Window.Open());
    TSevenButton& Ok = *Window.Button;
    Ok.Default = true;
    auto* Cancel = new TSevenButton(Window.Form.get());
    Cancel->move(140, 60);
    Cancel->SetCaption("&Annuler");
    Cancel->Cancel = true;
    Cancel->show();
    QSignalSpy OkClicks(&Ok, &TSevenButton::Clicked), CancelClicks(Cancel, &TSevenButton::Clicked);
    const auto Key = [&](QWidget* To, Qt::Key Code, Qt::KeyboardModifiers Modifiers = {}) {
        QTest::keyClick(To, Code, Modifiers);
        return std::pair(int(OkClicks.count()), int(CancelClicks.count()));
    };

    // Space clicks at each press, auto-repeated ones too, never at the release.
    Ok.setFocus();
    for (QEvent::Type Type : {QEvent::KeyRelease, QEvent::KeyPress, QEvent::KeyRelease, QEvent::KeyPress}) {
        QKeyEvent Repeated(Type, Qt::Key_Space, Qt::NoModifier, " ", true);
        QApplication::sendEvent(&Ok, &Repeated);
    }
    EXPECT_EQ(Key(&Ok, Qt::Key_Space), std::pair(3, 0));
    // The focus on another button moves Enter to it.
    Cancel->setFocus();
    EXPECT_EQ(Ok.State(), TSevenButton::stNormal);
    EXPECT_EQ(Key(Cancel, Qt::Key_Return), std::pair(3, 1));

    // The focus on the line edit: the default button answers Enter, the
    // cancel button Escape, not with Shift, Ctrl or Alt held.
    Window.Edit->setFocus();
    EXPECT_EQ(Key(Window.Edit, Qt::Key_Return), std::pair(4, 1));
    EXPECT_EQ(Key(Window.Edit, Qt::Key_Enter, Qt::KeypadModifier), std::pair(5, 1));
    EXPECT_EQ(Key(Window.Edit, Qt::Key_Escape), std::pair(5, 2));
    for (Qt::KeyboardModifier Modifier : {Qt::ShiftModifier, Qt::ControlModifier, Qt::AltModifier}) {
        EXPECT_EQ(Key(Window.Edit, Qt::Key_Return, Modifier), std::pair(5, 2)) << Modifier;
        EXPECT_EQ(Key(Window.Edit, Qt::Key_Escape, Modifier), std::pair(5, 2)) << Modifier;
    }
    EXPECT_EQ(Key(Window.Edit, Qt::Key_A, Qt::AltModifier), std::pair(5, 3)); // the accelerator
    EXPECT_EQ(Window.Edit->text(), QString());

    // A button that cannot take the focus answers nothing.
    Cancel->setEnabled(false);
    Ok.hide();
    Key(Window.Edit, Qt::Key_A, Qt::AltModifier);
    Key(Window.Edit, Qt::Key_Escape);
    EXPECT_EQ(Key(Window.Edit, Qt::Key_Return), std::pair(5, 3));
}

// The only modal case the anomaly window cannot show: a click handler that
// takes the button's result back keeps the form open.
TEST(SevenButton, AHandlerThatTakesTheResultBackKeepsTheFormOpen)
{
    TModalForm Form;
    auto* Ok = new TSevenButton(&Form);
    auto* Cancel = new TSevenButton(&Form);
    Ok->ModalResult = mrOk;
    Cancel->move(90, 0);
    Cancel->ModalResult = mrCancel;
    Cancel->Cancel = true;
    QObject::connect(Ok, &TSevenButton::Clicked, &Form, [&Form] { Form.ModalResult = mrNone; });
    bool StayedOpen = false;
    QTimer::singleShot(0, &Form, [&] {
        ASSERT_TRUE(QTest::qWaitForWindowActive(&Form));
        QTest::mouseClick(Ok, Qt::LeftButton);
        StayedOpen = Form.isVisible();
        QTest::keyClick(Ok, Qt::Key_Escape);
    });
    // Should the form stay open by mistake, the test ends all the same.
    QTimer::singleShot(10000, &Form, [&Form] { Form.done(-1); });
    EXPECT_EQ(Form.ShowModal(), mrCancel);
    EXPECT_TRUE(StayedOpen);
}
