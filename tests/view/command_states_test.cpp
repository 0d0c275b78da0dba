// The view's command states: which commands are enabled and checked in which state.
#include "view/command_states.h"

#include <gtest/gtest.h>

#include "app/command_ids.h"

namespace tovra {
namespace {

framework::CommandState StateOf(int id, const ViewCommandInputs& in) {
    framework::CommandState state;
    EXPECT_TRUE(ViewCommandState(id, in, state)) << id;
    return state;
}

TEST(ViewCommandStates, PageTurningFollowsCourseKindAndPosition) {
    ViewCommandInputs blank{.blankCourse = true, .pageCount = 3, .currentPage = 1};
    EXPECT_FALSE(StateOf(cmd::kPrevPage, blank).enabled);
    EXPECT_TRUE(StateOf(cmd::kNextPage, blank).enabled);  // a blank course asks the tree
    blank.currentPage = 3;
    EXPECT_TRUE(StateOf(cmd::kPrevPage, blank).enabled);
    EXPECT_TRUE(StateOf(cmd::kNextPage, blank).enabled);

    ViewCommandInputs imported{.blankCourse = false, .pageCount = 3, .currentPage = 3};
    EXPECT_FALSE(StateOf(cmd::kNextPage, imported).enabled);  // at the last slide
    imported.currentPage = 2;
    EXPECT_TRUE(StateOf(cmd::kNextPage, imported).enabled);
    EXPECT_FALSE(StateOf(cmd::kNextPage, ViewCommandInputs{.pageCount = 0}).enabled);
}

TEST(ViewCommandStates, PageEditingOnlyOnBlankCoursesWithPages) {
    const ViewCommandInputs blank{.blankCourse = true, .pageCount = 2, .currentPage = 1, .editing = true};
    const ViewCommandInputs imported{.blankCourse = false, .pageCount = 2, .currentPage = 1};
    const ViewCommandInputs none{};
    for (int id : {cmd::kAddPage, cmd::kDeletePage, cmd::kEditHtml}) {
        EXPECT_TRUE(StateOf(id, blank).enabled) << id;
        EXPECT_FALSE(StateOf(id, imported).enabled) << id;
        EXPECT_FALSE(StateOf(id, none).enabled) << id;
    }
    EXPECT_TRUE(StateOf(cmd::kEditHtml, blank).checked);
    EXPECT_TRUE(StateOf(cmd::kBrowse, none).enabled);
    EXPECT_TRUE(StateOf(cmd::kFileNew, none).enabled);
    EXPECT_FALSE(StateOf(cmd::kFileNew, ViewCommandInputs{.deckImportPending = true}).enabled);
}

TEST(ViewCommandStates, RecordingCommandsFollowTheRecordState) {
    ViewCommandInputs in{.pageCount = 1,
                         .currentPage = 1,
                         .recordState = RecordState::Stopped,
                         .penOn = true,
                         .penColourIndex = 5,
                         .selectedDevice = 1};
    EXPECT_TRUE(StateOf(cmd::kRecordStart, in).enabled);
    EXPECT_TRUE(StateOf(cmd::kSetTitle, in).enabled);
    EXPECT_FALSE(StateOf(cmd::kRecordStop, in).enabled);
    EXPECT_TRUE(StateOf(cmd::kPen, in).enabled);  // the pen draws while presenting too
    EXPECT_TRUE(StateOf(cmd::kPenColourFirst, in).enabled);
    EXPECT_TRUE(StateOf(cmd::kSetBandwidth, in).enabled);
    EXPECT_TRUE(StateOf(cmd::kVideoSourceFirst + 1, in).checked);
    EXPECT_FALSE(StateOf(cmd::kVideoSourceFirst, in).checked);
    EXPECT_TRUE(StateOf(cmd::kVideoSourceFirst, in).enabled);

    in.recordState = RecordState::Recording;
    EXPECT_FALSE(StateOf(cmd::kRecordStart, in).enabled);
    EXPECT_FALSE(StateOf(cmd::kSetTitle, in).enabled);
    EXPECT_TRUE(StateOf(cmd::kRecordPause, in).enabled);
    EXPECT_TRUE(StateOf(cmd::kPen, in).checked);
    EXPECT_TRUE(StateOf(cmd::kPenColourFirst + 5, in).checked);
    EXPECT_FALSE(StateOf(cmd::kPenColourFirst + 4, in).checked);
    EXPECT_FALSE(StateOf(cmd::kSetBandwidth, in).enabled);
    EXPECT_FALSE(StateOf(cmd::kVideoSourceFirst, in).enabled);

    in.recordState = RecordState::Paused;  // resume is a start
    EXPECT_TRUE(StateOf(cmd::kRecordStart, in).enabled);
    EXPECT_FALSE(StateOf(cmd::kRecordStop, in).enabled);
    EXPECT_FALSE(StateOf(cmd::kSetBandwidth, in).enabled);

    // Not while a page is in the editor, nor without a course.
    in.editing = true;
    EXPECT_FALSE(StateOf(cmd::kPen, in).enabled);
    in.editing = false;
    in.pageCount = 0;
    EXPECT_FALSE(StateOf(cmd::kPenColourFirst + 3, in).enabled);
    in.pageCount = 1;

    // No other course is made or opened until the recording is stopped, paused or not.
    for (RecordState state : {RecordState::Recording, RecordState::Paused, RecordState::Stopped}) {
        in.recordState = state;
        EXPECT_EQ(StateOf(cmd::kFileNew, in).enabled, state == RecordState::Stopped);
        EXPECT_EQ(StateOf(cmd::kFileOpen, in).enabled, state == RecordState::Stopped);
        // A package is made of a course with pages, not while a recording writes into it.
        EXPECT_EQ(StateOf(cmd::kExportScorm, in).enabled, state == RecordState::Stopped);
        // A video is made of a finished lecture only.
        in.hasRecording = true;
        EXPECT_EQ(StateOf(cmd::kExportVideo, in).enabled, state == RecordState::Stopped);
        in.hasRecording = false;
        EXPECT_FALSE(StateOf(cmd::kExportVideo, in).enabled);
    }
    in.hasRecording = true;
    in.deckImportPending = true;
    EXPECT_FALSE(StateOf(cmd::kExportVideo, in).enabled);
    in.deckImportPending = false;
    in.hasRecording = false;
    in.pageCount = 0;
    EXPECT_FALSE(StateOf(cmd::kExportScorm, in).enabled);
    in.pageCount = 1;
    in.deckImportPending = true;
    EXPECT_FALSE(StateOf(cmd::kExportScorm, in).enabled);
    in.deckImportPending = false;

    framework::CommandState other;
    EXPECT_FALSE(ViewCommandState(cmd::kAppAbout, in, other));
}

}  // namespace
}  // namespace tovra
