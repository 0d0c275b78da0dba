// The course folder's web site: copying the web template into it, the page files of a blank
// course, and the page list script the player reads.
#pragma once

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "course/course_project.h"

namespace tovra {

// Copies the template of languageFolder ("<program>/ELanguage/<language>") into courseFolder:
// the player files, image/ and mvfile/, and for a blank course page 1, the page viewer and the
// start page. Existing files are overwritten; missing template files are passed over.
void CopyWebTemplate(const std::string& languageFolder, const std::string& courseFolder, bool blankCourse);

// "<courseFolder>/web.files/<number>.html"
std::string PageFilePath(const std::string& courseFolder, int number);

// Copies the page template "web.files/1.html" of languageFolder to page file `number`.
bool CopyPageTemplate(const std::string& languageFolder, const std::string& courseFolder, int number);

// "var coursePages = [{"number":1,"title":"Page 1"}, ...];" in ASCII: the UTF-8 titles are
// written as JavaScript strings with \uXXXX for everything outside printable ASCII.
// A hidden slide has "hidden":true right after its number.
std::string FormatCoursePagesScript(const std::vector<CoursePage>& pages);
// The numbers of the pages such a script marks hidden.
std::set<int> HiddenPagesOf(std::string_view script);

// Where the player looks for the page list: "<courseFolder>/web.files/CoursePages.js".
std::string CoursePagesScriptPath(const std::string& courseFolder);

// The two course details the project file has no line for, kept beside the pages so that they
// survive a restart: "var courseDetails = {"unit":"...","date":"..."};" in ASCII, as above.
struct CourseDetails {
    std::string unitName;  // UTF-8
    std::string makeDate;  // UTF-8
};
std::string FormatCourseDetailsScript(const CourseDetails& details);
// Reads what FormatCourseDetailsScript wrote; false for anything else.
bool ParseCourseDetailsScript(std::string_view script, CourseDetails& details);
// "<courseFolder>/web.files/CourseDetails.js".
std::string CourseDetailsScriptPath(const std::string& courseFolder);

// The unit and date of the head of a page index ("CourseIndex.js") that an earlier recording
// wrote, for courses made before the details had a file of their own. False when it has no head.
bool CourseDetailsFromIndex(std::string_view indexScript, CourseDetails& details);

}  // namespace tovra
