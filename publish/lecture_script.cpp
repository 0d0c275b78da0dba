#include "publish/lecture_script.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>

namespace tovra {

uint32_t InkColour(int index) {
    static const uint32_t kInk[] = {0x000000, 0xffffff, 0x808080, 0xc0c0c0, 0x840000, 0xff0000, 0x848200, 0xffff00,
                                    0x008200, 0x00ff00, 0x008284, 0x00ffff, 0x000084, 0x0000ff, 0x840084, 0xff00ff};
    return index >= 0 && index < kInkColourCount ? kInk[index] : kInk[0];
}

std::vector<long> NumbersIn(const std::string& text) {
    std::vector<long> out;
    for (std::size_t i = 0; i < text.size();) {
        const bool minus = text[i] == '-' && i + 1 < text.size() && std::isdigit(static_cast<unsigned char>(text[i + 1]));
        if (!minus && !std::isdigit(static_cast<unsigned char>(text[i]))) {
            ++i;
            continue;
        }
        std::size_t end = i + (minus ? 1 : 0);
        while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
        out.push_back(std::strtol(text.substr(i, std::min<std::size_t>(end - i, 12)).c_str(), nullptr, 10));
        i = end;
    }
    return out;
}

bool ParseTimelineCommands(const std::string& script, std::vector<TimelineCommand>& commands) {
    const std::size_t name = script.find("tovraTimeline");
    const std::size_t start = name == std::string::npos ? name : script.find('[', name);
    if (start == std::string::npos) return false;
    // The list ends at the first "]" followed by ";" that closes valid JSON (a parameter may hold "];").
    for (std::size_t end = script.find("];", start); end != std::string::npos; end = script.find("];", end + 1)) {
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(QByteArray(script.data() + start, static_cast<int>(end + 1 - start)), &error);
        if (error.error != QJsonParseError::NoError || !doc.isArray()) continue;
        commands.clear();
        for (const QJsonValue& entry : doc.array()) {
            const QJsonArray e = entry.toArray();
            if (e.size() < 3 || !e[0].isDouble() || e[0].toDouble() < 0) continue;
            commands.push_back({static_cast<uint64_t>(e[0].toDouble()), e[1].toString().toStdString(),
                                e[2].toString().toStdString()});
        }
        return true;
    }
    return false;
}

LectureScript::LectureScript(std::vector<TimelineCommand> commands) : commands_(std::move(commands)) {
    std::stable_sort(commands_.begin(), commands_.end(),
                     [](const TimelineCommand& a, const TimelineCommand& b) { return a.timeMs < b.timeMs; });
}

void LectureScript::Apply(const TimelineCommand& c) {
    if (c.type == "pages") {
        const std::vector<long> n = NumbersIn(c.parameter);
        if (n.empty() || n[0] < 1) return;
        // The ink belongs to the page it was drawn on.
        if (n[0] != scene_.page && !scene_.strokes.empty()) {
            scene_.strokes.clear();
            ++scene_.inkVersion;
        }
        scene_.page = static_cast<int>(n[0]);
        scene_.step = n.size() > 1 ? static_cast<int>(n[1]) : 0;
    } else if (c.type == "script") {
        const std::vector<long> n = NumbersIn(c.parameter);
        if (n.size() < 2) return;
        scene_.hasPointer = true;
        scene_.pointer = {static_cast<double>(n[0]), static_cast<double>(n[1])};
        scene_.pointerTimeMs = c.timeMs;
    } else if (c.type == "dpaths") {
        // "c,0,"'m x,y l x,y,x,y ...'>"": the colour, then the points after 'm.
        LectureStroke stroke;
        stroke.colour = std::atoi(c.parameter.c_str());
        if (stroke.colour < 0 || stroke.colour > 15) stroke.colour = 0;
        const std::size_t at = c.parameter.find("'m");
        if (at == std::string::npos) return;
        const std::vector<long> n = NumbersIn(c.parameter.substr(at + 2));
        for (std::size_t i = 0; i + 1 < n.size(); i += 2) stroke.points.push_back({double(n[i]), double(n[i + 1])});
        if (stroke.points.size() < 2) return;
        stroke.timeMs = c.timeMs;
        scene_.strokes.push_back(std::move(stroke));
        ++scene_.inkVersion;
    }
}

const LectureScene& LectureScript::At(uint64_t timeMs) {
    if (timeMs < last_) {
        const uint64_t version = scene_.inkVersion;
        scene_ = LectureScene{};
        scene_.inkVersion = version + 1;
        next_ = 0;
    }
    last_ = timeMs;
    while (next_ < commands_.size() && commands_[next_].timeMs <= timeMs) Apply(commands_[next_++]);
    return scene_;
}

std::vector<std::pair<uint64_t, int>> LectureScript::PageTurns() const {
    std::vector<std::pair<uint64_t, int>> turns;
    int page = 0;
    for (const TimelineCommand& c : commands_) {
        if (c.type != "pages") continue;
        const std::vector<long> n = NumbersIn(c.parameter);
        if (n.empty() || n[0] < 1 || n[0] == page) continue;
        page = static_cast<int>(n[0]);
        turns.emplace_back(c.timeMs, page);
    }
    return turns;
}

LecturePoint PositionMap::At(const LecturePoint& p) const {
    if (slide) return {left + p.x * scale, top + p.y * scaleY};
    return {left + (p.x - centreX) * scale, top + (p.y - centreY) * scale};
}

LecturePlacement::LecturePlacement(PositionSpace space, std::vector<ViewSize> views, double slideAspect)
    : space_(space), views_(std::move(views)), slideAspect_(slideAspect > 0 ? slideAspect : 4.0 / 3.0) {}

void LecturePlacement::SlideRect(int width, int height, int rect[4]) const {
    const double scale = std::min(width / slideAspect_, double(height));
    const int fw = static_cast<int>(std::lround(scale * slideAspect_)), fh = static_cast<int>(std::lround(scale));
    rect[0] = (width - fw) / 2;
    rect[1] = (height - fh) / 2;
    rect[2] = fw;
    rect[3] = fh;
}

PositionMap LecturePlacement::Map(int width, int height, uint64_t timeMs) const {
    PositionMap map;
    if (space_ == PositionSpace::Slide) {
        int r[4];
        SlideRect(width, height, r);
        map.slide = true;
        map.scale = r[2] / 720.0;
        map.scaleY = r[3] / 540.0;
        map.left = r[0];
        map.top = r[1];
        return map;
    }
    // The view's size at the time: the last one given from before it (the first one before any).
    const ViewSize* found = nullptr;
    for (const ViewSize& v : views_) {
        if (v.width > 0 && v.height > 0 && (!found || v.timeMs <= timeMs)) found = &v;
    }
    const double vw = found ? found->width : width, vh = found ? found->height : height;
    double k = std::min(0.94 * width, 1.25 * height) / std::min(0.94 * vw, 1.25 * vh);
    if (!(k > 0) || !std::isfinite(k)) k = 1;
    map.scale = map.scaleY = k;
    map.centreX = vw / 2;
    map.centreY = vh / 2;
    map.left = width / 2.0;
    map.top = height / 2.0;
    return map;
}

}  // namespace tovra
