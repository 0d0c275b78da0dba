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

TEST(JsStringText, EscapesWhatWouldEndTheStringAndKeepsDoubleByteCharactersWhole) {
    EXPECT_EQ(JsStringText("Newton's \"laws\"\r\nC:\\x"), "Newton\\'s \\\"laws\\\"\\r\\nC:\\\\x");
    // GBK characters whose trail byte is a backslash or an apostrophe-like byte stay as they are.
    EXPECT_EQ(JsStringText("\x81\x5C\xB5\xDA"), "\x81\x5C\xB5\xDA");
    EXPECT_EQ(IndexPageLine("it's", 250), "branch2.add(new leaf('it\\'s',250));\r\n");
    EXPECT_EQ(InfoScript("A \"B\"", "C\\D"),
              "function onload_(){coursename.innerHTML=\"A \\\"B\\\"\";teachername.innerHTML=\"C\\\\D\";}");
}

}  // namespace
}  // namespace tovra
