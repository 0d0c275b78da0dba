// The four title texts of a course (name, lecturer, unit, date), which the course and the dialogs
// that edit them all carry under the same names.
#pragma once

namespace tovra {

template <class From, class To>
void CopyTitleTexts(const From& from, To& to) {
    to.courseName = from.courseName;
    to.teacherName = from.teacherName;
    to.unitName = from.unitName;
    to.makeDate = from.makeDate;
}

}  // namespace tovra
