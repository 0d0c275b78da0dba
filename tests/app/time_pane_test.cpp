// The time pane: a new time goes to a surface of its own over the pane, and any change of the
// pane's place falls back to drawing it as a widget, so a stale picture never stays on screen.
#include "app/time_pane.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>

#include "tests/support/qt_test_application.h"

namespace tovra {
namespace {

using testing_support::WaitUntil;

TEST(TimePane, TimesGoToItsOwnSurfaceUntilThePaneMovesOrHidesAndOtherTextsAreWidgets) {
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* pane = new TimePane(QStringLiteral("idle"), &window);
    layout->addStretch();
    layout->addWidget(pane);
    window.resize(300, 100);
    window.show();
    ASSERT_TRUE(WaitUntil([&] { return window.windowHandle() && window.windowHandle()->isExposed(); }));

    pane->ShowTime(QStringLiteral("00:00:01"));
    EXPECT_TRUE(pane->OnOwnSurface());
    EXPECT_EQ(pane->text(), QStringLiteral("00:00:01"));
    EXPECT_FALSE(pane->updatesEnabled());  // the window is not drawn again for a new time

    // The window grows: the pane moves, and it is drawn as a widget again at its new place.
    window.resize(300, 200);
    ASSERT_TRUE(WaitUntil([&] { return !pane->OnOwnSurface(); }));
    EXPECT_TRUE(pane->updatesEnabled());
    pane->ShowTime(QStringLiteral("00:00:02"));
    EXPECT_TRUE(pane->OnOwnSurface());

    pane->ShowText(QStringLiteral("idle"));
    EXPECT_FALSE(pane->OnOwnSurface());
    EXPECT_TRUE(pane->updatesEnabled());
    EXPECT_EQ(pane->text(), QStringLiteral("idle"));

    // A pane not on screen keeps its text without a surface.
    pane->hide();
    pane->ShowTime(QStringLiteral("00:00:03"));
    EXPECT_FALSE(pane->OnOwnSurface());
    EXPECT_EQ(pane->text(), QStringLiteral("00:00:03"));
}

}  // namespace
}  // namespace tovra
