// The built-in pictures decode at the sizes the windows lay out, pictures
// from untrusted bytes cost no more than their bounds allow, and the busy sign
// turns only while it is on screen.
#include "Pictures.h"
#include "PictureBytes.h"
#include "Resources.h"

#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <set>

TEST(Pictures, BuiltInPicturesHaveTheirWindowSizes)
{
    const std::pair<std::string_view, QSize> Cases[] = {
        {VantryResource_update(), {18, 18}},
        {VantryResource_logo(), {90, 56}},
        {VantryResource_nofolder75(), {75, 100}},
        {VantryResource_icon(), {64, 64}},
    };
    for (const auto& [Bytes, Size] : Cases)
        EXPECT_EQ(PictureFromResource(Bytes).size(), Size);
    // The busy sign is a strip of square frames.
    const QSize Strip = PictureFromResource(VantryResource_busy()).size();
    EXPECT_EQ(Strip.height(), 24);
    EXPECT_TRUE(Strip.width() >= 48 && Strip.width() % 24 == 0) << Strip.width();
    EXPECT_TRUE(PictureFromResource("not a picture").isNull());
}

TEST(Pictures, PicturesFromUntrustedBytesStayWithinTheirScansBudgetAndStop)
{
    using namespace std::chrono_literals;
    const QSize Size(75, 100);
    const std::string Poster = Picture(Qt::green, "PNG");
    const struct
    {
        const char* Case;
        std::string Bytes;
        const char* Format;
        std::chrono::milliseconds Budget;
        bool Stopped, Read;
    } Cases[] = {
        {"a poster", Poster, "png", 10s, false, true},
        {"as many scans as allowed", ScanHeavyJpeg(64, JpegScanLimit), "jpeg", 10s, false, true},
        {"one scan more", ScanHeavyJpeg(64, JpegScanLimit + 1), "jpeg", 10s, false, false},
        {"no time left", Poster, "png", 0ms, false, false},
        {"a stop asked", Poster, "png", 10s, true, false},
    };
    for (const auto& Case : Cases) {
        const std::atomic<bool> Stop = Case.Stopped;
        const QImage Image = ReadPicture(Case.Bytes, Case.Format, Size, {2048, Case.Budget}, Stop);
        EXPECT_EQ(Image.size(), Case.Read ? Size : QSize(0, 0)) << Case.Case;
    }
}

TEST(Pictures, BusySignTurnsOnlyOnScreen)
{
    QWidget Window;
    Window.resize(200, 100);
    TBusySign Sign(&Window);
    const QTimer* Timer = Sign.findChild<QTimer*>();
    ASSERT_NE(Timer, nullptr);
    EXPECT_EQ(Sign.size(), QSize(24, 24));

    // Created hidden, and shown inside a hidden window, nothing ticks.
    Window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Window));
    EXPECT_FALSE(Sign.isVisible() || Timer->isActive());
    Window.hide();
    Sign.setVisible(true);
    EXPECT_FALSE(Timer->isActive());

    // On screen it passes through every frame of the strip, painting each
    // differently, and starts over.
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

    // Hidden again, or in a window hidden, it stops.
    Sign.setVisible(false);
    EXPECT_FALSE(Timer->isActive());
    Sign.setVisible(true);
    EXPECT_TRUE(Timer->isActive());
    Window.hide();
    EXPECT_FALSE(Timer->isActive());
}
