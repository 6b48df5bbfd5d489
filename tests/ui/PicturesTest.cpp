// The built-in pictures decode at the sizes the windows lay out, and the busy
// sign turns only while it is on screen.
#include "Pictures.h"
#include "Resources.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <set>

namespace {

QImage Decode(std::string_view Bytes, QByteArray& Format)
{
    QByteArray Data(Bytes.data(), qsizetype(Bytes.size()));
    QBuffer Buffer(&Data);
    QImageReader Reader(&Buffer);
    Format = Reader.format();
    return Reader.read();
}

} // namespace

TEST(Pictures, BuiltInPicturesHaveTheirWindowSizes)
{
    struct TCase
    {
        const char* Name;
        std::string_view Bytes;
        QByteArray Format;
        QSize Size; // a width of 0: any whole number of square frames
    };
    const TCase Cases[] = {
        {"update", VantryResource_update(), "png", QSize(18, 18)},
        {"busy", VantryResource_busy(), "png", QSize(0, 24)},
        {"logo", VantryResource_logo(), "png", QSize(90, 56)},
        {"nofolder75", VantryResource_nofolder75(), "jpeg", QSize(75, 100)},
    };
    for (const TCase& Case : Cases) {
        SCOPED_TRACE(Case.Name);
        QByteArray Format;
        const QImage Image = Decode(Case.Bytes, Format);
        ASSERT_FALSE(Image.isNull());
        EXPECT_EQ(Format, Case.Format);
        EXPECT_EQ(PictureFromResource(Case.Bytes).size(), Image.size());
        EXPECT_EQ(Image.height(), Case.Size.height());
        if (Case.Size.width() > 0) {
            EXPECT_EQ(Image.width(), Case.Size.width());
        } else {
            EXPECT_GE(Image.width(), 2 * Image.height());
            EXPECT_EQ(Image.width() % Image.height(), 0);
        }
        // The signs and the logo sit on the window's own colour.
        if (Case.Format == "png") {
            EXPECT_EQ(qAlpha(Image.pixel(0, 0)), 0);
        }
    }

    // Thumbnails are decoded by any JPEG reader only when baseline: a start of
    // frame 0xFFC0, never the progressive 0xFFC2.
    const std::string_view Thumbnail = VantryResource_nofolder75();
    EXPECT_NE(Thumbnail.find("\xFF\xC0"), std::string_view::npos);
    EXPECT_EQ(Thumbnail.find("\xFF\xC2"), std::string_view::npos);

    EXPECT_TRUE(PictureFromResource("not a picture").isNull());
}

TEST(Pictures, BusySignTurnsOnlyOnScreen)
{
    QWidget Window;
    Window.resize(200, 100);
    TBusySign Sign(&Window);
    Sign.move(18, 10);
    const QTimer* Timer = Sign.findChild<QTimer*>();
    ASSERT_NE(Timer, nullptr);
    EXPECT_EQ(Sign.size(), QSize(24, 24));

    // Created hidden: the window shows without it, and nothing ticks.
    Window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Window));
    EXPECT_FALSE(Sign.isVisible());
    EXPECT_FALSE(Timer->isActive());

    // Shown inside a hidden window, it is still off screen.
    Window.hide();
    Sign.setVisible(true);
    EXPECT_FALSE(Timer->isActive());

    // On screen it passes through every frame of the strip and starts over,
    // painting a different picture for each.
    Window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Window));
    const int Frames = PictureFromResource(VantryResource_busy()).width() / 24;
    const int First = Sign.Frame();
    const QImage FirstPicture = Sign.grab().toImage();
    std::set<int> Seen;
    EXPECT_TRUE(QTest::qWaitFor([&] {
        Seen.insert(Sign.Frame());
        return int(Seen.size()) == Frames && Sign.Frame() == First;
    }));
    EXPECT_EQ(*Seen.rbegin(), Frames - 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return Sign.Frame() != First; }));
    EXPECT_NE(Sign.grab().toImage(), FirstPicture);

    // Hidden again, its timer stops, and so do the frames.
    Sign.setVisible(false);
    EXPECT_FALSE(Timer->isActive());
    const int Stopped = Sign.Frame();
    QCoreApplication::processEvents();
    EXPECT_EQ(Sign.Frame(), Stopped);

    // Hiding the whole window stops it as well.
    Sign.setVisible(true);
    EXPECT_TRUE(Timer->isActive());
    Window.hide();
    EXPECT_FALSE(Timer->isActive());
}
