// The pen: its colours, strokes and cursor, the overlay that draws them, and the view's pen
// commands and mouse handling.
#include "view/pen.h"

#include <QCursor>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <array>

#include "publish/lecture_script.h"

#include "platform/browser/browser_control.h"
#include "view/mirova_view.h"

namespace tovra {

namespace {


QPen StrokePen(const QColor& colour) {
    QPen pen(colour, 2);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

}  // namespace

int PenColourCount() { return kInkColourCount; }

QColor PenColour(int index) {
    if (index < 0 || index >= PenColourCount()) return {};
    return QColor(static_cast<QRgb>(InkColour(index)));
}

std::string DpathsCommand(int colourIndex, const std::vector<QPoint>& points) {
    std::string text = "dpaths," + std::to_string(colourIndex) + ",0,\"'m";
    text += std::to_string(points[0].x()) + "," + std::to_string(points[0].y()) + "l" + std::to_string(points[1].x()) +
            "," + std::to_string(points[1].y());
    for (size_t i = 2; i < points.size(); ++i) {
        text += "," + std::to_string(points[i].x()) + "," + std::to_string(points[i].y());
    }
    text += "'>\"";
    return text;
}

QPoint ToSlide(QPoint p, QSize client) {
    if (client.width() <= 0 || client.height() <= 0) return p;
    return {p.x() * kSlideWidth / client.width(), p.y() * kSlideHeight / client.height()};
}

QPoint FromSlide(QPoint p, QSize client) {
    return {p.x() * client.width() / kSlideWidth, p.y() * client.height() / kSlideHeight};
}

PenOverlay::PenOverlay(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_TranslucentBackground);
    setFocusPolicy(Qt::NoFocus);
}

void PenOverlay::SetStrokes(const std::vector<StrokeRecord>* strokes, bool slideSpace) {
    strokes_ = strokes;
    slideSpace_ = slideSpace;
    update();
}

void PenOverlay::BeginStroke(QPoint at, const QColor& colour) {
    current_.assign(1, at);
    currentColour_ = colour;
}

void PenOverlay::ExtendStroke(QPoint to) {
    const QPoint from = current_.empty() ? to : current_.back();
    current_.push_back(to);
    // Only the new segment is drawn again.
    update(QRect(from, to).normalized().adjusted(-3, -3, 3, 3));
}

void PenOverlay::EndStroke() { current_.clear(); }

void PenOverlay::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    auto drawLine = [&painter](const std::vector<QPoint>& points) {
        if (points.size() < 2) return;
        QPainterPath path(points[0]);
        for (size_t i = 1; i < points.size(); ++i) path.lineTo(points[i]);
        painter.drawPath(path);
    };
    if (strokes_) {
        for (const StrokeRecord& stroke : *strokes_) {
            painter.setPen(StrokePen(PenColour(stroke.colourIndex)));
            if (!slideSpace_) {
                drawLine(stroke.points);
                continue;
            }
            std::vector<QPoint> onScreen;
            onScreen.reserve(stroke.points.size());
            for (QPoint p : stroke.points) onScreen.push_back(FromSlide(p, size()));
            drawLine(onScreen);
        }
    }
    painter.setPen(StrokePen(currentColour_));
    drawLine(current_);
}

QCursor PenCursor() {
    // A slanted pencil drawn at 32 x 32; its tip at the lower left is the hot spot.
    QPixmap picture(32, 32);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(3, 29);
    painter.rotate(-45);
    painter.setPen(QPen(QColor(30, 30, 30), 1.2));
    painter.setBrush(QColor(250, 204, 60));
    painter.drawRect(QRectF(7, -3.5, 20, 7));
    painter.setBrush(QColor(236, 130, 150));
    painter.drawRect(QRectF(27, -3.5, 5, 7));
    painter.setBrush(QColor(240, 220, 180));
    QPolygonF tip;
    tip << QPointF(0, 0) << QPointF(7, -3.5) << QPointF(7, 3.5);
    painter.drawPolygon(tip);
    painter.setBrush(QColor(30, 30, 30));
    QPolygonF lead;
    lead << QPointF(0, 0) << QPointF(2.5, -1.25) << QPointF(2.5, 1.25);
    painter.drawPolygon(lead);
    painter.end();
    return QCursor(picture, 3, 29);
}

// ---- the view's pen ----

void CMirovaView::OnPen() {
    penOn_ = !penOn_;
    if (QWidget* input = browser_->InputWidget()) {
        if (penOn_) {
            input->setCursor(PenCursor());
        } else {
            input->unsetCursor();
        }
    }
}

void CMirovaView::OnPenColour(int index) {
    if (index < 0 || index >= PenColourCount()) return;
    penColourIndex_ = index;
}

void CMirovaView::ClearStrokes() {
    strokes_.clear();
    overlay_->SetStrokes(&strokes_, !course_.IsBlank());
}

QPoint CMirovaView::StoredPoint(QPoint p) const { return course_.IsBlank() ? p : ToSlide(p, size()); }

bool CMirovaView::PenMouseEvent(QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseMove && type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease) {
        return false;
    }
    auto* mouse = static_cast<QMouseEvent*>(event);
    const QPoint at = mapFromGlobal(mouse->globalPosition().toPoint());
    if (type == QEvent::MouseMove && penOn_) {
        if (!(mouse->buttons() & Qt::LeftButton)) {
            if (QWidget* input = browser_->InputWidget()) input->setCursor(PenCursor());
            return true;
        }
        if (static_cast<int>(strokePoints_.size()) >= kMaxStrokePoints) return true;
        if (at.x() >= 2048 || at.y() < 0 || at.y() > 2048) return true;
        overlay_->ExtendStroke(at);
        penLast_ = at;
        strokePoints_.push_back(StoredPoint(at));
        return true;
    }
    if (mouse->button() != Qt::LeftButton) return false;
    // The pen draws over the page while presenting too; only a recording keeps the strokes.
    if (type == QEvent::MouseButtonPress && penOn_) {
        penLast_ = at;
        overlay_->BeginStroke(at, PenColour(penColourIndex_));
        if (static_cast<int>(strokePoints_.size()) < kMaxStrokePoints) strokePoints_.push_back(StoredPoint(at));
        return true;
    }
    if (type == QEvent::MouseButtonRelease && penOn_) {
        overlay_->EndStroke();
        if (strokePoints_.size() <= 1) {
            strokePoints_.clear();
            overlay_->update();
            return true;
        }
        strokes_.push_back({penColourIndex_, strokePoints_});
        const std::string command = DpathsCommand(penColourIndex_, strokePoints_);
        strokePoints_.clear();
        overlay_->SetStrokes(&strokes_, !course_.IsBlank());
        session_.OnStroke(command);
        return true;
    }
    return false;
}

}  // namespace tovra
