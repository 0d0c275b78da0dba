// Interpreting a project file: labels, folder and the first page on show.
#include "course/project_open.h"

#include "course/course_folder.h"
#include "course/project_file.h"

namespace tovra {

bool SplitCoursePath(const std::string& path, std::string& folder, std::string& name) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0) return false;
    folder = path.substr(0, slash);
    name = path.substr(slash + 1);
    return true;
}

OpenedProject LoadProjectFile(const std::string& path) {
    OpenedProject result;
    std::string bytes;
    switch (ReadWholeFile(path, kMaxProjectFileBytes, bytes)) {
        case ReadFileResult::CannotOpen:
            result.outcome = OpenedProject::Outcome::FailedOpen;
            return result;
        case ReadFileResult::TooLarge:
            result.outcome = OpenedProject::Outcome::Rejected;
            return result;
        case ReadFileResult::Ok:
            break;
    }

    ProjectFileContent content = ParseProjectFile(bytes);
    CourseProject& project = result.project;
    project.deckPath = content.deckPath;

    if (content.kind == ProjectFileContent::Kind::Rejected) {
        result.outcome = OpenedProject::Outcome::Rejected;
        return result;
    }
    if (content.kind == ProjectFileContent::Kind::ImportRequest) {
        if (!SplitCoursePath(path, project.folder, project.projectFileName)) {
            result.outcome = OpenedProject::Outcome::BadPath;
            return result;
        }
        project.deckImportPending = true;
        result.outcome = OpenedProject::Outcome::ImportRequest;
        return result;
    }

    if (project.deckPath.empty()) {
        // Blank course: named after the project file.
        std::string label = path;
        const std::size_t dot = label.rfind('.');
        if (dot != std::string::npos) label.resize(dot);
        const std::size_t slash = label.rfind('/');
        if (slash != std::string::npos && slash != 0) label = label.substr(slash + 1);
        result.courseLabel = label;
    } else {
        const std::size_t slash = project.deckPath.rfind('/');
        if (slash == std::string::npos) {
            result.outcome = OpenedProject::Outcome::Rejected;
            return result;
        }
        result.courseLabel = project.deckPath.substr(slash + 1);
    }

    project.courseName = std::move(content.courseName);
    project.teacherName = std::move(content.teacherName);
    project.storedCourseName = std::move(content.storedCourseName);
    project.storedTeacherName = std::move(content.storedTeacherName);
    project.pageCount = content.pageCount;
    project.pages = std::move(content.pages);
    // The first page line with a non-zero number is the page on show.
    for (const CoursePage& page : project.pages) {
        if (project.currentPage != 0) break;
        project.currentPage = static_cast<int16_t>(page.number);
    }

    if (!SplitCoursePath(path, project.folder, project.projectFileName)) {
        result.outcome = OpenedProject::Outcome::Rejected;
        return result;
    }
    if (!project.deckPath.empty()) {
        // Hidden slides are kept in the page list script, which the project file has no place for.
        std::string script;
        if (ReadWholeFile(CoursePagesScriptPath(project.folder), 16 << 20, script) == ReadFileResult::Ok) {
            const std::set<int> hidden = HiddenPagesOf(script);
            for (CoursePage& page : project.pages) page.hidden = hidden.count(page.number) != 0;
        }
    }
    result.outcome = OpenedProject::Outcome::Opened;
    return result;
}

}  // namespace tovra
