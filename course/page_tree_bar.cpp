// Page tree bar: layout, the tree's items and what the tree reports.
#include "course/page_tree_bar.h"

#include <QHeaderView>
#include <algorithm>
#include <QLabel>
#include <QResizeEvent>
#include <QSignalBlocker>
#include <QTreeWidget>


namespace tovra {
namespace {

constexpr char kPageIconProperty[] = "pageIcon";
constexpr char kCourseIconProperty[] = "courseIcon";
constexpr int kLabelRole = Qt::UserRole + 1;        // label before an edit, to put back a refused one
constexpr int kStoredTitleRole = Qt::UserRole + 2;  // CoursePage::storedTitle, until the label is edited
constexpr int kTitleRole = Qt::UserRole + 3;        // the title as the course keeps it
constexpr int kHiddenRole = Qt::UserRole + 4;       // CoursePage::hidden

}  // namespace

PageTreeBar::PageTreeBar(QWidget* parent, const QPixmap& clapper, const QIcon& courseIcon, const QIcon& pageIcon,
                         const QString& fixedItemLabel)
    : QWidget(parent), preview_(new QLabel(this)), tree_(new QTreeWidget(this)), clapper_(clapper) {
    setObjectName(QStringLiteral("PageTreeBar"));
    setProperty("controlId", kPageTreeBarId);
    // Widened by dragging its edge, for long titles; never narrower than at first.
    setMinimumWidth(kWidth);
    setMaximumWidth(kMaxWidth);

    preview_->setProperty("controlId", kPreviewControlId);
    preview_->setAlignment(Qt::AlignCenter);
    preview_->setPixmap(clapper);
    preview_->setAutoFillBackground(true);
    QPalette dark = preview_->palette();
    dark.setColor(QPalette::Window, QColor(0x20, 0x24, 0x2a));
    preview_->setPalette(dark);

    tree_->setProperty("controlId", kPageTreeControlId);
    tree_->setProperty(kPageIconProperty, pageIcon);
    tree_->setProperty(kCourseIconProperty, courseIcon);
    tree_->setHeaderHidden(true);
    tree_->setRootIsDecorated(true);
    tree_->setIconSize(QSize(16, 16));
    tree_->setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    tree_->setSelectionMode(QAbstractItemView::SingleSelection);
    tree_->setContextMenuPolicy(Qt::CustomContextMenu);
    tree_->setFrameShape(QFrame::NoFrame);

    auto* fixed = new QTreeWidgetItem(tree_, QStringList{fixedItemLabel});
    fixed->setIcon(0, courseIcon);
    fixed->setData(0, kPageNumberRole, 0);
    fixed->setData(0, kLabelRole, fixedItemLabel);

    connect(tree_, &QTreeWidget::itemSelectionChanged, this, &PageTreeBar::OnSelectionChanged);
    connect(tree_, &QTreeWidget::itemChanged, this, &PageTreeBar::OnItemChanged);
    connect(tree_, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        if (QTreeWidgetItem* hit = tree_->itemAt(pos)) tree_->setCurrentItem(hit);
        emit ContextMenuRequested(tree_->viewport()->mapToGlobal(pos));
    });
}

void PageTreeBar::SetFixedItemLabel(const QString& label) {
    QTreeWidgetItem* fixed = tree_->topLevelItemCount() > 0 ? tree_->topLevelItem(0) : nullptr;
    if (!fixed) return;
    const QSignalBlocker block(tree_);
    fixed->setText(0, label);
    fixed->setData(0, kLabelRole, label);
}

QSize PageTreeBar::PreviewSize(int clientWidth) {
    const int w = clientWidth - 2;
    return QSize(w, (3 * w + 3) / 4);
}

void PageTreeBar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const QSize picture = PreviewSize(event->size().width());
    preview_->setGeometry(0, 0, picture.width(), picture.height());
    // The clapper stands centred with a margin until the camera draws here.
    const int side = std::min(picture.width(), picture.height()) * 9 / 10;
    if (side > 0 && !clapper_.isNull()) {
        preview_->setPixmap(clapper_.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    }
    if (picture.height() > 0) {
        tree_->setGeometry(0, picture.height(), picture.width(), event->size().height() - picture.height());
    }
    emit Resized();
}

void PageTreeBar::OnSelectionChanged() {
    const QList<QTreeWidgetItem*> selected = tree_->selectedItems();
    if (selected.isEmpty()) return;
    QTreeWidgetItem* item = selected.first();
    const int number = PageNumberOf(item);
    // Only page items turn the page; the fixed item and the course item carry 0.
    if (item->childCount() == 0 && number > 0) emit PageSelected(number);
}

void PageTreeBar::OnItemChanged(QTreeWidgetItem* item) {
    const QString before = item->data(0, kLabelRole).toString();
    if (item->text(0) == before) return;
    if (!item->parent()) {
        // Top-level labels are not the user's to change.
        const QSignalBlocker block(tree_);
        item->setText(0, before);
        return;
    }
    {
        const QSignalBlocker block(tree_);
        item->setData(0, kLabelRole, item->text(0));
        item->setData(0, kTitleRole, item->text(0));
        item->setData(0, kStoredTitleRole, QVariant());
        item->setToolTip(0, item->text(0));
    }
    emit TitleEdited(item);
}

QTreeWidgetItem* CourseItem(QTreeWidget* tree) {
    return tree && tree->topLevelItemCount() >= 2 ? tree->topLevelItem(1) : nullptr;
}

void RemoveCourseItem(QTreeWidget* tree) {
    if (QTreeWidgetItem* course = CourseItem(tree)) delete course;
}

QTreeWidgetItem* AddCourseItem(QTreeWidget* tree, const QString& label) {
    const QSignalBlocker block(tree);
    auto* item = new QTreeWidgetItem(tree, QStringList{label});
    item->setIcon(0, tree->property(kCourseIconProperty).value<QIcon>());
    item->setData(0, kPageNumberRole, 0);
    item->setData(0, kLabelRole, label);
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    return item;
}

QTreeWidgetItem* AddPageItem(QTreeWidgetItem* courseItem, const CoursePage& page, const QString& hiddenNote) {
    QTreeWidget* tree = courseItem->treeWidget();
    const QSignalBlocker block(tree);
    const QString title = QString::fromStdString(page.title);
    const QString shown = DisplayedTitle(title);
    auto* item = new QTreeWidgetItem(courseItem, QStringList{shown});
    if (tree) item->setIcon(0, tree->property(kPageIconProperty).value<QIcon>());
    item->setData(0, kPageNumberRole, page.number);
    item->setData(0, kLabelRole, shown);
    item->setData(0, kTitleRole, title);
    // A title the bar is too narrow for shows whole here.
    item->setToolTip(0, shown);
    if (page.hidden) {
        // As a slide sorter shows a hidden slide: dimmed, and said so where the title is read whole.
        item->setData(0, kHiddenRole, true);
        QFont font = item->font(0);
        font.setItalic(true);
        item->setFont(0, font);
        if (tree) item->setForeground(0, tree->palette().brush(QPalette::Disabled, QPalette::Text));
        if (!hiddenNote.isEmpty()) item->setToolTip(0, shown + QLatin1Char('\n') + hiddenNote);
    }
    if (!page.storedTitle.empty()) item->setData(0, kStoredTitleRole, QByteArray::fromStdString(page.storedTitle));
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    return item;
}

int PageNumberOf(const QTreeWidgetItem* item) { return item ? item->data(0, kPageNumberRole).toInt() : 0; }

QString DisplayedTitle(const QString& title) {
    QString shown = title;
    for (QChar& c : shown) {
        if (c.category() == QChar::Other_Control) c = QLatin1Char(' ');
    }
    return shown;
}

std::string PageTitleOf(const QTreeWidgetItem* item) {
    if (!item) return {};
    // Edited since it was made (outside the bar, a test may set the text itself): the text is the title.
    const QVariant title = item->data(0, kTitleRole);
    if (!title.isValid() || item->text(0) != DisplayedTitle(title.toString())) return item->text(0).toStdString();
    return title.toString().toStdString();
}

}  // namespace tovra

namespace tovra {

int NextFreePageNumber(QTreeWidget* tree, int pageCount) {
    int largest = pageCount;
    if (QTreeWidgetItem* course = CourseItem(tree)) {
        for (int i = 0; i < course->childCount(); ++i) largest = std::max(largest, PageNumberOf(course->child(i)));
    }
    return largest + 1;
}

int StepPage(QTreeWidget* tree, int direction, int currentPage) {
    QTreeWidgetItem* course = CourseItem(tree);
    if (!course) return 0;
    int previousNumber = 1;
    for (int i = 0; i < course->childCount(); ++i) {
        QTreeWidgetItem* item = course->child(i);
        const int number = PageNumberOf(item);
        if (number != currentPage) {
            previousNumber = number;
            continue;
        }
        if (direction > 0) {
            if (i + 1 >= course->childCount()) return 0;
            QTreeWidgetItem* next = course->child(i + 1);
            tree->setCurrentItem(next);
            return PageNumberOf(next);
        }
        // Backward from the first page selects nothing and names page 1.
        if (i > 0) tree->setCurrentItem(course->child(i - 1));
        return previousNumber;
    }
    return 0;
}

std::vector<CoursePage> PagesFromTree(QTreeWidget* tree) {
    std::vector<CoursePage> pages;
    if (QTreeWidgetItem* course = CourseItem(tree)) {
        for (int i = 0; i < course->childCount(); ++i) {
            QTreeWidgetItem* item = course->child(i);
            pages.push_back({PageNumberOf(item), PageTitleOf(item),
                             item->data(0, kStoredTitleRole).toByteArray().toStdString(),
                             item->data(0, kHiddenRole).toBool()});
        }
    }
    return pages;
}

QTreeWidgetItem* PageItem(QTreeWidget* tree, int number) {
    QTreeWidgetItem* course = CourseItem(tree);
    for (int i = 0; course && i < course->childCount(); ++i) {
        if (PageNumberOf(course->child(i)) == number) return course->child(i);
    }
    return nullptr;
}

}  // namespace tovra
