// The two scripts a recording leaves beside the pages for the player: the page index
// "CourseIndex.js" and the course title "info.js". All texts are code-page bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tovra {

// Escapes a code-page text for a JavaScript string in quotes: apostrophe, double quote,
// backslash, CR and LF become escapes; double-byte characters pass whole (a GBK trail byte may
// be a backslash and must stay as it is). Other texts come back unchanged.
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
