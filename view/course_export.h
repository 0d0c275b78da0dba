// Publishing the open course: the texts of the package export's outcomes, shared by the window
// and the command line.
#pragma once

#include <QString>
#include <string>

#include "course/scorm_export.h"
#include "publish/lecture_video_export.h"

namespace tovra {

// What to tell the teacher about an export to zipPath, in the interface language.
QString ScormExportMessage(const ScormExportOutcome& outcome, const std::string& zipPath);
// The same for the lecture video written to mp4Path (empty for a cancelled export).
QString VideoExportMessage(const VideoExportOutcome& outcome, const std::string& mp4Path);
// "Page N" in the interface language, for chapters of pages without a title.
std::string VideoChapterName(int page);

}  // namespace tovra
