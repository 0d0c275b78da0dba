// The page tree's walks: the next free page number, stepping to a neighbouring page, the page list.
#include "course/page_tree_bar.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTreeWidget>

#include "tests/support/qt_test_application.h"

static ::testing::Environment* const kQtApp =
    ::testing::AddGlobalTestEnvironment(new tovra::testing_support::QtApplicationEnvironment<QApplication>);

namespace tovra {
namespace {

// The fixed item, then a course item with pages of the given numbers titled "P<n>".
class PageTree : public ::testing::Test {
protected:
    void Fill(std::initializer_list<int> numbers) {
        new QTreeWidgetItem(&tree, QStringList{QStringLiteral("Courses")});
        course = AddCourseItem(&tree, QStringLiteral("Lesson1"));
        for (int n : numbers) AddPageItem(course, {n, "P" + std::to_string(n)});
        QObject::connect(&tree, &QTreeWidget::itemSelectionChanged, [this] { ++selectionChanges; });
    }
    int Selected() { return tree.currentItem() ? PageNumberOf(tree.currentItem()) : -1; }

    QTreeWidget tree;
    QTreeWidgetItem* course = nullptr;
    int selectionChanges = 0;
};

TEST_F(PageTree, NextFreeNumberIsAboveTheCounterAndEveryPage) {
    EXPECT_EQ(NextFreePageNumber(nullptr, 3), 4);
    Fill({5, 9});
    EXPECT_EQ(NextFreePageNumber(&tree, 1), 10);   // a file with COUNT:1 and pages 5 and 9
    EXPECT_EQ(NextFreePageNumber(&tree, 12), 13);  // the counter covers deleted pages
    delete course->child(1);
    EXPECT_EQ(NextFreePageNumber(&tree, 3), 6);
}

TEST_F(PageTree, StepSelectsTheNeighbourAndReturnsItsNumber) {
    EXPECT_EQ(StepPage(&tree, 1, 1), 0);  // no course item
    Fill({1, 4, 7});
    tree.setCurrentItem(course->child(1));
    selectionChanges = 0;

    EXPECT_EQ(StepPage(&tree, 1, 4), 7);
    EXPECT_EQ(Selected(), 7);
    EXPECT_EQ(selectionChanges, 1);       // the tree's selection handler runs, as it turns the page
    EXPECT_EQ(StepPage(&tree, 1, 7), 0);  // forward from the last page
    EXPECT_EQ(Selected(), 7);

    EXPECT_EQ(StepPage(&tree, -1, 4), 1);  // backward from the second page
    EXPECT_EQ(Selected(), 1);
    tree.setCurrentItem(course->child(2));
    EXPECT_EQ(StepPage(&tree, -1, 1), 1);  // backward from the first: nothing selected, names page 1
    EXPECT_EQ(Selected(), 7);
    EXPECT_EQ(StepPage(&tree, 1, 5), 0);  // no item carries the current page
}

TEST_F(PageTree, PageListFollowsTheTreeAndKeepsStoredTitles) {
    Fill({2, 3});
    AddPageItem(course, {4, "Gr\xEF\xBF\xBD" "e", "Gr\x81" "e"});  // a byte the code page lacks
    course->child(0)->setText(0, QStringLiteral("第一页 Größe"));
    const std::vector<CoursePage> pages = PagesFromTree(&tree);
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_EQ(pages[0].number, 2);
    EXPECT_EQ(pages[0].title, "第一页 Größe");
    EXPECT_EQ(pages[1].title, "P3");
    EXPECT_EQ(pages[2].storedTitle, "Gr\x81" "e");
    EXPECT_EQ(PageItem(&tree, 3), course->child(1));
    EXPECT_EQ(PageItem(&tree, 9), nullptr);
}

}  // namespace
}  // namespace tovra
