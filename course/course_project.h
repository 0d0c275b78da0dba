// The open course in memory: where it lives, where it came from, and its ordered page list.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tovra {

struct CoursePage {
    int number = 0;     // page number: file "%d.html" of a blank course, slide number of an imported one
    std::string title;  // UTF-8, as the page tree shows it
    // The code-page bytes the project file held for an untouched title whose decoding would not
    // give them back (bytes the code page does not define); written back instead of the title
    // while it is unchanged. Empty otherwise.
    std::string storedTitle = {};
    // A slide the show passes over (imported courses only); kept in the page list script,
    // since the project file has no place for it.
    bool hidden = false;
};

struct CourseProject {
    std::string folder;             // absolute course folder, native UTF-8, no trailing "/"
    std::string projectFileName;    // project file name with ".lsn", no folder
    std::string deckPath;           // absolute path of the source deck (UTF-8); empty for a blank course
    // The texts are UTF-8; the files they go to decide how to encode them.
    std::string courseName;
    std::string teacherName;
    std::string unitName;           // not stored in the project file
    std::string makeDate;           // not stored in the project file
    // As storedTitle of a page, for the two names the project file holds.
    std::string storedCourseName;
    std::string storedTeacherName;
    std::vector<CoursePage> pages;  // display order
    int16_t pageCount = 0;          // page counter: next added page gets pageCount + 1
    int16_t currentPage = 0;        // number of the page on show; 0 = none yet
    bool deckImportPending = false;

    bool IsBlank() const { return deckPath.empty(); }
    bool IsOpen() const { return !projectFileName.empty(); }
    std::string ProjectFilePath() const { return folder + "/" + projectFileName; }
};

}  // namespace tovra
