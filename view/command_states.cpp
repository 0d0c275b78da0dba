// The view's command states.
#include "view/command_states.h"

#include "app/command_ids.h"

namespace tovra {

bool ViewCommandState(int id, const ViewCommandInputs& in, framework::CommandState& state) {
    const bool recording = in.recordState == RecordState::Recording;
    const bool stopped = in.recordState == RecordState::Stopped;
    switch (id) {
        case cmd::kPrevPage:
            state.enabled = !in.blankCourse && in.prevShown >= 0 ? in.prevShown > 0 : in.currentPage > 1;
            return true;
        case cmd::kNextPage:
            if (in.blankCourse) {
                state.enabled = in.pageCount > 0;
            } else {
                state.enabled = in.nextShown >= 0 ? in.nextShown > 0 : in.currentPage < in.pageCount;
            }
            return true;
        case cmd::kRecordStart:
        case cmd::kSetTitle:
            state.enabled = !recording && in.pageCount > 0;
            return true;
        case cmd::kRecordPause:
        case cmd::kRecordStop:
            state.enabled = recording;
            return true;
        case cmd::kSetBandwidth:
            state.enabled = stopped;
            return true;
        // The pen draws whenever a course page is on show, recording or not.
        case cmd::kPen:
            state.enabled = in.pageCount > 0 && !in.editing;
            state.checkable = true;
            state.checked = in.penOn;
            return true;
        case cmd::kEditHtml:
            state.enabled = in.pageCount != 0 && in.blankCourse;
            state.checkable = true;
            state.checked = in.editing;
            return true;
        case cmd::kAddPage:
        case cmd::kDeletePage:
            state.enabled = in.blankCourse && in.pageCount > 0;
            return true;
        case cmd::kBrowse:
            state.enabled = true;
            return true;
        // Another course is neither made nor opened while a recording runs: its index would get
        // that course's pages.
        case cmd::kFileNew:
            state.enabled = !in.deckImportPending && stopped;
            return true;
        case cmd::kFileOpen:
            state.enabled = stopped;
            return true;
        case cmd::kExportScorm:
            state.enabled = stopped && in.pageCount > 0 && !in.deckImportPending;
            return true;
        case cmd::kExportVideo:
            state.enabled = stopped && in.hasRecording && !in.deckImportPending;
            return true;
        default:
            break;
    }
    if (id >= cmd::kPenColourFirst && id <= cmd::kPenColourLast) {
        state.enabled = in.pageCount > 0 && !in.editing;
        state.checkable = true;
        state.checked = id - cmd::kPenColourFirst == in.penColourIndex;
        return true;
    }
    if (id >= cmd::kVideoSourceFirst && id <= cmd::kVideoSourceLast) {
        state.enabled = stopped;
        state.checkable = true;
        state.checked = id - cmd::kVideoSourceFirst == in.selectedDevice;
        return true;
    }
    return false;
}

}  // namespace tovra
