// The page index and course title scripts.
#include "view/course_scripts.h"

#include <cstdio>

#include "platform/text/code_page.h"

namespace tovra {

std::string JsStringText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    const std::u16string units = text::Utf8ToUtf16(text);
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char16_t u = units[i];
        switch (u) {
            case u'\'': out += "\\'"; continue;
            case u'"': out += "\\\""; continue;
            case u'\\': out += "\\\\"; continue;
            case u'\r': out += "\\r"; continue;
            case u'\n': out += "\\n"; continue;
            default: break;
        }
        if (u < 0x80) {
            out += static_cast<char>(u);
            continue;
        }
        const bool pair = u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
                          units[i + 1] <= 0xDFFF;
        const std::u16string_view character(units.data() + i, pair ? 2 : 1);
        std::string bytes;
        if (text::TryToCodePage(character, bytes)) {
            out += bytes;
        } else {
            for (char16_t unit : character) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(unit));
                out += escape;
            }
        }
        if (pair) ++i;
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
