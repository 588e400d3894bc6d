#include "shell/CustomFrame.h"
#include "logic/FrameGeometry.h"

#include <gtest/gtest.h>

#include <QScreen>

namespace {

// Client rectangle 100..900 × 50..650 on screen.
const FrameRect kClient{100, 50, 900, 650};

struct ZoneCase
{
    const char* name;
    int border;
    QPoint point;
    FrameZone expected;
};

void PrintTo(const ZoneCase& c, std::ostream* os)
{
    *os << c.name;
}

class FrameZoneTest : public ::testing::TestWithParam<ZoneCase>
{
};

TEST_P(FrameZoneTest, PointFallsInItsZone)
{
    const FrameZones zones = ComputeFrameZones(kClient, GetParam().border, 25, 18);
    EXPECT_EQ(HitFrameZone(zones, GetParam().point), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Zones, FrameZoneTest,
    ::testing::Values(
        // Border 5: the zones are exactly the painted strips.
        ZoneCase{"B5LeftStripFirstPixel", 5, {100, 300}, FrameZone::Left},
        ZoneCase{"B5LeftStripLastPixel", 5, {104, 300}, FrameZone::Left},
        ZoneCase{"B5InsideIsTitleOrNothing", 5, {105, 300}, FrameZone::None},
        ZoneCase{"B5OutsideLeftIsNothing", 5, {98, 300}, FrameZone::None},
        ZoneCase{"B5RightStrip", 5, {899, 300}, FrameZone::Right},
        ZoneCase{"B5TopStrip", 5, {500, 50}, FrameZone::Top},
        ZoneCase{"B5BottomStrip", 5, {500, 649}, FrameZone::Bottom},
        ZoneCase{"B5TopLeftCorner", 5, {102, 52}, FrameZone::TopLeft},
        ZoneCase{"B5BottomRightCorner", 5, {897, 647}, FrameZone::BottomRight},
        ZoneCase{"B5TitleStrip", 5, {500, 60}, FrameZone::Title},
        ZoneCase{"B5BelowTitle", 5, {500, 75}, FrameZone::None},
        ZoneCase{"B5CloseButton", 5, {890, 60}, FrameZone::CloseButton},
        ZoneCase{"B5MaxButton", 5, {870, 60}, FrameZone::MaximizeButton},
        ZoneCase{"B5MinButton", 5, {850, 60}, FrameZone::MinimizeButton},
        ZoneCase{"B5LeftOfButtonsIsTitle", 5, {830, 60}, FrameZone::Title},
        // Border 4 or less: widened 5 inwards and 2 outwards.
        ZoneCase{"B4LeftWidenedInwards", 4, {108, 300}, FrameZone::Left},
        ZoneCase{"B4LeftEndOfWidening", 4, {109, 300}, FrameZone::None},
        ZoneCase{"B3PressTwoPixelsOutsideLeft", 3, {98, 300}, FrameZone::Left},
        ZoneCase{"B3ThreePixelsOutsideIsNothing", 3, {97, 300}, FrameZone::None},
        ZoneCase{"B3BottomLeftCorner", 3, {99, 649}, FrameZone::BottomLeft},
        ZoneCase{"B3BottomRightMirror", 3, {900, 649}, FrameZone::BottomRight},
        ZoneCase{"B3TopWidened", 3, {500, 56}, FrameZone::Top},
        ZoneCase{"B3TitleBelowTopZone", 3, {500, 60}, FrameZone::Title}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FrameZoneRects, ThinBorderCornersMirrorEachOther)
{
    const FrameZones z = ComputeFrameZones(kClient, 4, 25, 18);
    EXPECT_EQ(z.bottomLeft, (FrameRect{98, 641, 109, 652}));
    EXPECT_EQ(z.bottomRight, (FrameRect{891, 641, 902, 652}));
    EXPECT_EQ(z.bottomLeft.left - kClient.left, kClient.right - z.bottomRight.right);
    const FrameZones wide = ComputeFrameZones(kClient, 5, 25, 18);
    EXPECT_EQ(wide.closeButton, (FrameRect{877, 55, 895, 73}));
    EXPECT_EQ(wide.title, (FrameRect{105, 55, 895, 75}));
}

TEST(FrameRects, MaximiseLeavesTheTaskbarUncovered)
{
    // 1920 × 1080 screen with a 40-pixel taskbar at the bottom.
    EXPECT_EQ(MaximizedFrameRect(QRect(0, 0, 1920, 1040)), (FrameRect{0, 0, 1920, 1040}));
    // Second screen to the right with a panel at its top.
    EXPECT_EQ(MaximizedFrameRect(QRect(1920, 30, 1280, 994)), (FrameRect{1920, 30, 3200, 1024}));
}

TEST(FrameRects, DragFromMaximisedCentresNormalSizeOnPointer)
{
    EXPECT_EQ(RestoreUnderPointer(QSize(1100, 801), QPoint(700, 12), 5),
              (FrameRect{150, 7, 1250, 808}));
}

TEST(FrameRects, NormalRectRememberedOnlyAtMinimumSizeOrMore)
{
    const QSize minTrack(800, 600);
    const std::tuple<bool, FrameRect, bool> cases[] = {
        {false, {0, 0, 800, 600}, true},
        {false, {0, 0, 799, 900}, false},
        {false, {0, 0, 900, 599}, false},
        {true, {0, 0, 1920, 1040}, false},
    };
    for (const auto& [maximized, rect, expected] : cases) {
        EXPECT_EQ(ShouldRememberNormal(maximized, rect, minTrack), expected)
            << rect.Width() << "x" << rect.Height();
    }
}

TEST(FrameRects, HostedWindowInsideBorderAndTitle)
{
    EXPECT_EQ(HostedWindowRect(QSize(1100, 801), 5, 25), QRect(5, 25, 1090, 771));
}

TEST(CustomFrameWindow, NotPlacedStaysInvisibleUntilPlaced)
{
    CCustomFrame frame(0);
    frame.show();
    EXPECT_FALSE(frame.isVisible());
    frame.setVisible(true);
    EXPECT_FALSE(frame.isVisible());

    frame.SetPlaceState(1);
    frame.PositionFrame(QRect(100, 100, 400, 300));
    EXPECT_TRUE(frame.isVisible());
    EXPECT_EQ(frame.PlaceState(), -1);
    EXPECT_EQ(frame.geometry(), QRect(100, 100, 400, 300));
}

TEST(CustomFrameWindow, ProgramShrinkBelowMinimumKeepsNormalRect)
{
    CCustomFrame frame(1);
    frame.SetMinTrackSize(QSize(300, 200));
    frame.PositionFrame(QRect(50, 60, 400, 300));
    ASSERT_EQ(frame.NormalRect(), QRect(50, 60, 400, 300));
    frame.setMinimumSize(0, 0);  // a program move ignoring the tracking size
    frame.setGeometry(QRect(50, 60, 100, 100));
    EXPECT_EQ(frame.NormalRect(), QRect(50, 60, 400, 300));
}

TEST(CustomFrameWindow, MaximiseAndRestoreByButton)
{
    CCustomFrame frame(1);
    frame.PositionFrame(QRect(50, 60, 400, 300));
    const FrameRect maxButton = frame.Zones().maximizeButton;
    frame.OnFrameButtonDown(QPoint(maxButton.left + 2, maxButton.top + 2));
    EXPECT_TRUE(frame.IsFrameMaximized());
    EXPECT_EQ(frame.geometry(), frame.screen()->availableGeometry());

    const FrameRect restore = frame.Zones().maximizeButton;
    frame.OnFrameButtonDown(QPoint(restore.left + 2, restore.top + 2));
    EXPECT_FALSE(frame.IsFrameMaximized());
    EXPECT_EQ(frame.geometry(), QRect(50, 60, 400, 300));
}

}  // namespace
