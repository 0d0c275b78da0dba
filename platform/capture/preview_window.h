// The camera preview as widgets: a presenter for the capture graph's video window that shows the
// latest frame inside a widget of the program.
#pragma once

#include <memory>

#include "platform/capture/capture_graph.h"

namespace tovra::capture {

// A presenter whose window is a child widget of its owner (which must be a QWidget).
std::unique_ptr<PreviewPresenter> MakeWidgetPreview(std::shared_ptr<PreviewFrame> frame);

}  // namespace tovra::capture
