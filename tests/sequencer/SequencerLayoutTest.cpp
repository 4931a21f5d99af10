#include "sequencer/SequencerLayout.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace zelvar;
namespace L = zelvar::SequencerLayout;

TEST(SequencerLayout, AreaHeightFollowsTheTrackCountAboveItsMinimum)
{
    const std::pair<int, int> cases[] = {{0, 550}, {3, 550}, {10, 550}, {11, 576}, {12, 624}};
    for (auto [tracks, height] : cases)
        EXPECT_EQ(L::areaHeight(tracks), height) << tracks << " tracks";
}

TEST(SequencerLayout, DragEndsBringObjectsBackInsideTheirSpan)
{
    struct Case
    {
        const char *what;
        int (*rule)(int, int);
        int left, zoom, expected;
    };
    const Case cases[] = {
        {"button at far left", L::buttonLeftAfterDrag, -40, 1, 120},
        {"button inside", L::buttonLeftAfterDrag, 500, 1, 500},
        {"button past the end at zoom 2", L::buttonLeftAfterDrag, 1500, 2, 1320},
        // Released later than 600 × zoom − 120 seconds: the left edge is already past 600 × zoom.
        {"button just past 600", L::buttonLeftAfterDrag, 601, 1, 720},
        {"button at 600", L::buttonLeftAfterDrag, 600, 1, 600},
        {"cursor left", L::cursorLeftAfterDrag, 3, 1, 120},
        {"cursor past the end", L::cursorLeftAfterDrag, 900, 1, 720},
        {"cursor at the end", L::cursorLeftAfterDrag, 720, 1, 720},
        {"loop beyond 675 per step", L::loopLeftAfterDrag, 1400, 2, 1470},
        {"loop at 675", L::loopLeftAfterDrag, 675, 1, 675},
        {"loop left", L::loopLeftAfterDrag, 90, 1, 120},
        {"control bar near the start", L::controlBarLeftAfterClick, 100, 1, 120},
        {"control bar in the middle", L::controlBarLeftAfterClick, 250, 1, 180},
        {"control bar near the end", L::controlBarLeftAfterClick, 590, 1, 300},
        {"control bar at zoom 12", L::controlBarLeftAfterClick, 7000, 12, 6900},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.rule(c.left, c.zoom), c.expected) << c.what;
}

TEST(SequencerLayout, ViewFollowsTheCursorFromZoomTwo)
{
    EXPECT_FALSE(L::follow(500, 1).follows);
    const L::Follow f = L::follow(820, 2);
    EXPECT_TRUE(f.follows);
    EXPECT_EQ(f.scrollX, 570);
    EXPECT_EQ(f.controlBarLeft, 720);
}

TEST(SequencerLayout, RulerScaleForAZoom)
{
    const auto count = [](const std::vector<L::Mark> &m, L::Mark::Kind kind) {
        return std::count_if(m.begin(), m.end(), [&](const L::Mark &x) { return x.kind == kind; });
    };
    const std::vector<L::Mark> twelve = L::marks(7200, false);
    EXPECT_EQ(count(twelve, L::Mark::TenMinutes), 12);
    EXPECT_EQ(count(twelve, L::Mark::Minute), 120);
    EXPECT_EQ(count(twelve, L::Mark::TenSeconds), 720);
    EXPECT_EQ(twelve.front().label, "10 min");
    EXPECT_EQ(twelve[10].label, "110 min");
    // The last label starts at the picture's right edge, outside it.
    EXPECT_EQ(twelve[11].labelX, 7200);

    const std::vector<L::Mark> first = L::marks(600, true);
    ASSERT_EQ(count(first, L::Mark::TenMinutes), 1);
    EXPECT_EQ(first.front().labelX, 560);
    EXPECT_EQ(first.front().top, 15);
    EXPECT_EQ(first.back().top, 30);
}

TEST(SequencerLayout, StatusTextsAndNames)
{
    EXPECT_EQ(L::statusAfterAdd(2, 3, 4, 0), "Piste 2  piste haut= 3  nb haut= 4nombtn = 0");
    EXPECT_EQ(L::statusAfterDelete(1, 1, 0, 0), "Piste 1  piste haut= 1  nb haut= 0nb = 0");
    EXPECT_EQ(L::statusAfterPick(1, 2, 3), "Piste 1  piste haut= 2  nb haut= 3");
    EXPECT_EQ(L::statusAfterTrackFocus(1, 2, 3), "Piste 1\r  piste haut= 2\r  nb haut= 3");
    EXPECT_EQ(L::zoomLabel(12), "120 minutes");
    EXPECT_EQ(L::buttonName(2, 3), "S2___Arret_3");
    EXPECT_EQ(L::fallbackButtonName(2, 1), "Sd2   Default501");
}
