// Toolbar and page tree pictures: desktop theme first, the program's own SVGs otherwise.
#include "app/toolbar_icons.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <array>

#include "app/command_ids.h"

namespace tovra {
namespace {

QString& IconFolderOverride() {
    static QString folder;
    return folder;
}

struct ToolbarPicture {
    int commandId;
    const char* file;                  // in IconFolder()
    std::array<const char*, 2> theme;  // freedesktop names, best first; nullptr ends the list
};

// Names from the freedesktop icon naming specification where it has one; the pen has none there,
// "draw-freehand" is what the KDE themes call it.
constexpr std::array<ToolbarPicture, 11> kToolbarPictures{{
    {cmd::kFileNew, "toolbar-new.svg", {"document-new", nullptr}},
    {cmd::kFileOpen, "toolbar-open.svg", {"document-open", nullptr}},
    {cmd::kFileSave, "toolbar-save.svg", {"document-save", nullptr}},
    {cmd::kEditHtml, "toolbar-edit-html.svg", {"document-edit", "accessories-text-editor"}},
    {cmd::kPrevPage, "toolbar-previous.svg", {"go-previous", nullptr}},
    {cmd::kNextPage, "toolbar-next.svg", {"go-next", nullptr}},
    {cmd::kRecordStart, "toolbar-record.svg", {"media-record", nullptr}},
    {cmd::kRecordPause, "toolbar-pause.svg", {"media-playback-pause", nullptr}},
    {cmd::kRecordStop, "toolbar-stop.svg", {"media-playback-stop", nullptr}},
    {cmd::kPen, "toolbar-pen.svg", {"draw-freehand", nullptr}},
    {cmd::kAppAbout, "toolbar-about.svg", {"help-about", nullptr}},
}};

const ToolbarPicture* FindToolbarPicture(int commandId) {
    for (const ToolbarPicture& picture : kToolbarPictures) {
        if (picture.commandId == commandId) return &picture;
    }
    return nullptr;
}

QIcon SvgIcon(const QString& fileName) {
    const QString path = IconFolder() + QLatin1Char('/') + fileName;
    if (!QFileInfo::exists(path)) return {};
    return QIcon(path);
}

// hasThemeIcon, not fromTheme alone: fromTheme falls back to the name cut at its last dash, which
// would put a generic "media" or "document" picture on a specific button.
QIcon ThemeOr(const std::array<const char*, 2>& names, const QString& fallbackFile) {
    for (const char* name : names) {
        if (name == nullptr) break;
        const QString themeName = QString::fromLatin1(name);
        if (QIcon::hasThemeIcon(themeName)) return QIcon::fromTheme(themeName);
    }
    return SvgIcon(fallbackFile);
}

QPixmap RenderSwatch(const QColor& colour, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    const qreal unit = size / 20.0;  // drawn on a 20-pixel grid
    const qreal border = unit;
    const QRectF square(3 * unit + border / 2, 3 * unit + border / 2, 14 * unit - border, 14 * unit - border);
    // Light colours get a dark rim for light toolbars, dark colours a light rim for dark toolbars.
    const bool light = qGray(colour.rgb()) >= 140;
    const QColor rim = light ? QColor(0, 0, 0, 140) : QColor(255, 255, 255, 170);

    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(rim, border));
    painter.setBrush(colour);
    painter.drawRoundedRect(square, 3 * unit, 3 * unit);
    return pixmap;
}

}  // namespace

QString IconFolder() {
    if (!IconFolderOverride().isEmpty()) return IconFolderOverride();
    return QCoreApplication::applicationDirPath() + QStringLiteral("/icons");
}

void SetIconFolderForTesting(const QString& folder) { IconFolderOverride() = folder; }

QString ToolbarIconFile(int commandId) {
    const ToolbarPicture* picture = FindToolbarPicture(commandId);
    if (picture == nullptr) return {};
    return IconFolder() + QLatin1Char('/') + QLatin1String(picture->file);
}

QIcon ToolbarIcon(int commandId) {
    if (commandId >= cmd::kPenColourFirst && commandId <= cmd::kPenColourLast) {
        return ColourSwatchIcon(PenColour(commandId - cmd::kPenColourFirst));
    }
    const ToolbarPicture* picture = FindToolbarPicture(commandId);
    if (picture == nullptr) return {};
    return ThemeOr(picture->theme, QLatin1String(picture->file));
}

QIcon ColourSwatchIcon(const QColor& colour) {
    QIcon icon;
    // The colour shows also while the button is disabled: a grey swatch would name no colour.
    for (QIcon::Mode mode : {QIcon::Normal, QIcon::Disabled}) {
        icon.addPixmap(RenderSwatch(colour, 20), mode);
        icon.addPixmap(RenderSwatch(colour, 40), mode);  // for scale factor 2
    }
    return icon;
}

// The tree keeps the program's own pair: the two must be told apart at 16 pixels, and no theme
// name stands for "a page of a course".
QIcon TreeIcon(int index) {
    switch (index) {
        case kTreeImageCourse:
            return SvgIcon(QStringLiteral("course.svg"));
        case kTreeImagePage:
            return SvgIcon(QStringLiteral("page.svg"));
        default:
            return {};
    }
}

QPixmap ClapperPicture(int size) {
    const QIcon icon = SvgIcon(QStringLiteral("clapper.svg"));
    if (icon.isNull() || size <= 0) return {};
    return icon.pixmap(QSize(size, size));
}

}  // namespace tovra
