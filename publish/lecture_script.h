// What a recorded lecture shows at each moment, from its script commands: the page and step, the
// pointer, and the ink drawn on the page; and where a recorded position lies in a picture of the
// page. The same reading as the course player's, so a video shows what a student sees there.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "media/companion_writer.h"

namespace tovra {

struct LecturePoint {
    double x = 0;
    double y = 0;
};

struct LectureStroke {
    int colour = 0;  // index into the pen's colours
    std::vector<LecturePoint> points;
    uint64_t timeMs = 0;
};

struct LectureScene {
    int page = 0;  // 0 before the first turn
    int step = 0;
    bool hasPointer = false;
    LecturePoint pointer;
    uint64_t pointerTimeMs = 0;
    std::vector<LectureStroke> strokes;  // on the page on show; a turn to another page clears them
    uint64_t inkVersion = 0;             // changes whenever strokes do
};

// The pen's colours as 0xRRGGBB, by the index the recording stores (black out of range). The
// dark shades are 132 and 130, not 128: lines drawn by earlier versions keep their colours.
constexpr int kInkColourCount = 16;
uint32_t InkColour(int index);

// The numbers in a command's parameter, in order ("(2,0)" gives 2, 0).
std::vector<long> NumbersIn(const std::string& text);

// The commands of a timeline script ("var tovraTimeline = [[time, type, parameter], ...];"), as
// the browser copy of a recording has them; false when the script holds no such list.
bool ParseTimelineCommands(const std::string& script, std::vector<TimelineCommand>& commands);

class LectureScript {
public:
    explicit LectureScript(std::vector<TimelineCommand> commands);

    // The scene at timeMs. Times only move forward between calls; an earlier time starts over.
    const LectureScene& At(uint64_t timeMs);
    // Each change of the page on show: (time, page), in order.
    std::vector<std::pair<uint64_t, int>> PageTurns() const;

private:
    void Apply(const TimelineCommand& c);

    std::vector<TimelineCommand> commands_;
    std::size_t next_ = 0;
    uint64_t last_ = 0;
    LectureScene scene_;
};

// A function from recorded positions to pixels of a w × h picture of the page: slide points on the
// slide fitted into it, or the view's pixels scaled about the middle as the blank pages lay out
// their 4:3 sheet (min(94 % of the width, 125 % of the height) wide).
struct PositionMap {
    double scale = 1;   // of a recorded pixel, across
    double scaleY = 1;  // down (slides whose shape is not 4:3 stretch their 720 x 540 points)
    double left = 0;
    double top = 0;
    double centreX = 0;  // view space: the view's middle
    double centreY = 0;
    bool slide = false;
    LecturePoint At(const LecturePoint& p) const;
};

class LecturePlacement {
public:
    LecturePlacement(PositionSpace space, std::vector<ViewSize> views, double slideAspect = 4.0 / 3.0);
    PositionMap Map(int width, int height, uint64_t timeMs) const;
    // Where the slide lies in a w × h picture (slide space): x, y, width, height.
    void SlideRect(int width, int height, int rect[4]) const;
    PositionSpace Space() const { return space_; }

private:
    PositionSpace space_;
    std::vector<ViewSize> views_;
    double slideAspect_;
};

}  // namespace tovra
