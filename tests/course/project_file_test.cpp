// The project file: exact bytes of the writer, the reader's tokenising rules, bad input.
#include "course/project_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "course/project_open.h"
#include "tests/support/temp_dir.h"

namespace tovra {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

constexpr std::string_view kExample = "TVCF\r\n*\r\nOptics\r\nLecturer A\r\nCOUNT:2\r\n1:Page 1\r\n3:Lenses\r\n";

CourseProject ExampleCourse() {
    CourseProject course;
    course.courseName = "Optics";
    course.teacherName = "Lecturer A";
    course.pages = {{1, "Page 1"}, {3, "Lenses"}};
    return course;
}

TEST(ProjectFileWriter, WritesTheExampleByteForByte) {
    EXPECT_EQ(FormatProjectFile(ExampleCourse()), kExample);

    CourseProject none;
    none.courseName = "C";
    none.teacherName = "T";
    EXPECT_EQ(FormatProjectFile(none), "TVCF\r\n*\r\nC\r\nT\r\nCOUNT:0\r\n");
}

TEST(ProjectFileWriter, WritesTextsTheCodePageHoldsInTheCodePage) {
    CourseProject course = ExampleCourse();
    course.deckPath = "/home/teacher/课件/deck.ppt";
    course.pages = {{7, "光学: part 1"}};
    const std::string bytes = FormatProjectFile(course);
    EXPECT_EQ(bytes,
              "TVCF\r\n/home/teacher/\xBF\xCE\xBC\xFE/deck.ppt\r\nOptics\r\nLecturer A\r\nCOUNT:1\r\n"
              "7:\xB9\xE2\xD1\xA7: part 1\r\n");
    const ProjectFileContent back = ParseProjectFile(bytes);
    EXPECT_EQ(back.deckPath, course.deckPath);
    ASSERT_EQ(back.pages.size(), 1u);
    EXPECT_EQ(back.pages[0].title, course.pages[0].title);
}

TEST(ProjectFileWriter, ATextOutsideTheCodePageMakesTheWholeFileUtf8AndNothingIsLost) {
    CourseProject course = ExampleCourse();
    course.deckPath = "/home/lehrer/Präsentation/deck.ppt";
    course.courseName = "Größe Kurs";
    course.teacherName = "新课程 «quotes» \"dq\" 'sq' \\ </script>";
    course.pages = {{1, "Ünïcödé"}, {2, "光学"}, {5, "\U0001F600 emoji"}};
    const std::string bytes = FormatProjectFile(course);
    EXPECT_EQ(bytes, std::string(kUtf8Mark) + "TVCF\r\n/home/lehrer/Präsentation/deck.ppt\r\nGröße Kurs\r\n" +
                         course.teacherName + "\r\nCOUNT:3\r\n1:Ünïcödé\r\n2:光学\r\n5:\U0001F600 emoji\r\n");
    const ProjectFileContent back = ParseProjectFile(bytes);
    ASSERT_EQ(back.kind, ProjectFileContent::Kind::Course);
    EXPECT_TRUE(back.utf8);
    EXPECT_EQ(back.deckPath, course.deckPath);
    EXPECT_EQ(back.courseName, course.courseName);
    EXPECT_EQ(back.teacherName, course.teacherName);
    ASSERT_EQ(back.pages.size(), 3u);
    EXPECT_EQ(back.pages[0].title, "Ünïcödé");
    EXPECT_EQ(back.pages[1].title, "光学");
    EXPECT_EQ(back.pages[2].title, "\U0001F600 emoji");

    // Once every text fits again, the file is code-page text again.
    course.courseName = "Optics";
    course.teacherName = "Lee";
    course.deckPath.clear();
    course.pages = {{2, "光学"}};
    EXPECT_EQ(FormatProjectFile(course), "TVCF\r\n*\r\nOptics\r\nLee\r\nCOUNT:1\r\n2:\xB9\xE2\xD1\xA7\r\n");

    // Broken UTF-8 in a marked file reads as replacement characters, not as the code page.
    const ProjectFileContent broken =
        ParseProjectFile(std::string(kUtf8Mark) + "TVCF\r\n*\r\nA\xFF\r\nB\r\nCOUNT:1\r\n1:\xC3\r\n");
    EXPECT_EQ(broken.courseName, "A\xEF\xBF\xBD");
    ASSERT_EQ(broken.pages.size(), 1u);
    EXPECT_EQ(broken.pages[0].title, "\xEF\xBF\xBD");
}

TEST(ProjectFileWriter, UntouchedTextsKeepBytesThatDoNotDecode) {
    // A stray lead byte in a title and in the lecturer, and an ordinary GBK title.
    const std::string file = "TVCF\r\n*\r\nOptics\r\nLe\x81\r\nCOUNT:2\r\n1:Gr\xFF" "e\r\n2:\xB9\xE2\r\n";
    const ProjectFileContent read = ParseProjectFile(file);
    ASSERT_EQ(read.pages.size(), 2u);
    EXPECT_EQ(read.pages[0].title, "Gr\xEF\xBF\xBD" "e");  // shown with a replacement character
    EXPECT_EQ(read.pages[0].storedTitle, "Gr\xFF" "e");
    EXPECT_EQ(read.pages[1].storedTitle, "");  // decodes and encodes back as it was
    EXPECT_EQ(read.storedTeacherName, "Le\x81");

    CourseProject course;
    course.courseName = read.courseName;
    course.teacherName = read.teacherName;
    course.storedTeacherName = read.storedTeacherName;
    course.pages = read.pages;
    EXPECT_EQ(FormatProjectFile(course), file);  // saving another change rewrites none of them

    // A title the teacher changed is written as typed.
    course.pages[0].title = "Gross";
    EXPECT_EQ(FormatProjectFile(course), "TVCF\r\n*\r\nOptics\r\nLe\x81\r\nCOUNT:2\r\n1:Gross\r\n2:\xB9\xE2\r\n");
}

TEST(ProjectFileWriter, LineBreaksInsideValuesCannotSplitLines) {
    CourseProject course = ExampleCourse();
    course.pages = {{1, "Two\r\nlines"}, {2, "Lone\rCR"}};
    const ProjectFileContent back = ParseProjectFile(FormatProjectFile(course));
    ASSERT_EQ(back.pages.size(), 2u);
    EXPECT_EQ(back.pages[0].title, "Two  lines");
    EXPECT_EQ(back.pages[1].number, 2);
}

TEST(ProjectFileWriter, EmptyNamesReadBackEmpty) {
    CourseProject course = ExampleCourse();
    course.courseName.clear();
    course.teacherName.clear();
    const std::string bytes = FormatProjectFile(course);
    EXPECT_EQ(bytes, "TVCF\r\n*\r\n*\r\n*\r\nCOUNT:2\r\n1:Page 1\r\n3:Lenses\r\n");
    const ProjectFileContent back = ParseProjectFile(bytes);
    EXPECT_EQ(back.courseName, "");
    EXPECT_EQ(back.teacherName, "");
    EXPECT_EQ(back.pageCount, 2);
    EXPECT_EQ(back.pages.size(), 2u);
}

TEST(ProjectFileReader, OldFilesWithEmptyNamesStayReadable) {
    // Written with empty lines for the names, which the reader drops.
    const ProjectFileContent oneEmpty =
        ParseProjectFile("TVCF\r\n*\r\nOptics\r\n\r\nCOUNT:2\r\n1:Page 1\r\n3:Lenses\r\n");
    EXPECT_EQ(oneEmpty.kind, ProjectFileContent::Kind::Course);
    EXPECT_EQ(oneEmpty.courseName, "Optics");
    EXPECT_EQ(oneEmpty.teacherName, "");
    EXPECT_EQ(oneEmpty.pageCount, 2);
    ASSERT_EQ(oneEmpty.pages.size(), 2u);
    EXPECT_EQ(oneEmpty.pages[0].title, "Page 1");

    const ProjectFileContent bothEmpty = ParseProjectFile("TVCF\r\n*\r\n\r\n\r\nCOUNT:1\r\n4:Only\r\n");
    EXPECT_EQ(bothEmpty.kind, ProjectFileContent::Kind::Course);
    EXPECT_EQ(bothEmpty.courseName, "");
    EXPECT_EQ(bothEmpty.pageCount, 1);
    ASSERT_EQ(bothEmpty.pages.size(), 1u);
    EXPECT_EQ(bothEmpty.pages[0].number, 4);

    // No pages at all: the count line is the last line.
    EXPECT_EQ(ParseProjectFile("TVCF\r\n*\r\nOptics\r\n\r\nCOUNT:0\r\n").kind, ProjectFileContent::Kind::Course);
}

TEST(ProjectFileReader, ReadsTheExampleAndTolerantLineEnds) {
    const ProjectFileContent canonical = ParseProjectFile(kExample);
    ASSERT_EQ(canonical.kind, ProjectFileContent::Kind::Course);
    EXPECT_EQ(canonical.deckPath, "");
    EXPECT_EQ(canonical.courseName, "Optics");
    EXPECT_EQ(canonical.teacherName, "Lecturer A");
    EXPECT_EQ(canonical.pageCount, 2);
    ASSERT_EQ(canonical.pages.size(), 2u);
    EXPECT_EQ(canonical.pages[1].number, 3);
    EXPECT_EQ(canonical.pages[1].title, "Lenses");

    for (std::string_view variant : {
             std::string_view("TVCF\n*\nOptics\nLecturer A\nCOUNT:2\n1:Page 1\n3:Lenses"),
             std::string_view("TVCF\r*\rOptics\rLecturer A\rCOUNT:2\r1:Page 1\r3:Lenses\r"),
             std::string_view(
                 "\r\n\r\nTVCF\r\n\r\n*\n\nOptics\r\rLecturer A\r\nCOUNT:2\r\n\r\n1:Page 1\r\n3:Lenses\n\n"),
         }) {
        const ProjectFileContent read = ParseProjectFile(variant);
        ASSERT_EQ(read.kind, ProjectFileContent::Kind::Course) << variant;
        EXPECT_EQ(read.teacherName, "Lecturer A");
        ASSERT_EQ(read.pages.size(), 2u);
        EXPECT_EQ(read.pages[0].title, "Page 1");
        EXPECT_EQ(read.pages[1].title, "Lenses");
    }
}

TEST(ProjectFileReader, RejectsWhatIsNoProjectFile) {
    for (std::string_view bad :
         {std::string_view(""), std::string_view("\r\n\r\n"), std::string_view("TVCF2\r\n*\r\nA\r\nB\r\nCOUNT:0\r\n"),
          std::string_view("tvcf\r\n*\r\nA\r\nB\r\nCOUNT:0\r\n"),
          std::string_view(" TVCF\r\n*\r\nA\r\nB\r\nCOUNT:0\r\n"),
          std::string_view("TVCF\r\n"),                      // no deck line
          std::string_view("TVCF\r\n*\r\nOnly a name\r\n"),  // no lecturer
          std::string_view("TVCF\r\n*\r\nA\r\nB\r\n")}) {    // no count line
        EXPECT_EQ(ParseProjectFile(bad).kind, ProjectFileContent::Kind::Rejected) << bad;
    }
}

TEST(ProjectFileReader, PageLineRules) {
    const ProjectFileContent read =
        ParseProjectFile("TVCF\r\n*\r\nC\r\nT\r\nCOUNT:12\r\n7:Intro: part 1\r\n5:\r\nSummary\r\nx:abc\r\n-3:neg\r\n");
    EXPECT_EQ(read.pageCount, 12);  // the count is not checked against the page lines
    ASSERT_EQ(read.pages.size(), 5u);
    EXPECT_EQ(read.pages[0].number, 7);
    EXPECT_EQ(read.pages[0].title, "Intro: part 1");
    EXPECT_EQ(read.pages[1].number, 5);
    EXPECT_EQ(read.pages[1].title, "");
    EXPECT_EQ(read.pages[2].number, 3);  // no colon: its place among the page lines
    EXPECT_EQ(read.pages[2].title, "Summary");
    EXPECT_EQ(read.pages[3].number, 0);
    EXPECT_EQ(read.pages[3].title, "abc");
    EXPECT_EQ(read.pages[4].number, -3);
}

TEST(ProjectFileReader, CountLineTakesTheNumberAfterSixCharacters) {
    EXPECT_EQ(ParseProjectFile("TVCF\r\n*\r\nC\r\nT\r\nPAGES:9\r\n").pageCount, 9);
    EXPECT_EQ(ParseProjectFile("TVCF\r\n*\r\nC\r\nT\r\nCOUNT:abc\r\n").pageCount, 0);
    EXPECT_EQ(ParseProjectFile("TVCF\r\n*\r\nC\r\nT\r\nCOUNT\r\n").pageCount, 0);
    EXPECT_EQ(ParseProjectFile("TVCF\r\n*\r\nC\r\nT\r\nCOUNT:99999999999999\r\n").pageCount, INT16_MAX);
}

TEST(ProjectFileReader, LeadingNumberHasAtoiSemanticsWithoutOverflow) {
    EXPECT_EQ(LeadingNumber("42abc"), 42);
    EXPECT_EQ(LeadingNumber("  -7:x"), -7);
    EXPECT_EQ(LeadingNumber("abc"), 0);
    EXPECT_EQ(LeadingNumber(""), 0);
    EXPECT_EQ(LeadingNumber("+"), 0);
    EXPECT_EQ(LeadingNumber("99999999999999999999999"), INT_MAX);
    EXPECT_EQ(LeadingNumber("-99999999999999999999999"), INT_MIN);
}

TEST(ProjectFileReader, TwoLineFileIsAnImportRequest) {
    const ProjectFileContent read = ParseProjectFile("TVCF\r\n/talks/deck.ppt\r\n");
    EXPECT_EQ(read.kind, ProjectFileContent::Kind::ImportRequest);
    EXPECT_EQ(read.deckPath, "/talks/deck.ppt");
}

class ProjectFileOnDisk : public ::testing::Test {
protected:
    TempDir dir;
};

TEST_F(ProjectFileOnDisk, OpeningGivesFolderLabelAndFirstPage) {
    WriteBytes(dir / "Optics.lsn", kExample);
    const OpenedProject blank = LoadProjectFile(dir / "Optics.lsn");
    ASSERT_EQ(blank.outcome, OpenedProject::Outcome::Opened);
    EXPECT_EQ(blank.project.folder, dir.path());
    EXPECT_EQ(blank.project.projectFileName, "Optics.lsn");
    EXPECT_EQ(blank.courseLabel, "Optics");
    EXPECT_EQ(blank.project.currentPage, 1);
    EXPECT_TRUE(blank.project.IsBlank());

    WriteBytes(dir / "imported.lsn", "TVCF\r\n/talks/deck.ppt\r\nC\r\nT\r\nCOUNT:2\r\n0:zero\r\n2:B\r\n");
    const OpenedProject imported = LoadProjectFile(dir / "imported.lsn");
    ASSERT_EQ(imported.outcome, OpenedProject::Outcome::Opened);
    EXPECT_EQ(imported.courseLabel, "deck.ppt");
    EXPECT_EQ(imported.project.deckPath, "/talks/deck.ppt");
    EXPECT_EQ(imported.project.currentPage, 2);  // a page numbered 0 cannot be the page on show
}

TEST_F(ProjectFileOnDisk, RejectsDeckPathWithoutFolderAndOversizedFiles) {
    WriteBytes(dir / "a.lsn", "TVCF\r\ndeck.ppt\r\nC\r\nT\r\nCOUNT:0\r\n");
    EXPECT_EQ(LoadProjectFile(dir / "a.lsn").outcome, OpenedProject::Outcome::Rejected);

    const std::string big = dir / "big.lsn";
    WriteBytes(big, std::string(kExample));
    std::filesystem::resize_file(big, kMaxProjectFileBytes + 1);
    EXPECT_EQ(LoadProjectFile(big).outcome, OpenedProject::Outcome::Rejected);

    EXPECT_EQ(LoadProjectFile(dir / "missing.lsn").outcome, OpenedProject::Outcome::FailedOpen);
    EXPECT_EQ(LoadProjectFile(dir.path()).outcome, OpenedProject::Outcome::FailedOpen);  // a folder

    // A named pipe with no writer must not hang the reader.
    const std::string fifo = dir / "pipe.lsn";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(LoadProjectFile(fifo).outcome, OpenedProject::Outcome::FailedOpen);
}

TEST_F(ProjectFileOnDisk, ImportRequestTakesFolderFromThePath) {
    WriteBytes(dir / "new.lsn", "TVCF\r\n/talks/deck.ppt\r\n");
    const OpenedProject request = LoadProjectFile(dir / "new.lsn");
    ASSERT_EQ(request.outcome, OpenedProject::Outcome::ImportRequest);
    EXPECT_TRUE(request.project.deckImportPending);
    EXPECT_EQ(request.project.folder, dir.path());
    EXPECT_EQ(request.project.projectFileName, "new.lsn");
    EXPECT_EQ(request.project.pageCount, 0);
    EXPECT_EQ(request.project.courseName, "");
}

TEST_F(ProjectFileOnDisk, AtomicWriteReplacesWholeOrNotAtAll) {
    const std::string path = dir / "c.lsn";
    ASSERT_TRUE(WriteFileAtomically(path, kExample));
    EXPECT_EQ(ReadBytes(path), kExample);
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    ASSERT_TRUE(WriteFileAtomically(path, "TVCF\r\n*\r\nX\r\nY\r\nCOUNT:0\r\n"));
    EXPECT_EQ(ReadBytes(path), "TVCF\r\n*\r\nX\r\nY\r\nCOUNT:0\r\n");
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);

    // A folder in the way of the rename: the write fails and nothing is left behind.
    const std::string blocked = dir / "blocked.lsn";
    std::filesystem::create_directory(blocked);
    WriteBytes(blocked + "/keep", "x");
    EXPECT_FALSE(WriteFileAtomically(blocked, kExample));
    EXPECT_FALSE(WriteFileAtomically(dir / "no/such/folder.lsn", kExample));
    int entries = 0;
    for (auto& entry : std::filesystem::directory_iterator(dir.path())) {
        (void)entry;
        ++entries;
    }
    EXPECT_EQ(entries, 2);  // c.lsn and the folder, no temporary files
}

TEST_F(ProjectFileOnDisk, TemporariesOfInterruptedWritesGoAtTheNextWrite) {
    const std::string path = dir / "c.lsn";
    WriteBytes(path + ".a1B2c3", "half a file");
    WriteBytes(path + ".Zz9y8X", "another");
    WriteBytes(path + ".bak", "the teacher's own copy");
    WriteBytes(path + ".toolong7", "not ours");
    WriteBytes(dir / "d.lsn.a1B2c3", "another file's");
    ASSERT_TRUE(WriteFileAtomically(path, kExample));
    EXPECT_FALSE(std::filesystem::exists(path + ".a1B2c3"));
    EXPECT_FALSE(std::filesystem::exists(path + ".Zz9y8X"));
    EXPECT_TRUE(std::filesystem::exists(path + ".bak"));
    EXPECT_TRUE(std::filesystem::exists(path + ".toolong7"));
    EXPECT_TRUE(std::filesystem::exists(dir / "d.lsn.a1B2c3"));
    EXPECT_EQ(ReadBytes(path), kExample);
}

}  // namespace
}  // namespace tovra
