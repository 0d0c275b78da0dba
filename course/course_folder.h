// The course folder's web site: copying the web template into it, the page files of a blank
// course, and the page list script the player reads.
#pragma once

#include <string>
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

// "var coursePages = [{"number":1,"title":"Page 1"}, ...];" in ASCII: titles are code-page text,
// written as JavaScript strings with \uXXXX for everything outside printable ASCII.
std::string FormatCoursePagesScript(const std::vector<CoursePage>& pages);

// Where the player looks for the page list: "<courseFolder>/web.files/CoursePages.js".
std::string CoursePagesScriptPath(const std::string& courseFolder);

}  // namespace tovra
