// The gradient button: its pixels in each state, its state table driven by
// real mouse and key events, and the modal results it hands to a form.
#include "SevenButton.h"
#include "ModalForm.h"

#include <QApplication>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>

namespace {

const QColor FormColor(12, 34, 56);

QRgb Rgb(TColor Color)
{
    return ColorToRGB(Color).rgb();
}

QFont ArialEleven()
{
    QFont Font("Arial");
    Font.setPixelSize(11);
    return Font;
}

// A window with a line edit that takes the focus when it opens, and one
// button. Kept away from where the mouse may have been left.
struct TWindow
{
    explicit TWindow(QWidget* Form = nullptr)
        : Form(Form ? Form : new QWidget), Edit(new QLineEdit(this->Form.get())),
          Button(new TSevenButton(this->Form.get()))
    {
        QPalette Palette = this->Form->palette();
        Palette.setColor(QPalette::Window, FormColor);
        this->Form->setPalette(Palette);
        this->Form->resize(300, 120);
        Edit->setGeometry(10, 10, 100, 22);
        Button->move(40, 60);
        Button->SetAllFonts(ArialEleven());
    }

    bool Open()
    {
        Form->move(400, 300);
        Form->show();
        Form->activateWindow();
        return QTest::qWaitForWindowActive(Form.get()) && Edit->hasFocus();
    }

    // Where a point of the button lies in its window.
    QPoint At(QPoint Point = QPoint(42, 12)) const { return Button->mapTo(Form.get(), Point); }
    QWindow* Handle() const { return Form->windowHandle(); }

    std::unique_ptr<QWidget> Form;
    QLineEdit* Edit;
    TSevenButton* Button;
};

// The row that the Part's gradient gives to Y, or nothing for a row that no
// step reaches.
std::optional<QRgb> GradientRow(int Y, int Top, int Height, QColor From, QColor To)
{
    for (int I = 0; I <= 255; ++I)
        if (Top + I * Height / 256 == Y)
            return qRgb(From.red() + I * (To.red() - From.red()) / 255,
                        From.green() + I * (To.green() - From.green()) / 255,
                        From.blue() + I * (To.blue() - From.blue()) / 255);
    return std::nullopt;
}

// The smallest rectangle holding every pixel where two renderings differ.
QRect Difference(const QImage& With, const QImage& Without)
{
    QRect Box;
    for (int Y = 0; Y < With.height(); ++Y)
        for (int X = 0; X < With.width(); ++X)
            if (With.pixel(X, Y) != Without.pixel(X, Y))
                Box |= QRect(X, Y, 1, 1);
    return Box;
}

QRect PixelsOf(const QImage& Image, QRgb Color)
{
    QRect Box;
    for (int Y = 0; Y < Image.height(); ++Y)
        for (int X = 0; X < Image.width(); ++X)
            if (Image.pixel(X, Y) == Color)
                Box |= QRect(X, Y, 1, 1);
    return Box;
}

QImage Solid(int Width, int Height, QColor Color)
{
    QImage Image(Width, Height, QImage::Format_RGB32);
    Image.fill(Color);
    return Image;
}

} // namespace

TEST(SevenButton, DefaultsAndNoDrawingOffAForm)
{
    TSevenButton Button;
    EXPECT_EQ(Button.size(), QSize(85, 24));
    EXPECT_EQ(Button.focusPolicy(), Qt::StrongFocus);
    EXPECT_EQ(Button.State(), TSevenButton::stNormal);
    EXPECT_EQ(Button.Alignment(), taCenter);
    EXPECT_EQ(Button.Spacing(), 5);
    EXPECT_EQ(Button.Marging(), 5);
    EXPECT_EQ(Button.ModalResult, 0);
    EXPECT_FALSE(Button.Default || Button.Cancel || Button.Active());
    EXPECT_EQ(Button.Border().ColorNormal(), 7368816u);
    EXPECT_EQ(Button.Border().WidthNormal(), 1);
    EXPECT_EQ(Button.Colors().ColorHotTo, 16112039u);
    EXPECT_EQ(Button.Colors().ColorDisabledFrom, 16053492u);
    EXPECT_EQ(Button.Fonts().ColorDisabled, clGrayText);
    EXPECT_EQ(Button.Pictures().Alignment(), taLeftJustify);
    EXPECT_FALSE(Button.Pictures().Transparent());

    // Not on a form: nothing is drawn, whatever changes.
    Button.Paint();
    Button.SetCaption("&OK");
    Button.Colors().SetColorNormalFrom(clWhite);
    EXPECT_TRUE(Button.Bitmap().isNull());
}

TEST(SevenButton, EachStatePaintsItsGradientBorderAndCorners)
{
    struct TCase
    {
        const char* Name;
        std::function<void(TWindow&)> Reach;
        std::uint8_t State;
        TColor From, To, Border;
    };
    const TCase Cases[] = {
        {"normal", [](TWindow&) {}, TSevenButton::stNormal, 16579836, 13619151, 7368816},
        {"hot",
         [](TWindow& Window) {
             QEnterEvent Enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
             QApplication::sendEvent(Window.Button, &Enter);
         },
         TSevenButton::stHot, 16579836, 16112039, 11632444},
        {"down", [](TWindow& Window) { QTest::mousePress(Window.Handle(), Qt::LeftButton, {}, Window.At()); },
         TSevenButton::stDown, 16579836, 14398312, 9134636},
        {"focused", [](TWindow& Window) { Window.Button->setFocus(); }, TSevenButton::stFocused, 16579836,
         13619151, 11632444},
        {"disabled", [](TWindow& Window) { Window.Button->setEnabled(false); }, TSevenButton::stDisabled,
         16053492, 16053492, 11907757},
    };
    for (const TCase& Case : Cases) {
        SCOPED_TRACE(Case.Name);
        TWindow Window;
        ASSERT_TRUE(Window.Open());
        Case.Reach(Window);
        ASSERT_EQ(Window.Button->State(), Case.State);
        const QImage& Image = Window.Button->Bitmap();
        ASSERT_EQ(Image.size(), QSize(85, 24));
        // The screen shows what Paint() drew.
        EXPECT_EQ(Window.Button->grab().toImage().convertToFormat(QImage::Format_RGB32), Image);

        const QRgb Border = Rgb(Case.Border), Background = FormColor.rgb();
        for (int Y = 1; Y <= 22; ++Y) {
            const std::optional<QRgb> Row = GradientRow(Y, 1, 22, ColorToRGB(Case.From), ColorToRGB(Case.To));
            ASSERT_TRUE(Row) << Y;
            for (int X : {2, 42, 82})
                EXPECT_EQ(Image.pixel(X, Y), *Row) << X << "," << Y;
        }
        EXPECT_EQ(Image.pixel(42, 1), Rgb(Case.From));
        EXPECT_EQ(Image.pixel(42, 22), GradientRow(22, 1, 22, ColorToRGB(Case.From), ColorToRGB(Case.To)));
        for (QPoint Point : {QPoint(1, 0), QPoint(42, 0), QPoint(42, 23), QPoint(0, 12), QPoint(84, 12),
                             QPoint(1, 1), QPoint(83, 1), QPoint(1, 22), QPoint(83, 22)})
            EXPECT_EQ(Image.pixel(Point), Border) << Point.x() << "," << Point.y();
        for (QPoint Point : {QPoint(0, 0), QPoint(84, 0), QPoint(0, 23), QPoint(84, 23)})
            EXPECT_EQ(Image.pixel(Point), Background) << Point.x() << "," << Point.y();
        if (Case.State == TSevenButton::stDown)
            QTest::mouseRelease(Window.Handle(), Qt::LeftButton, {}, Window.At());
    }
}

TEST(SevenButton, GradientRowsFollowTheStepsAndTallButtonsKeepTheRowsBetween)
{
    QWidget Form;
    QPalette Palette = Form.palette();
    Palette.setColor(QPalette::Window, FormColor);
    Form.setPalette(Palette);
    TSevenButton Button(&Form);
    Button.Colors().SetColorNormalFrom(0x000000FF); // red at the top
    Button.Colors().SetColorNormalTo(0x00FF0000);   // blue at the bottom

    Button.resize(40, 24);
    Button.Paint();
    EXPECT_EQ(Button.Bitmap().pixel(20, 1), qRgb(255, 0, 0));
    EXPECT_EQ(Button.Bitmap().pixel(20, 2), qRgb(255 - 12 * 255 / 255, 0, 12)); // step 12
    EXPECT_EQ(Button.Bitmap().pixel(20, 22), qRgb(255 - 245, 0, 245));          // step 245

    // 298 rows for 256 steps: 42 rows are reached by no step.
    Button.resize(40, 300);
    Button.Paint();
    const QImage& Image = Button.Bitmap();
    int Untouched = 0;
    for (int Y = 1; Y <= 298; ++Y) {
        const std::optional<QRgb> Row = GradientRow(Y, 1, 298, QColor(255, 0, 0), QColor(0, 0, 255));
        Untouched += Row ? 0 : 1;
        for (int X : {2, 20, 37})
            EXPECT_EQ(Image.pixel(X, Y), Row.value_or(FormColor.rgb())) << X << "," << Y;
    }
    EXPECT_EQ(Untouched, 298 - 256);
    EXPECT_EQ(Image.pixel(20, 8), FormColor.rgb()); // between steps 6 (row 7) and 7 (row 9)
    // The last step lands on row 297; the bottom row of the gradient is left.
    EXPECT_EQ(Image.pixel(20, 297), qRgb(0, 0, 255));
    EXPECT_EQ(Image.pixel(20, 298), FormColor.rgb());
}

TEST(SevenButton, BorderFramesAndCornersForEachWidth)
{
    for (int Width : {1, 3}) {
        SCOPED_TRACE(Width);
        QWidget Form;
        QPalette Palette = Form.palette();
        Palette.setColor(QPalette::Window, FormColor);
        Form.setPalette(Palette);
        TSevenButton Button(&Form);
        Button.resize(30, 20);
        Button.Border().SetColorNormal(0x0000FF00);
        Button.Border().SetWidthNormal(TSevenButtonBorderWidth(Width));
        const QImage& Image = Button.Bitmap();
        const QRgb Green = qRgb(0, 255, 0), Background = FormColor.rgb();
        const QRect Outer(0, 0, 30, 20), Inner(Width, Width, 30 - 2 * Width, 20 - 2 * Width);
        const QList<QPoint> OuterCorners{{0, 0}, {29, 0}, {0, 19}, {29, 19}};
        const QList<QPoint> InnerCorners{
            {Width, Width}, {29 - Width, Width}, {Width, 19 - Width}, {29 - Width, 19 - Width}};
        for (int Y = 0; Y < 20; ++Y)
            for (int X = 0; X < 30; ++X) {
                const QPoint Point(X, Y);
                if (OuterCorners.contains(Point))
                    EXPECT_EQ(Image.pixel(Point), Background) << X << "," << Y;
                else if (!Inner.contains(Point) || InnerCorners.contains(Point))
                    EXPECT_EQ(Image.pixel(Point), Green) << X << "," << Y;
                else
                    EXPECT_NE(Image.pixel(Point), Green) << X << "," << Y;
            }
        EXPECT_TRUE(Outer.contains(Inner));
        // The gradient starts under the frames.
        EXPECT_EQ(Image.pixel(15, Width), Rgb(16579836));
    }
}

TEST(SevenButton, CaptionAndPicturePlacement)
{
    // A 200 x 30 button, border 1 and margin 5: the edge lies 6 pixels in.
    struct TCase
    {
        TAlignment Caption;
        std::optional<TAlignment> Picture;
        QRect PictureBox;
        std::function<void(const QRect&)> CheckCaption;
    };
    const QRect NoPicture;
    const TCase Cases[] = {
        {taLeftJustify, std::nullopt, NoPicture,
         [](const QRect& Text) {
             EXPECT_GE(Text.left(), 6);
             EXPECT_LE(Text.left(), 8);
         }},
        {taRightJustify, std::nullopt, NoPicture,
         [](const QRect& Text) {
             EXPECT_LE(Text.right(), 193);
             EXPECT_GE(Text.right(), 191);
         }},
        {taCenter, std::nullopt, NoPicture,
         [](const QRect& Text) { EXPECT_NEAR(Text.left() + Text.right() + 1, 200, 3); }},
        {taLeftJustify, taLeftJustify, QRect(6, 7, 16, 15),
         [](const QRect& Text) {
             EXPECT_GE(Text.left(), 6 + 16 + 5);
             EXPECT_LE(Text.left(), 6 + 16 + 5 + 2);
         }},
        {taRightJustify, taRightJustify, QRect(178, 7, 16, 15),
         [](const QRect& Text) {
             EXPECT_LE(Text.right(), 178 - 5 - 1);
             EXPECT_GE(Text.right(), 178 - 5 - 3);
         }},
        // A centred caption is centred on the whole button, picture or not.
        {taCenter, taLeftJustify, QRect(6, 7, 16, 15),
         [](const QRect& Text) { EXPECT_NEAR(Text.left() + Text.right() + 1, 200, 3); }},
    };
    for (const TCase& Case : Cases) {
        SCOPED_TRACE(testing::Message() << Case.Caption << " " << (Case.Picture ? int(*Case.Picture) : -1));
        QWidget Form;
        TSevenButton Button(&Form);
        Button.SetAllFonts(ArialEleven());
        Button.resize(200, 30);
        Button.SetAlignment(Case.Caption);
        if (Case.Picture) {
            Button.Pictures().SetAlignment(*Case.Picture);
            Button.Pictures().SetPictureNormal(Solid(16, 15, Qt::red));
        }
        const QImage Without = Button.Bitmap();
        Button.SetCaption("&Rechercher");
        const QRect Text = Difference(Button.Bitmap(), Without);
        ASSERT_FALSE(Text.isEmpty());
        Case.CheckCaption(Text);
        // One line, centred in the height.
        EXPECT_NEAR(Text.top() + Text.bottom() + 1, 30, 4);
        EXPECT_EQ(PixelsOf(Button.Bitmap(), qRgb(255, 0, 0)), Case.PictureBox);
    }
}

TEST(SevenButton, PicturesOfTheStatesAndTransparency)
{
    TWindow Window;
    ASSERT_TRUE(Window.Open());
    TSevenButton& Button = *Window.Button;
    QImage Picture = Solid(8, 8, Qt::red);
    Picture.setPixel(0, 7, qRgb(255, 0, 255)); // the bottom-left colour
    Picture.setPixel(3, 3, qRgb(255, 0, 255));
    Button.Pictures().SetPictureNormal(Picture);
    // Hot has no picture of its own: the normal one shows.
    QEnterEvent Enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(&Button, &Enter);
    ASSERT_EQ(Button.State(), TSevenButton::stHot);
    EXPECT_EQ(PixelsOf(Button.Bitmap(), qRgb(255, 0, 0)), QRect(6, 8, 8, 8));
    EXPECT_EQ(PixelsOf(Button.Bitmap(), qRgb(255, 0, 255)), QRect(6, 11, 4, 5));

    Button.Pictures().SetTransparent(true);
    EXPECT_TRUE(PixelsOf(Button.Bitmap(), qRgb(255, 0, 255)).isEmpty());
    EXPECT_EQ(PixelsOf(Button.Bitmap(), qRgb(255, 0, 0)), QRect(6, 8, 8, 8));

    // A state's own picture is stored without repainting; it shows next time.
    Button.Pictures().SetTransparent(false);
    Button.Pictures().PictureHot = Solid(4, 4, Qt::green);
    EXPECT_TRUE(PixelsOf(Button.Bitmap(), qRgb(0, 255, 0)).isEmpty());
    Button.Paint();
    EXPECT_EQ(PixelsOf(Button.Bitmap(), qRgb(0, 255, 0)), QRect(6, 10, 4, 4));
}

TEST(SevenButton, MouseStatesAndClicks)
{
    TWindow Window;
    ASSERT_TRUE(Window.Open());
    TSevenButton& Button = *Window.Button;
    QSignalSpy Clicks(&Button, &TSevenButton::Clicked);
    const QPoint Inside = Window.At(), Outside(250, 100);

    // Qt drops a move to where the pointer already is: start elsewhere.
    QTest::mouseMove(Window.Handle(), QPoint(5, 100));
    QTest::mouseMove(Window.Handle(), Outside);
    QTest::mouseMove(Window.Handle(), Inside);
    EXPECT_EQ(Button.State(), TSevenButton::stHot);
    QTest::mousePress(Window.Handle(), Qt::LeftButton, {}, Inside);
    EXPECT_EQ(Button.State(), TSevenButton::stDown);
    EXPECT_TRUE(Button.hasFocus());
    EXPECT_EQ(Clicks.count(), 0);
    QTest::mouseRelease(Window.Handle(), Qt::LeftButton, {}, Inside);
    EXPECT_EQ(Button.State(), TSevenButton::stHot);
    EXPECT_EQ(Clicks.count(), 1);
    // Leaving with the focus shows the focused look.
    QTest::mouseMove(Window.Handle(), Outside);
    EXPECT_EQ(Button.State(), TSevenButton::stFocused);

    // A double click is two clicks: the first release, then the second press.
    QTest::mouseMove(Window.Handle(), Inside);
    QTest::mouseDClick(Window.Handle(), Qt::LeftButton, {}, Inside);
    EXPECT_EQ(Clicks.count(), 3);
    EXPECT_EQ(Button.State(), TSevenButton::stHot);

    // Out with the button held, and back in: down again, and the release clicks.
    QTest::mousePress(Window.Handle(), Qt::LeftButton, {}, Inside);
    QTest::mouseMove(Window.Handle(), Outside);
    EXPECT_EQ(Button.State(), TSevenButton::stFocused);
    QTest::mouseMove(Window.Handle(), Inside);
    EXPECT_EQ(Button.State(), TSevenButton::stDown);
    QTest::mouseRelease(Window.Handle(), Qt::LeftButton, {}, Inside);
    EXPECT_EQ(Clicks.count(), 4);
    // A release outside does not click.
    QTest::mousePress(Window.Handle(), Qt::LeftButton, {}, Inside);
    QTest::mouseMove(Window.Handle(), Outside);
    QTest::mouseRelease(Window.Handle(), Qt::LeftButton, {}, Outside);
    EXPECT_EQ(Clicks.count(), 4);
    EXPECT_EQ(Button.State(), TSevenButton::stFocused);

    // Disabled: its own look, which the mouse does not change.
    Button.setEnabled(false);
    EXPECT_EQ(Button.State(), TSevenButton::stDisabled);
    QTest::mouseMove(Window.Handle(), Inside);
    QTest::mouseMove(Window.Handle(), Outside);
    EXPECT_EQ(Button.State(), TSevenButton::stDisabled);
    Button.setEnabled(true);
    EXPECT_EQ(Button.State(), TSevenButton::stNormal);
    EXPECT_EQ(Clicks.count(), 4);
}

TEST(SevenButton, SpaceFocusAndDialogKeys)
{
    TWindow Window;
    ASSERT_TRUE(Window.Open());
    TSevenButton& Ok = *Window.Button;
    Ok.SetCaption("OK");
    Ok.Default = true;
    auto* Cancel = new TSevenButton(Window.Form.get());
    Cancel->move(140, 60);
    Cancel->SetCaption("&Annuler");
    Cancel->Cancel = true;
    Cancel->show();
    QSignalSpy OkClicks(&Ok, &TSevenButton::Clicked), CancelClicks(Cancel, &TSevenButton::Clicked);
    const auto Counts = [&] { return std::pair(int(OkClicks.count()), int(CancelClicks.count())); };

    // Focus on the button: focused look, Enter answers it.
    Ok.setFocus();
    EXPECT_EQ(Ok.State(), TSevenButton::stFocused);
    EXPECT_TRUE(Ok.Active());
    // Space clicks at each press, auto-repeated ones too, never at the release.
    QTest::keyPress(&Ok, Qt::Key_Space);
    for (int Repeat = 0; Repeat < 3; ++Repeat) {
        QKeyEvent Release(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, " ", true);
        QApplication::sendEvent(&Ok, &Release);
        QKeyEvent Press(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ", true);
        QApplication::sendEvent(&Ok, &Press);
    }
    QTest::keyRelease(&Ok, Qt::Key_Space);
    EXPECT_EQ(Counts(), std::pair(4, 0));

    // The focus on another button moves Enter to it.
    Cancel->setFocus();
    EXPECT_EQ(Ok.State(), TSevenButton::stNormal);
    EXPECT_FALSE(Ok.Active());
    EXPECT_TRUE(Cancel->Active());
    QTest::keyClick(Cancel, Qt::Key_Return);
    EXPECT_EQ(Counts(), std::pair(4, 1));

    // The focus on the line edit: the default button answers Enter, the
    // cancel button Escape, not with Shift, Ctrl or Alt held.
    Window.Edit->setFocus();
    EXPECT_TRUE(Ok.Active());
    EXPECT_FALSE(Cancel->Active());
    QTest::keyClick(Window.Edit, Qt::Key_Return);
    QTest::keyClick(Window.Edit, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(Counts(), std::pair(6, 1));
    QTest::keyClick(Window.Edit, Qt::Key_Escape);
    EXPECT_EQ(Counts(), std::pair(6, 2));
    for (Qt::KeyboardModifier Modifier : {Qt::ShiftModifier, Qt::ControlModifier, Qt::AltModifier}) {
        QTest::keyClick(Window.Edit, Qt::Key_Return, Modifier);
        QTest::keyClick(Window.Edit, Qt::Key_Escape, Modifier);
    }
    EXPECT_EQ(Counts(), std::pair(6, 2));

    // Alt and the accelerator letter.
    QTest::keyClick(Window.Edit, Qt::Key_A, Qt::AltModifier);
    EXPECT_EQ(Counts(), std::pair(6, 3));
    EXPECT_EQ(Window.Edit->text(), QString());

    // A button that cannot take the focus answers nothing.
    Cancel->setEnabled(false);
    Ok.hide();
    QTest::keyClick(Window.Edit, Qt::Key_A, Qt::AltModifier);
    QTest::keyClick(Window.Edit, Qt::Key_Escape);
    QTest::keyClick(Window.Edit, Qt::Key_Return);
    EXPECT_EQ(Counts(), std::pair(6, 3));
}

namespace {

class TRefusingForm : public TModalForm
{
public:
    bool MayClose = false;
    int Queries = 0;

protected:
    bool CloseQuery() override
    {
        ++Queries;
        return MayClose;
    }
};

} // namespace

TEST(SevenButton, ModalResultsThroughARealModalLoop)
{
    struct TCase
    {
        const char* Name;
        int Expected;
        // Runs inside the modal loop, once the form shows.
        std::function<void(TRefusingForm&, TSevenButton& Ok, TSevenButton& Ignore, TSevenButton& Cancel)> Act;
    };
    const TCase Cases[] = {
        {"OK", mrOk,
         [](auto& Form, auto& Ok, auto&, auto&) {
             Form.MayClose = true;
             QTest::mouseClick(&Ok, Qt::LeftButton);
         }},
        {"a handler that sets the result", mrIgnore,
         [](auto& Form, auto&, auto& Ignore, auto&) {
             Form.MayClose = true;
             QObject::connect(&Ignore, &TSevenButton::Clicked, &Form,
                              [&Form] { Form.ModalResult = mrIgnore; });
             QTest::mouseClick(&Ignore, Qt::LeftButton);
         }},
        {"a handler that resets the result", mrCancel,
         [](auto& Form, auto& Ok, auto&, auto&) {
             Form.MayClose = true;
             QObject::connect(&Ok, &TSevenButton::Clicked, &Form, [&Form] { Form.ModalResult = mrNone; });
             QTest::mouseClick(&Ok, Qt::LeftButton);
             EXPECT_TRUE(Form.isVisible());
             QTest::keyClick(&Ok, Qt::Key_Escape);
         }},
        {"a form that refuses to close", mrOk,
         [](auto& Form, auto& Ok, auto& Ignore, auto&) {
             QTest::mouseClick(&Ok, Qt::LeftButton);
             EXPECT_TRUE(Form.isVisible());
             EXPECT_EQ(Form.ModalResult, mrNone);
             // A button without a result closes nothing and asks nothing.
             QTest::mouseClick(&Ignore, Qt::LeftButton);
             EXPECT_EQ(Form.Queries, 1);
             Form.MayClose = true;
             QTest::mouseClick(&Ok, Qt::LeftButton);
         }},
        {"the close box", mrCancel,
         [](auto& Form, auto&, auto&, auto&) {
             Form.close();
             EXPECT_TRUE(Form.isVisible());
             EXPECT_EQ(Form.ModalResult, mrNone);
             Form.MayClose = true;
             Form.close();
         }},
    };
    for (const TCase& Case : Cases) {
        SCOPED_TRACE(Case.Name);
        TRefusingForm Form;
        auto* Ok = new TSevenButton(&Form);
        Ok->ModalResult = mrOk;
        auto* Ignore = new TSevenButton(&Form);
        Ignore->move(90, 0);
        auto* Cancel = new TSevenButton(&Form);
        Cancel->move(180, 0);
        Cancel->ModalResult = mrCancel;
        Cancel->Cancel = true;
        bool Acted = false;
        QTimer::singleShot(0, &Form, [&] {
            if (QTest::qWaitForWindowActive(&Form))
                Case.Act(Form, *Ok, *Ignore, *Cancel);
            Acted = true;
        });
        // Should the form stay open by mistake, the test ends all the same.
        QTimer::singleShot(10000, &Form, [&Form] { Form.done(-1); });
        EXPECT_EQ(Form.ShowModal(), Case.Expected);
        EXPECT_TRUE(Acted);
        EXPECT_EQ(Form.ModalResult, Case.Expected);
        EXPECT_FALSE(Form.isVisible());
    }
}

TEST(SevenButton, ClickGivesTheResultBeforeTheHandlersAndLetsTheirErrorsThrough)
{
    TModalForm Form;
    TSevenButton Button(&Form);
    Button.ModalResult = mrNo;
    int Seen = -1;
    QObject::connect(&Button, &TSevenButton::Clicked, [&] {
        Seen = Form.ModalResult;
        throw std::runtime_error("handler failed");
    });
    Form.ModalResult = mrOk;
    EXPECT_THROW(Button.Click(), std::runtime_error);
    EXPECT_EQ(Seen, mrNo);
    Button.ModalResult = 0;
    EXPECT_THROW(Button.Click(), std::runtime_error);
    EXPECT_EQ(Seen, mrNone);
}
