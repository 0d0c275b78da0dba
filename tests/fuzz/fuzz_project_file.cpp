// Fuzzes the project-file parser and checks that what it reads writes back and reads the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "course/project_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const tovra::ProjectFileContent content = tovra::ParseProjectFile(bytes);
    if (content.kind != tovra::ProjectFileContent::Kind::Course) return 0;

    // Whatever was read must survive a save and a second read unchanged.
    tovra::CourseProject project;
    project.deckPath = content.deckPath;
    project.courseName = content.courseName;
    project.teacherName = content.teacherName;
    project.storedCourseName = content.storedCourseName;
    project.storedTeacherName = content.storedTeacherName;
    project.pages = content.pages;
    const tovra::ProjectFileContent again = tovra::ParseProjectFile(tovra::FormatProjectFile(project));
    if (again.kind != tovra::ProjectFileContent::Kind::Course || again.pages.size() != content.pages.size() ||
        again.courseName != content.courseName || again.teacherName != content.teacherName) {
        std::abort();
    }
    return 0;
}
