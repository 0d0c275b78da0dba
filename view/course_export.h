// Publishing the open course: the texts of the package export's outcomes, shared by the window
// and the command line.
#pragma once

#include <QString>
#include <string>

#include "course/scorm_export.h"

namespace tovra {

// What to tell the teacher about an export to zipPath, in the interface language.
QString ScormExportMessage(const ScormExportOutcome& outcome, const std::string& zipPath);

}  // namespace tovra
