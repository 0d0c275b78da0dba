// A course as a learning-platform package: a SCORM 1.2 zip whose manifest names the course and
// lists the files its player plays from, written whole or not at all.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "course/course_project.h"

namespace tovra {

// The course folder's files the player needs, "/"-separated and relative, sorted: the start page
// "web.htm" and everything under "web.files". Left out: the project file and anything else beside
// the start page, hidden files and folders, the temporaries of interrupted writes ("X.js.a1B2c3"),
// and the .wmv, which browsers do not play.
std::vector<std::string> ScormPlayerFiles(const std::string& courseFolder);

enum class ScormExportFailure {
    None,
    NoPages,      // the course has no pages: nothing to publish
    NoStartPage,  // the folder has no "web.htm": the course was not made here, or was moved in part
    CannotRead,   // detail: the file that could not be read
    CannotWrite,  // detail: the archive's path; systemError or message say why
};

struct ScormExportOutcome {
    ScormExportFailure failure = ScormExportFailure::None;
    std::string detail;
    std::string message;  // what the zip writer said, when it failed
    int systemError = 0;  // its errno, when the system refused
    std::size_t files = 0;
};

// Writes the package of the course to zipPath. progress(done, total) after each file.
ScormExportOutcome ExportScormPackage(const CourseProject& course, const std::string& zipPath,
                                      const std::function<void(std::size_t done, std::size_t total)>& progress = {});

}  // namespace tovra
