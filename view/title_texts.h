// The four title texts of a course (name, lecturer, unit, date), which the course and the dialogs
// that edit them all carry under the same names.
#pragma once

#include <string>

namespace tovra {

// The language file's "Page" text (a format with one "%d") for page n, in UTF-8: the title of a
// page that has none of its own.
std::string DefaultPageTitle(int n);

template <class From, class To>
void CopyTitleTexts(const From& from, To& to) {
    to.courseName = from.courseName;
    to.teacherName = from.teacherName;
    to.unitName = from.unitName;
    to.makeDate = from.makeDate;
}

}  // namespace tovra
