// The pen: its sixteen colours, finished strokes, their script command, slide coordinates, and
// the transparent layer above the page that draws them.
#pragma once

#include <QColor>
#include <QPoint>
#include <QSize>
#include <QWidget>
#include <string>
#include <vector>

namespace tovra {

// The pen colour table, indexed by command - cmd::kPenColourFirst. Out of range: an invalid colour.
int PenColourCount();
QColor PenColour(int index);

inline constexpr int kMaxStrokePoints = 499;
inline constexpr int kSlideWidth = 720;  // the slide space pages and commands of imported courses use
inline constexpr int kSlideHeight = 540;

struct StrokeRecord {
    int32_t colourIndex = 0;
    std::vector<QPoint> points;  // slide coordinates for an imported course, view pixels otherwise
};

// "dpaths,<colour>,0," then a double quote, "'m<x1>,<y1>l<x2>,<y2>" and ",<x>,<y>" for each further
// point, "'>" and a double quote. points holds at least two points.
std::string DpathsCommand(int colourIndex, const std::vector<QPoint>& points);

// View pixels to the 720 x 540 slide space and back, with integer division.
QPoint ToSlide(QPoint p, QSize client);
QPoint FromSlide(QPoint p, QSize client);

// Lies over the browser and draws the finished strokes and the one being drawn; never takes mouse
// input, so the pen's mouse events reach the view's input filter through the page as all others do.
class PenOverlay : public QWidget {
public:
    explicit PenOverlay(QWidget* parent);
    // The strokes to draw (owned by the view) and whether they are in slide coordinates.
    void SetStrokes(const std::vector<StrokeRecord>* strokes, bool slideSpace);
    // The stroke being drawn, in view pixels.
    void BeginStroke(QPoint at, const QColor& colour);
    void ExtendStroke(QPoint to);
    void EndStroke();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const std::vector<StrokeRecord>* strokes_ = nullptr;
    bool slideSpace_ = false;
    std::vector<QPoint> current_;
    QColor currentColour_;
};

// The pen cursor: a pencil whose tip is the hot spot.
QCursor PenCursor();

}  // namespace tovra
