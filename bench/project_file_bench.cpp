// Reading and writing a project file of 10,000 pages, as a long imported deck gives.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <unistd.h>

#include "course/project_file.h"
#include "course/project_open.h"

namespace {

tovra::CourseProject LargeCourse(int pages) {
    tovra::CourseProject course;
    course.folder = "/tmp";
    course.projectFileName = "bench.lsn";
    course.courseName = "\xB9\xE2\xD1\xA7";  // GBK "光学"
    course.teacherName = "Lecturer A";
    for (int i = 1; i <= pages; ++i) {
        course.pages.push_back(
            {i, "\xB5\xDA" + std::to_string(i) + "\xD2\xB3 Lenses and mirrors: part " + std::to_string(i)});
    }
    return course;
}

std::string TempFolder() {
    char pattern[] = "/tmp/tovra-bench-XXXXXX";
    const char* made = mkdtemp(pattern);
    return made ? made : "/tmp";
}

void BM_WriteProjectFile(benchmark::State& state) {
    const tovra::CourseProject course = LargeCourse(static_cast<int>(state.range(0)));
    const std::string path = TempFolder() + "/course.lsn";
    for (auto _ : state) {
        if (!tovra::WriteFileAtomically(path, tovra::FormatProjectFile(course))) state.SkipWithError("write failed");
    }
    unlink(path.c_str());
    rmdir(path.substr(0, path.rfind('/')).c_str());
}
BENCHMARK(BM_WriteProjectFile)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_ReadProjectFile(benchmark::State& state) {
    const tovra::CourseProject course = LargeCourse(static_cast<int>(state.range(0)));
    const std::string path = TempFolder() + "/course.lsn";
    tovra::WriteFileAtomically(path, tovra::FormatProjectFile(course));
    for (auto _ : state) {
        tovra::OpenedProject opened = tovra::LoadProjectFile(path);
        if (opened.project.pages.size() != course.pages.size()) state.SkipWithError("read lost pages");
        benchmark::DoNotOptimize(opened);
    }
    unlink(path.c_str());
    rmdir(path.substr(0, path.rfind('/')).c_str());
}
BENCHMARK(BM_ReadProjectFile)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
