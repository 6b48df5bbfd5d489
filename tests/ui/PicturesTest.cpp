// The built-in pictures decode at the sizes the windows lay out, and the busy
// sign turns only while it is on screen.
#include "Pictures.h"
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
