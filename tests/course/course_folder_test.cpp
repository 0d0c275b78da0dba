// The web template copy into a course folder, the page template copy and the player's page list.
#include "course/course_folder.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <filesystem>

#include "tests/support/temp_dir.h"

namespace tovra {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;
namespace fs = std::filesystem;

// A language folder whose every template file holds its own name.
std::string MakeTemplate(const TempDir& dir) {
    const std::string r = dir / "ELanguage/English";
    fs::create_directories(r + "/web.files/image/sub");
    fs::create_directories(r + "/web.files/mvfile");
    for (const char* name :
         {"tree.htm", "index.htm", "163.css", "main.htm", "left.htm", "_left.htm", "1.html", "fullscreen.htm",
          "web.htm", "image/Cursor.gif", "image/logo.png", "image/sub/deep.png", "mvfile/player.js"}) {
        WriteBytes(r + "/web.files/" + name, name);
    }
    return r;
}

TEST(CopyWebTemplate, BlankAndImportedCoursesGetTheirOwnVariant) {
    TempDir dir;
    const std::string r = MakeTemplate(dir);
    const std::string blank = dir / "Lesson1";
    fs::create_directory(blank);
    CopyWebTemplate(r, blank, true);
    EXPECT_EQ(ReadBytes(blank + "/web.htm"), "web.htm");  // the start page sits in the course root
    EXPECT_EQ(ReadBytes(blank + "/web.files/left.htm"), "_left.htm");
    for (const char* name : {"tree.htm", "index.htm", "163.css", "main.htm", "1.html", "fullscreen.htm",
                             "image/Cursor.gif", "image/logo.png", "mvfile/player.js"}) {
        EXPECT_EQ(ReadBytes(blank + "/web.files/" + name), name) << name;
    }
    EXPECT_FALSE(fs::exists(blank + "/web.files/web.htm"));
    EXPECT_FALSE(fs::exists(blank + "/web.files/image/sub"));  // subfolders are not copied

    const std::string imported = dir / "Deck";
    fs::create_directory(imported);
    CopyWebTemplate(r, imported, false);
    EXPECT_EQ(ReadBytes(imported + "/web.files/left.htm"), "left.htm");
    for (const char* absent : {"/web.htm", "/web.files/1.html", "/web.files/fullscreen.htm"}) {
        EXPECT_FALSE(fs::exists(imported + absent)) << absent;
    }
    EXPECT_EQ(ReadBytes(imported + "/web.files/image/Cursor.gif"), "image/Cursor.gif");
}

TEST(CopyWebTemplate, OverwritesTemplateFilesKeepsOtherPagesAndSkipsMissingOnes) {
    TempDir dir;
    const std::string r = MakeTemplate(dir);
    const std::string c = dir / "Lesson1";
    fs::create_directories(c + "/web.files");
    WriteBytes(c + "/web.files/1.html", "edited page 1");
    WriteBytes(c + "/web.files/2.html", "page 2");
    fs::remove(r + "/web.files/main.htm");
    CopyWebTemplate(r, c, true);
    EXPECT_EQ(ReadBytes(c + "/web.files/1.html"), "1.html");
    EXPECT_EQ(ReadBytes(c + "/web.files/2.html"), "page 2");
    EXPECT_FALSE(fs::exists(c + "/web.files/main.htm"));
    EXPECT_TRUE(fs::exists(c + "/web.files/index.htm"));

    EXPECT_TRUE(CopyPageTemplate(r, c, 7));
    EXPECT_EQ(ReadBytes(PageFilePath(c, 7)), "1.html");
    EXPECT_EQ(PageFilePath(c, 7), c + "/web.files/7.html");
    fs::remove(r + "/web.files/1.html");
    EXPECT_FALSE(CopyPageTemplate(r, c, 8));
    EXPECT_FALSE(fs::exists(PageFilePath(c, 8)));
}

TEST(CoursePagesScript, WritesAsciiWithEscapesThatNoTitleCanBreak) {
    EXPECT_EQ(FormatCoursePagesScript({}), "var coursePages = [];\r\n");
    // "第1页", a quote, a backslash, an apostrophe, a closing script tag and letters beyond the
    // code page.
    const std::string script = FormatCoursePagesScript(
        {{1, "第1页"}, {3, "say \"hi\" \\ it's"}, {4, "</script>"}, {5, "Größe \U0001F600"}});
    EXPECT_EQ(script,
              "var coursePages = [{\"number\":1,\"title\":\"\\u7B2C1\\u9875\"},"
              "{\"number\":3,\"title\":\"say \\u0022hi\\u0022 \\u005C it's\"},"
              "{\"number\":4,\"title\":\"\\u003C/script>\"},"
              "{\"number\":5,\"title\":\"Gr\\u00F6\\u00DFe \\uD83D\\uDE00\"}];\r\n");
}

TEST(CourseDetailsScript, RoundTripsAnyTextAndRefusesWhatItDidNotWrite) {
    const CourseDetails details{"Größe Schule «A» \"B\" 'C' \\ </script>\r\n", "24-03-09_14 物理"};
    const std::string script = FormatCourseDetailsScript(details);
    EXPECT_TRUE(std::all_of(script.begin(), script.end(), [](char c) { return c > 0; })) << "ASCII only";
    CourseDetails back;
    ASSERT_TRUE(ParseCourseDetailsScript(script, back));
    EXPECT_EQ(back.unitName, details.unitName);
    EXPECT_EQ(back.makeDate, details.makeDate);
    ASSERT_TRUE(ParseCourseDetailsScript(FormatCourseDetailsScript({}), back));
    EXPECT_EQ(back.unitName, "");

    back = {"kept", "kept"};
    for (std::string_view bad : {std::string_view(""), std::string_view("var courseDetails = {\"unit\":\"x"),
                                 std::string_view("var courseDetails = {\"unit\":\"x\",\"date\":\"\\u12\"};"),
                                 std::string_view("alert(1)")}) {
        EXPECT_FALSE(ParseCourseDetailsScript(bad, back)) << bad;
    }
    EXPECT_EQ(back.unitName, "kept");
}

TEST(CourseDetailsScript, AnOldPageIndexStillNamesUnitAndDate) {
    // As an earlier recording wrote the head, in GBK: unit 物理系, date 2011.
    const std::string index =
        "function onInit()\t{\r\n var myTree = new tree(); \r\nvar branch1 = new branch('branch1','"
        "\xCD\xF8\xC2\xE7\xBF\xCE\xB3\xCC');\r\nbranch1.add(new leaf(' \xD6\xC6\xD7\xF7: \xCE\xEF\xC0\xED\xCF\xB5 it\\'s',' '));\r\n"
        "branch1.add(new leaf(' \xCA\xB1\xBC\xE4: 2011',' '));\r\nmyTree.add(branch1);\r\n";
    CourseDetails details;
    ASSERT_TRUE(CourseDetailsFromIndex(index, details));
    EXPECT_EQ(details.unitName, "物理系 it's");
    EXPECT_EQ(details.makeDate, "2011");
    EXPECT_FALSE(CourseDetailsFromIndex("function onInit() {}", details));
    EXPECT_FALSE(CourseDetailsFromIndex(index.substr(0, index.find("2011")), details));
}

}  // namespace
}  // namespace tovra
