#include <gtest/gtest.h>

#include "publish/lecture_script.h"

namespace tovra {
namespace {

std::vector<TimelineCommand> Lecture() {
    // Out of order on purpose: the script sorts by time and keeps the order of equal times.
    return {{5250, "pages", "(2,0)"},
            {250, "pages", "(1,0)"},
            {252, "script", "(200,150)"},
            {3001, "dpaths", "9,0,\"'m100,100l120,110,140,120'>\""},
            {3100, "dpaths", "5,0,\"'m7,7'>\""},  // one point: not a stroke
            {3252, "script", "(300,220)"},
            {6000, "pages", "(2,3)"},
            {7000, "pages", "(x)"}};  // no page: ignored
}

TEST(LectureScript, TheSceneFollowsTheTimelineAndAPageChangeTakesTheInk) {
    LectureScript script(Lecture());
    EXPECT_EQ(script.At(0).page, 0);
    EXPECT_FALSE(script.At(100).hasPointer);
    const LectureScene& s1 = script.At(300);
    EXPECT_EQ(s1.page, 1);
    ASSERT_TRUE(s1.hasPointer);
    EXPECT_EQ(s1.pointer.x, 200);
    EXPECT_EQ(s1.pointerTimeMs, 252u);
    const uint64_t before = script.At(3000).inkVersion;
    const LectureScene& s2 = script.At(3300);
    ASSERT_EQ(s2.strokes.size(), 1u);
    EXPECT_EQ(s2.strokes[0].colour, 9);
    ASSERT_EQ(s2.strokes[0].points.size(), 3u);
    EXPECT_EQ(s2.strokes[0].points[2].x, 140);
    EXPECT_EQ(s2.strokes[0].points[2].y, 120);
    EXPECT_GT(s2.inkVersion, before);
    EXPECT_EQ(s2.pointer.y, 220);
    const LectureScene& s3 = script.At(5250);
    EXPECT_EQ(s3.page, 2);
    EXPECT_TRUE(s3.strokes.empty());
    EXPECT_EQ(script.At(6500).step, 3);
    EXPECT_EQ(script.At(9000).page, 2);
    // Going back in time starts over, and the ink comes back with its page.
    const LectureScene& back = script.At(3500);
    EXPECT_EQ(back.page, 1);
    EXPECT_EQ(back.strokes.size(), 1u);
}

TEST(LectureScript, PageTurnsAreChangesOfPageOnly) {
    LectureScript script(Lecture());
    const auto turns = script.PageTurns();
    ASSERT_EQ(turns.size(), 2u);  // (2,3) is a step of the page on show
    EXPECT_EQ(turns[0], std::make_pair(uint64_t{250}, 1));
    EXPECT_EQ(turns[1], std::make_pair(uint64_t{5250}, 2));
}

TEST(LectureScript, TheBrowserCopysTimelineScriptIsRead) {
    std::vector<TimelineCommand> c;
    ASSERT_TRUE(ParseTimelineCommands(
        "// x\r\nvar tovraTimeline = [\r\n[250,\"pages\",\"(1,0)\"],\r\n[3001,\"dpaths\",\"9,0,\\u0022'm1,2l3,4'\\u003e\\u0022\"],\r\n"
        "[4000,\"script\",\"a];b\"]\r\n];\r\nvar tovraSpace = {kind: \"view\", sizes: [[0,932,684]]};\r\n",
        c));
    ASSERT_EQ(c.size(), 3u);
    EXPECT_EQ(c[1].timeMs, 3001u);
    EXPECT_EQ(c[1].parameter, "9,0,\"'m1,2l3,4'>\"");
    EXPECT_EQ(c[2].parameter, "a];b");
    EXPECT_FALSE(ParseTimelineCommands("var tovraSpace = {};", c));
    EXPECT_FALSE(ParseTimelineCommands("var tovraTimeline = [[1,", c));
}

TEST(LecturePlacement, PositionsLandWhereThePlayerPutsThem) {
    // Slides: 720 x 540 points on a 4:3 slide fitted into 960 x 720 fill it.
    LecturePlacement slides(PositionSpace::Slide, {});
    const PositionMap s = slides.Map(960, 720, 0);
    EXPECT_DOUBLE_EQ(s.At({360, 270}).x, 480);
    EXPECT_DOUBLE_EQ(s.At({720, 540}).y, 720);
    // A 16:9 slide in a 4:3 picture lies in a band in the middle, and its points stretch with it.
    LecturePlacement wide(PositionSpace::Slide, {}, 16.0 / 9.0);
    int r[4];
    wide.SlideRect(960, 720, r);
    EXPECT_EQ(r[0], 0);
    EXPECT_EQ(r[2], 960);
    EXPECT_EQ(r[3], 540);
    EXPECT_EQ(r[1], 90);
    EXPECT_DOUBLE_EQ(wide.Map(960, 720, 0).At({0, 540}).y, 630);
    // The view: the sheet min(94 % w, 125 % h) wide is scaled about the middle; the view's size
    // is the one given last before the time.
    LecturePlacement view(PositionSpace::View, {{0, 932, 684}, {4000, 466, 342}});
    const PositionMap v = view.Map(960, 720, 1000);
    const double k = std::min(0.94 * 960, 1.25 * 720) / std::min(0.94 * 932, 1.25 * 684);
    EXPECT_DOUBLE_EQ(v.At({466, 342}).x, 480);
    EXPECT_DOUBLE_EQ(v.At({566, 342}).x, 480 + 100 * k);
    EXPECT_DOUBLE_EQ(view.Map(960, 720, 5000).At({233 + 10, 171}).x, 480 + 10 * 2 * k);
}

}  // namespace
}  // namespace tovra
