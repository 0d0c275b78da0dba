// Which of the view's commands are enabled and checked, from the view's state alone.
#pragma once

#include "media/recording_session.h"
#include <cstdint>

#include "platform/framework/command_router.h"

namespace tovra {

// The recording session's state, as the commands see it.
using RecordState = SessionState;

struct ViewCommandInputs {
    bool blankCourse = true;  // deck path empty
    int16_t pageCount = 0;
    int16_t currentPage = 0;
    // An imported course's neighbours a show reaches (0: none); -1 takes the neighbours by number.
    int16_t prevShown = -1;
    int16_t nextShown = -1;
    RecordState recordState = RecordState::Stopped;
    bool editing = false;
    bool deckImportPending = false;
    bool hasRecording = false;  // the course has a finished lecture
    bool penOn = false;
    int penColourIndex = 5;   // index into the sixteen pen colours
    int selectedDevice = -1;  // camera index, -1 for none
};

// Fills state for a command of the view's table and returns true; false for other commands.
bool ViewCommandState(int id, const ViewCommandInputs& in, framework::CommandState& state);

}  // namespace tovra
