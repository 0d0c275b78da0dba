// The web template copy into a course folder, the page template copy and the player's page list.
#include "course/course_folder.h"

#include <gtest/gtest.h>

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
    // GBK "第1页", a quote, a backslash, an apostrophe and a closing script tag.
    const std::string script = FormatCoursePagesScript({{1,
                                                         "\xB5\xDA"
                                                         "1\xD2\xB3"},
                                                        {3, "say \"hi\" \\ it's"},
                                                        {4, "</script>"}});
    EXPECT_EQ(script,
              "var coursePages = [{\"number\":1,\"title\":\"\\u7B2C1\\u9875\"},"
              "{\"number\":3,\"title\":\"say \\u0022hi\\u0022 \\u005C it's\"},"
              "{\"number\":4,\"title\":\"\\u003C/script>\"}];\r\n");
}

}  // namespace
}  // namespace tovra
