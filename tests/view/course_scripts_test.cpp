// The page index and course title scripts, byte for byte.
#include "view/course_scripts.h"

#include <gtest/gtest.h>

namespace tovra {
namespace {

TEST(CourseIndexScript, HeadLinesAndEndHaveTheirExactBytes) {
    EXPECT_EQ(IndexHead("A", "2011"),
              "function onInit()\t{\r\n var myTree = new tree(); \r\nvar branch1 = new branch('branch1','"
              "\xCD\xF8\xC2\xE7\xBF\xCE\xB3\xCC');\r\n"
              "branch1.add(new leaf(' \xD6\xC6\xD7\xF7: A',' '));\r\n"
              "branch1.add(new leaf(' \xCA\xB1\xBC\xE4: 2011',' '));\r\n"
              "myTree.add(branch1);\r\nvar branch2 = new branch('branch2','\xBF\xCE\xB3\xCC\xC4\xBF\xC2\xBC');\r\n");
    const std::string empty = IndexHead("", "");
    EXPECT_NE(empty.find("leaf(' \xD6\xC6\xD7\xF7: ',' ')"), std::string::npos);
    EXPECT_NE(empty.find("leaf(' \xCA\xB1\xBC\xE4: ',' ')"), std::string::npos);
    EXPECT_EQ(IndexFirstPageLine("Page 1"), "branch2.add(new leaf('Page 1','0'));\r\n");
    EXPECT_EQ(IndexPageLine("Page 3", 5000), "branch2.add(new leaf('Page 3',5000));\r\n");
    EXPECT_EQ(IndexEnd(),
              "branch1.add(branch2);\r\nmyTree.write(showtree);showBranch('branch1');showBranch('branch2');}");
}

TEST(InfoScript, IsTheFormatWithTheTwoNamesAndNothingElse) {
    const std::string info = InfoScript("Optics", "Lee");
    EXPECT_EQ(info, "function onload_(){coursename.innerHTML=\"Optics\";teachername.innerHTML=\"Lee\";}");
    EXPECT_EQ(info.size(), 78u);
}

TEST(JsStringText, EscapesByCharacterAndKeepsWhatTheCodePageHoldsInItsBytes) {
    EXPECT_EQ(JsStringText("Newton's \"laws\"\r\nC:\\x"), "Newton\\'s \\\"laws\\\"\\r\\nC:\\\\x");
    // A GBK character whose trail byte is a backslash stays whole, and is not escaped.
    EXPECT_EQ(JsStringText("乗第"), "\x81\x5C\xB5\xDA");
    // Letters the code page lacks become escapes, so the script reads the same in any charset.
    EXPECT_EQ(JsStringText("Größe ü \U0001F600 \u2028"), "Gr\\u00F6\\u00DFe \xA8\xB9 \\uD83D\\uDE00 \\u2028");
    // A replacement character left by a byte that did not decode is a character like any other:
    // the quote after it is escaped.
    EXPECT_EQ(JsStringText("a\xEF\xBF\xBD\""), "a\\uFFFD\\\"");
    EXPECT_EQ(InfoScript("\xEF\xBF\xBD\";alert(1);//", "x"),
              "function onload_(){coursename.innerHTML=\"\\uFFFD\\\";alert(1);//\";teachername.innerHTML=\"x\";}");
    EXPECT_EQ(IndexPageLine("it's", 250), "branch2.add(new leaf('it\\'s',250));\r\n");
    EXPECT_EQ(InfoScript("A \"B\"", "C\\D"),
              "function onload_(){coursename.innerHTML=\"A \\\"B\\\"\";teachername.innerHTML=\"C\\\\D\";}");
}

}  // namespace
}  // namespace tovra
