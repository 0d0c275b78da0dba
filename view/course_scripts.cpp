// The page index and course title scripts.
#include "view/course_scripts.h"

#include "platform/text/code_page.h"

namespace tovra {

std::string JsStringText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const size_t n = text::CodePageCharLength(text, i);
        if (n == 1) {
            switch (text[i]) {
                case '\'':
                    out += "\\'";
                    break;
                case '"':
                    out += "\\\"";
                    break;
                case '\\':
                    out += "\\\\";
                    break;
                case '\r':
                    out += "\\r";
                    break;
                case '\n':
                    out += "\\n";
                    break;
                default:
                    out += text[i];
                    break;
            }
        } else {
            out.append(text.substr(i, n));
        }
        i += n;
    }
    return out;
}

std::string IndexHead(std::string_view unitName, std::string_view makeDate) {
    // 网络课程, 制作, 时间, 课程目录 in GBK.
    std::string head = "function onInit()\t{\r\n var myTree = new tree(); \r\nvar branch1 = new branch('branch1','";
    head += "\xCD\xF8\xC2\xE7\xBF\xCE\xB3\xCC";
    head += "');\r\nbranch1.add(new leaf(' \xD6\xC6\xD7\xF7: ";
    head += JsStringText(unitName);
    head += "',' '));\r\nbranch1.add(new leaf(' \xCA\xB1\xBC\xE4: ";
    head += JsStringText(makeDate);
    head += "',' '));\r\nmyTree.add(branch1);\r\nvar branch2 = new branch('branch2','";
    head += "\xBF\xCE\xB3\xCC\xC4\xBF\xC2\xBC";
    head += "');\r\n";
    return head;
}

std::string IndexFirstPageLine(std::string_view label) {
    return "branch2.add(new leaf('" + JsStringText(label) + "','0'));\r\n";
}

std::string IndexPageLine(std::string_view label, uint32_t timeMs) {
    return "branch2.add(new leaf('" + JsStringText(label) + "'," + std::to_string(timeMs) + "));\r\n";
}

std::string IndexEnd() {
    return "branch1.add(branch2);\r\nmyTree.write(showtree);showBranch('branch1');showBranch('branch2');}";
}

std::string InfoScript(std::string_view courseName, std::string_view teacherName) {
    return "function onload_(){coursename.innerHTML=\"" + JsStringText(courseName) + "\";teachername.innerHTML=\"" +
           JsStringText(teacherName) + "\";}";
}

}  // namespace tovra
