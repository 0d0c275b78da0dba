// The ".lsn" project file: its byte format, a tolerant reader and an atomic writer.
//
// Format: 8-bit code-page text, CR LF after every line:
//   "TVCF" / deck path or "*" / course name / lecturer / "COUNT:<n>" / "<number>:<title>" ...
// A course with a text the code page cannot hold is written in UTF-8 with a byte-order mark
// instead, so that nothing is lost; the reader takes either.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "course/course_project.h"
#include "platform/files/whole_file.h"

namespace tovra {

// Larger files are refused: no course holds anywhere near this much text.
inline constexpr std::size_t kMaxProjectFileBytes = 16u * 1024u * 1024u;

// Stands for an empty deck path, course name or lecturer: the reader drops empty lines,
// so an empty value could not be written as an empty line.
inline constexpr std::string_view kEmptyField = "*";

// The byte-order mark that makes a project file UTF-8.
inline constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

// The file's bytes for a course: in the code page when every text fits it (untouched texts with
// their stored bytes), otherwise in UTF-8 with kUtf8Mark.
std::string FormatProjectFile(const CourseProject& project);

// Splits at every CR and LF and drops the empty pieces.
std::vector<std::string_view> SplitProjectLines(std::string_view bytes);

// atoi semantics: optional sign and leading digits; 0 when there are none. Never overflows.
int LeadingNumber(std::string_view text);

struct ProjectFileContent {
    enum class Kind {
        Course,         // a full project file
        ImportRequest,  // only the magic line and a deck path: import that deck
        Rejected        // not a project file ("ErrFile")
    };
    Kind kind = Kind::Rejected;
    bool utf8 = false;     // the file was UTF-8 (it began with kUtf8Mark)
    std::string deckPath;  // UTF-8; empty for a blank course ("*")
    std::string courseName;   // UTF-8
    std::string teacherName;  // UTF-8
    std::string storedCourseName;  // as CourseProject's
    std::string storedTeacherName;
    int16_t pageCount = 0;
    std::vector<CoursePage> pages;
};

// Parses a project file's bytes; never throws, whatever the bytes. Texts come back in UTF-8,
// with the bytes of those whose decoding loses something kept as their stored form.
ProjectFileContent ParseProjectFile(std::string_view bytes);

}  // namespace tovra
