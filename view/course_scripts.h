// The two scripts a recording leaves beside the pages for the player: the page index
// "CourseIndex.js" and the course title "info.js". Both files are code-page text; the texts
// given to these functions are UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tovra {

// A UTF-8 text as the inside of a JavaScript string in quotes of a code-page script, escaped
// character by character: apostrophe, double quote, backslash, CR and LF become escapes, a
// character the code page holds is its code-page bytes, and any other one is \uXXXX (two for
// a character beyond U+FFFF). A text of plain characters comes back as its code-page bytes.
std::string JsStringText(std::string_view text);

// The head of the index: the unit and date branch and the start of the page branch.
std::string IndexHead(std::string_view unitName, std::string_view makeDate);
// The line of the page on show when recording starts (its time "0" in quotes).
std::string IndexFirstPageLine(std::string_view label);
// The line of a page shown at timeMs.
std::string IndexPageLine(std::string_view label, uint32_t timeMs);
// The end of the index, without a line end.
std::string IndexEnd();

// "function onload_(){coursename.innerHTML=\"...\";teachername.innerHTML=\"...\";}"
std::string InfoScript(std::string_view courseName, std::string_view teacherName);

}  // namespace tovra
