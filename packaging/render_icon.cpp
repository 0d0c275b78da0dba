// Draws an SVG icon as a square PNG of a given size, for the icon theme's fixed sizes.
// Usage: tovra-render-icon IN.svg OUT.png SIZE
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[]) {
    if (argc != 4 || std::atoi(argv[3]) <= 0) {
        std::fprintf(stderr, "usage: tovra-render-icon IN.svg OUT.png SIZE\n");
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");  // a build machine has no display
    QGuiApplication app(argc, argv);
    QSvgRenderer svg(QString::fromLocal8Bit(argv[1]));
    if (!svg.isValid()) {
        std::fprintf(stderr, "%s: not an SVG picture\n", argv[1]);
        return 1;
    }
    const int size = std::atoi(argv[3]);
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    // Kept square and centred: an icon drawn wider than high keeps its shape.
    const QSizeF natural = svg.defaultSize();
    const double scale = size / std::max(natural.width(), natural.height());
    const QSizeF drawn = natural * scale;
    svg.render(&painter, QRectF((size - drawn.width()) / 2, (size - drawn.height()) / 2, drawn.width(), drawn.height()));
    painter.end();
    if (!image.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "%s: cannot be written\n", argv[2]);
        return 1;
    }
    return 0;
}
