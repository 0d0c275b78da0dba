// The bar at the left edge of the main window: camera preview above, the course's page tree below.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QWidget>
#include <vector>

#include "course/course_project.h"

class QLabel;
class QTreeWidget;
class QTreeWidgetItem;

namespace tovra {

inline constexpr int kPreviewControlId = 1001;
inline constexpr int kPageTreeControlId = 1003;
inline constexpr int kPageTreeBarId = 130;
inline constexpr int kPageNumberRole = Qt::UserRole;  // item data: page number, 0 for other items

class PageTreeBar : public QWidget {
    Q_OBJECT
public:
    static constexpr int kWidth = 162;     // pixels: the bar's width at first, and its least
    static constexpr int kMaxWidth = 640;  // pixels: the widest it can be dragged

    PageTreeBar(QWidget* parent, const QPixmap& clapper, const QIcon& courseIcon, const QIcon& pageIcon,
                const QString& fixedItemLabel);

    QTreeWidget* Tree() const { return tree_; }
    // The fixed first item's label (the interface language's "CT").
    void SetFixedItemLabel(const QString& label);
    QLabel* Preview() const { return preview_; }

    // Preview size for a client width: w = width - 2, a 4:3 picture for width w + 1.
    static QSize PreviewSize(int clientWidth);

signals:
    void PageSelected(int number);
    void TitleEdited(QTreeWidgetItem* item);
    void ContextMenuRequested(QPoint globalPos);
    void Resized();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void OnSelectionChanged();
    void OnItemChanged(QTreeWidgetItem* item);

    QLabel* preview_;
    QTreeWidget* tree_;
    QPixmap clapper_;
};

// The course item: the second top-level item, or null.
QTreeWidgetItem* CourseItem(QTreeWidget* tree);
// Deletes the course item with its pages; the fixed first item stays.
void RemoveCourseItem(QTreeWidget* tree);
// Appends the course item (label in UTF-16) at the end of the top level.
QTreeWidgetItem* AddCourseItem(QTreeWidget* tree, const QString& label);
// Appends a page item under the course item; it keeps the page's stored title bytes until its
// label is edited. A hidden slide is dimmed, with hiddenNote under its title in the tooltip.
QTreeWidgetItem* AddPageItem(QTreeWidgetItem* courseItem, const CoursePage& page, const QString& hiddenNote = {});
int PageNumberOf(const QTreeWidgetItem* item);
// The page's title as the course keeps it (UTF-8); the item shows it without control characters.
std::string PageTitleOf(const QTreeWidgetItem* item);
// A title as the tree shows it: each control character (a slide title's line break, vertical tab)
// as a blank.
QString DisplayedTitle(const QString& title);
// The first page item of the given number, or null.
QTreeWidgetItem* PageItem(QTreeWidget* tree, int number);

// The number the next added page gets: one more than the larger of pageCount and every page's number.
int NextFreePageNumber(QTreeWidget* tree, int pageCount);
// Selects the page item before (direction <= 0) or after the one of currentPage and returns its
// number; 0 when there is none. Backward from the first page item selects nothing and returns 1.
int StepPage(QTreeWidget* tree, int direction, int currentPage);
// The page items of the course item as the project file keeps them.
std::vector<CoursePage> PagesFromTree(QTreeWidget* tree);

}  // namespace tovra
