// Command routing order, update decisions and the QAction bridge.
#include "platform/framework/command_router.h"

#include <QAction>
#include <QApplication>
#include <QMenu>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "tests/support/qt_test_application.h"

// The framework binary's QApplication (widgets are needed for actions and message boxes).
static ::testing::Environment* const kQtApp =
    ::testing::AddGlobalTestEnvironment(new tovra::testing_support::QtApplicationEnvironment<QApplication>);

namespace tovra::framework {
namespace {

using Log = std::vector<std::string>;

// A chain link whose command table the test fills in; it logs every call it receives.
class FakeTarget : public CommandTarget {
public:
    FakeTarget(std::string name, Log* log) : name_(std::move(name)), log_(log) {}
    std::set<int> handled;
    std::map<int, std::function<void(CommandState&)>> updaters;
    std::function<void()> beforeEach;  // runs as each call arrives
    std::vector<int> ran;

    bool OnCommand(int id) override {
        if (beforeEach) beforeEach();
        log_->push_back(name_ + ":cmd:" + std::to_string(id));
        if (!handled.count(id)) return false;
        ran.push_back(id);
        return true;
    }
    bool OnUpdateCommand(int id, CommandState& state) override {
        if (beforeEach) beforeEach();
        log_->push_back(name_ + ":upd:" + std::to_string(id));
        auto it = updaters.find(id);
        if (it == updaters.end()) return false;
        it->second(state);
        return true;
    }
    bool HandlesCommand(int id) const override { return handled.count(id) > 0; }

private:
    std::string name_;
    Log* log_;
};

class CommandRouterTest : public ::testing::Test {
protected:
    CommandRouterTest() { router.SetTargets({&view, &frame, &app}); }
    Log log;
    FakeTarget view{"view", &log}, frame{"frame", &log}, app{"app", &log};
    CommandRouter router;
};

TEST_F(CommandRouterTest, CommandsGoViewThenFrameThenApplicationAndStopAtTheFirstTaker) {
    view.handled = {1};
    frame.handled = {1, 2};
    app.handled = {2, 3};
    EXPECT_TRUE(router.Dispatch(1));
    EXPECT_TRUE(router.Dispatch(2));
    EXPECT_TRUE(router.Dispatch(3));
    EXPECT_FALSE(router.Dispatch(4));
    EXPECT_EQ(view.ran, std::vector<int>{1});
    EXPECT_EQ(frame.ran, std::vector<int>{2});
    EXPECT_EQ(app.ran, std::vector<int>{3});
    EXPECT_EQ(log, (Log{"view:cmd:1", "view:cmd:2", "frame:cmd:2", "view:cmd:3", "frame:cmd:3", "app:cmd:3",
                        "view:cmd:4", "frame:cmd:4", "app:cmd:4"}));

    router.SetTargets({nullptr, &frame, nullptr});
    EXPECT_FALSE(router.Dispatch(3)) << "null entries are skipped, and the application is gone";
    EXPECT_TRUE(router.Dispatch(1));
}

TEST_F(CommandRouterTest, FirstUpdateHandlerDecidesOtherwiseHavingAHandlerEnables) {
    view.handled = {9};
    app.handled = {5, 6};
    view.updaters[5] = [](CommandState& s) { s.enabled = false; };
    frame.updaters[5] = [](CommandState& s) { s.checked = true; };
    frame.updaters[9] = [](CommandState& s) { s.enabled = false; };
    app.updaters[11] = [](CommandState& s) {
        s.checked = true;
        s.text = QStringLiteral("Chinese");
        s.textSet = true;
    };

    const CommandState five = router.Update(5);
    EXPECT_FALSE(five.enabled);
    EXPECT_FALSE(five.checked) << "the frame's handler must not run after the view's";
    EXPECT_FALSE(router.Update(9).enabled) << "an update handler decides even where an earlier target runs the command";
    EXPECT_TRUE(router.Update(6).enabled);
    EXPECT_FALSE(router.Update(7).enabled) << "no handler anywhere: disabled";
    const CommandState eleven = router.Update(11);
    EXPECT_TRUE(eleven.enabled && eleven.checked);
    EXPECT_EQ(eleven.text, QStringLiteral("Chinese"));
    EXPECT_EQ(std::count(log.begin(), log.end(), "frame:upd:5"), 0);
}

TEST_F(CommandRouterTest, TargetRemovedWhileACommandTravelsIsNotCalled) {
    frame.handled = {4};
    app.handled = {4};
    frame.updaters[4] = [](CommandState& s) { s.enabled = false; };
    view.beforeEach = [&] { router.SetTargets({&view, &app}); };

    EXPECT_TRUE(router.Dispatch(4));
    EXPECT_TRUE(frame.ran.empty());
    EXPECT_EQ(app.ran, std::vector<int>{4});
    router.SetTargets({&view, &frame, &app});
    EXPECT_TRUE(router.Update(4).enabled) << "the removed frame's update handler must not decide";
    for (const std::string& entry : log) EXPECT_NE(entry.rfind("frame:", 0), 0u) << entry;
}

TEST_F(CommandRouterTest, OneActionPerIdWhoseTriggerDispatchesIt) {
    auto owner = std::make_unique<QObject>();
    QAction* record = router.ActionFor(32774, QStringLiteral("Record"), owner.get());
    EXPECT_EQ(router.ActionFor(32774, QStringLiteral("Other"), owner.get()), record);
    QAction* pause = router.ActionFor(32775, QStringLiteral("Pause"), owner.get());
    EXPECT_NE(record, pause);
    EXPECT_EQ(record->text(), QStringLiteral("Record"));
    EXPECT_EQ(record->parent(), owner.get());

    frame.handled = {32775};
    pause->trigger();
    EXPECT_EQ(frame.ran, std::vector<int>{32775});

    owner.reset();  // the actions die with their owner; the router must notice
    QObject second;
    QAction* fresh = router.ActionFor(32775, QStringLiteral("Pause 2"), &second);
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(fresh->text(), QStringLiteral("Pause 2"));
    router.UpdateActions();
    fresh->trigger();
    EXPECT_EQ(frame.ran, (std::vector<int>{32775, 32775}));
}

TEST_F(CommandRouterTest, UpdateActionsAppliesEnabledCheckedAndText) {
    QObject owner;
    QAction* nobody = router.ActionFor(100, QStringLiteral("Nobody"), &owner);
    QAction* plain = router.ActionFor(101, QStringLiteral("Plain"), &owner);
    QAction* language = router.ActionFor(102, QStringLiteral("Chinese"), &owner);
    view.handled = {101, 102};
    bool chinese = true;
    view.updaters[102] = [&](CommandState& s) {
        s.checked = chinese;
        s.text = QStringLiteral("Language %1").arg(chinese ? 1 : 2);
        s.textSet = true;
    };

    router.UpdateActions();
    EXPECT_FALSE(nobody->isEnabled());
    EXPECT_TRUE(plain->isEnabled());
    EXPECT_FALSE(plain->isChecked());
    EXPECT_TRUE(language->isChecked());
    EXPECT_EQ(language->text(), QStringLiteral("Language 1"));

    chinese = false;
    view.handled = {102};
    router.UpdateActions();
    EXPECT_FALSE(plain->isEnabled());
    EXPECT_FALSE(language->isChecked()) << "a check mark must also be taken away";
    EXPECT_EQ(language->text(), QStringLiteral("Language 2"));
}

TEST_F(CommandRouterTest, MenusRefreshOnOpeningAndToolbarsOnTheIdleTimer) {
    QMenu menu;
    QAction* start = router.ActionFor(200, QStringLiteral("Start"), &menu);
    router.AttachMenu(&menu);
    view.handled = {200};
    emit menu.aboutToShow();
    EXPECT_TRUE(start->isEnabled());
    view.handled.clear();
    emit menu.aboutToShow();
    EXPECT_FALSE(start->isEnabled());

    view.handled = {200};
    router.StartIdleUpdates(10);
    EXPECT_TRUE(testing_support::WaitUntil([&] { return start->isEnabled(); }, 2000));
    router.StopIdleUpdates();
    view.handled.clear();
    testing_support::WaitUntil([] { return false; }, 100);
    EXPECT_TRUE(start->isEnabled()) << "stopped idle updates must leave the state alone";
}

}  // namespace
}  // namespace tovra::framework
