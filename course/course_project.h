// The open course in memory: where it lives, where it came from, and its ordered page list.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tovra {

struct CoursePage {
    int number = 0;     // page number: file "%d.html" of a blank course, slide number of an imported one
    std::string title;  // code-page text shown in the page tree
};

struct CourseProject {
    std::string folder;             // absolute course folder, native UTF-8, no trailing "/"
    std::string projectFileName;    // project file name with ".lsn", no folder
    std::string deckPath;           // absolute path of the source deck (UTF-8); empty for a blank course
    std::string courseName;         // code-page text
    std::string teacherName;        // code-page text
    std::string unitName;           // code-page text; not stored in the project file
    std::string makeDate;           // code-page text; not stored in the project file
    std::vector<CoursePage> pages;  // display order
    int16_t pageCount = 0;          // page counter: next added page gets pageCount + 1
    int16_t currentPage = 0;        // number of the page on show; 0 = none yet
    bool deckImportPending = false;

    bool IsBlank() const { return deckPath.empty(); }
    bool IsOpen() const { return !projectFileName.empty(); }
    std::string ProjectFilePath() const { return folder + "/" + projectFileName; }
};

}  // namespace tovra
