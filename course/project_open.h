// Turning a project file on disk into the course it describes, without touching the open course.
#pragma once

#include <string>

#include "course/course_project.h"

namespace tovra {

struct OpenedProject {
    enum class Outcome {
        Opened,         // project holds the course; courseLabel names its tree item
        ImportRequest,  // project holds folder, file name and deck path; the deck is to be imported
        FailedOpen,     // the file could not be read: "Failed Open: \r\n" + path
        Rejected,       // not a usable project file: "ErrFile"
        BadPath         // an import request whose path has no usable folder: the path is the message
    };
    Outcome outcome = Outcome::Rejected;
    CourseProject project;
    std::string courseLabel;  // UTF-8: the deck's file name, or the project file name without extension
};

// Splits at the last "/": folder before it, name after it. False when there is no "/" or it
// is the first character (a file in the root folder has no course folder of its own).
bool SplitCoursePath(const std::string& path, std::string& folder, std::string& name);

// Reads and interprets the project file at path (absolute, UTF-8).
OpenedProject LoadProjectFile(const std::string& path);

}  // namespace tovra
