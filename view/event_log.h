// A line-per-event trace of what the view did, for end-to-end tests and bug reports.
// Written only when the environment variable TOVRA_EVENT_LOG names a file.
#pragma once

#include <QString>

namespace tovra {

void LogEvent(const QString& kind, const QString& detail);

}  // namespace tovra
