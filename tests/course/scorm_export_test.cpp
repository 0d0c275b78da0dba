// A course folder as a learning-platform package: exactly the player's files, and refusals that
// leave nothing behind.
#include "course/scorm_export.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/support/shell_output.h"
#include "tests/support/temp_dir.h"

namespace tovra {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;
using testing_support::Shell;

void Put(const std::string& path, const std::string& bytes = "x") {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

CourseProject CourseIn(const std::string& folder) {
    CourseProject course;
    course.folder = folder;
    course.projectFileName = "Lesson1.lsn";
    course.courseName = "光学 <Größe>";
    course.pages.push_back(CoursePage{});
    for (const char* f : {"web.htm", "Lesson1.lsn", "editor-layout.json", ".tovra-replaced-Ab12Cd/web.htm",
                          "web.files/1.html", "web.files/课程 页.html", "web.files/video001.webm",
                          "web.files/video001.wmv", "web.files/video001.js", "web.files/CourseIndex.js",
                          "web.files/CourseIndex.js.Ab12Cd", "web.files/.hidden/x.js", "web.files/mvfile/player.js",
                          "web.files/image/a.png"}) {
        Put(folder + "/" + f);
    }
    return course;
}

TEST(ScormExport, PackagesExactlyThePlayersFilesWithTheManifest) {
    TempDir dir;
    const CourseProject course = CourseIn(dir / "Kurs für 课程");
    const std::vector<std::string> expected = {"web.files/1.html",         "web.files/CourseIndex.js",
                                               "web.files/image/a.png",    "web.files/mvfile/player.js",
                                               "web.files/video001.js",    "web.files/video001.webm",
                                               "web.files/课程 页.html", "web.htm"};
    EXPECT_EQ(ScormPlayerFiles(course.folder), expected);
    std::vector<std::pair<size_t, size_t>> steps;
    const std::string zip = dir / "out.zip";
    const ScormExportOutcome outcome =
        ExportScormPackage(course, zip, [&](size_t done, size_t total) { steps.emplace_back(done, total); });
    ASSERT_EQ(outcome.failure, ScormExportFailure::None) << outcome.message;
    EXPECT_EQ(outcome.files, expected.size());
    ASSERT_EQ(steps.size(), expected.size());
    EXPECT_EQ(steps.back(), std::make_pair(expected.size(), expected.size()));
    std::string listed;
    for (const std::string& f : expected) listed += f + "\n";
    EXPECT_EQ(Shell("python3 -c 'import sys, zipfile; print(\"\\n\".join(sorted(zipfile.ZipFile(sys.argv[1]).namelist())))' '" +
                    zip + "'"),
              "imsmanifest.xml\n" + listed);
    const std::string manifest = Shell("unzip -p '" + zip + "' imsmanifest.xml");
    EXPECT_NE(manifest.find("<title>光学 &lt;Größe&gt;</title>"), std::string::npos) << manifest;
    EXPECT_NE(manifest.find("adlcp:scormtype=\"sco\" href=\"web.htm\""), std::string::npos);
    // A second export of the same course keeps its identifier, so a platform sees an update.
    const std::string again = dir / "again.zip";
    ASSERT_EQ(ExportScormPackage(course, again).failure, ScormExportFailure::None);
    EXPECT_EQ(Shell("unzip -p '" + again + "' imsmanifest.xml"), manifest);
}

TEST(ScormExport, RefusesACourseWithoutPagesOrStartPageAndAnUnwritablePlace) {
    TempDir dir;
    CourseProject course = CourseIn(dir / "course");
    const std::string zip = dir / "out.zip";
    CourseProject empty = course;
    empty.pages.clear();
    EXPECT_EQ(ExportScormPackage(empty, zip).failure, ScormExportFailure::NoPages);
    fs::remove(dir / "course/web.htm");
    const ScormExportOutcome noStart = ExportScormPackage(course, zip);
    EXPECT_EQ(noStart.failure, ScormExportFailure::NoStartPage);
    EXPECT_EQ(noStart.detail, dir / "course/web.htm");
    Put(dir / "course/web.htm");
    const ScormExportOutcome nowhere = ExportScormPackage(course, dir / "no/such/folder/out.zip");
    EXPECT_EQ(nowhere.failure, ScormExportFailure::CannotWrite);
    EXPECT_FALSE(nowhere.message.empty());
    // Nothing was written, not even a temporary file.
    EXPECT_FALSE(fs::exists(zip));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace tovra
