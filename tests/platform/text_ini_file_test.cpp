// Tests of the profile (ini) file look-ups and writes, on real files in a temporary folder.
#include "platform/text/ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "platform/text/code_page.h"

namespace tovra::text {
namespace {

const std::string kChineseGbk = "\xD6\xD0\xCE\xC4\xBF\xCE\xB3\xCC";  // 中文课程

std::string Utf16File(std::u16string_view text) {
    std::string bytes = "\xFF\xFE";
    for (char16_t u : text) bytes += {static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
    return bytes;
}

class IniFileTest : public testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/tovra-ini-test-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir_ = name;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string Put(const std::string& bytes, const std::string& name = "t.ini") {
        std::ofstream(dir_ + "/" + name, std::ios::binary) << bytes;
        return dir_ + "/" + name;
    }
    static std::string Get(const std::string& path) {
        std::ostringstream s;
        s << std::ifstream(path, std::ios::binary).rdbuf();
        return s.str();
    }
    std::string A(const std::string& section, const std::string& key) {
        return ReadIniStringA(dir_ + "/t.ini", section, key, "<default>");
    }

    std::string dir_;
};

TEST_F(IniFileTest, LineRules) {
    Put("; comment=1\r\ntop=before any section\r\n[ User ]\r\n  SEL =  Language\\English.ini  \r\n"
        "double=\" a b \"\r\nsingle='x'\r\nmixed=\"x'\r\nlone=\"\r\nempty=\"\"\r\n;hidden=1\r\n  ;indented=1\r\n"
        "dup=first\r\ndup=second\r\nnoequals\r\nnul=ab" +
        std::string(1, '\0') +
        "cd\r\n[broken\r\ninner=still User\r\n"
        "[USER]\r\nlate=in the second User\r\n");
    EXPECT_EQ(A(" user ", " sel"), "Language\\English.ini");
    EXPECT_EQ(ReadIniString(dir_ + "/t.ini", u"uSeR", u"Sel", u""), u"Language\\English.ini");
    EXPECT_EQ(A("User", "double"), " a b ");
    EXPECT_EQ(A("User", "single"), "x");
    EXPECT_EQ(A("User", "mixed"), "\"x'");
    EXPECT_EQ(A("User", "lone"), "\"");
    EXPECT_EQ(A("User", "empty"), "");
    EXPECT_EQ(A("User", "dup"), "first");
    EXPECT_EQ(A("User", "nul"), "ab");
    EXPECT_EQ(A("User", "inner"), "still User");
    for (const char* key : {"hidden", "indented", ";hidden", "noequals", "late", "top", "comment"}) {
        EXPECT_EQ(A("User", key), "<default>") << key;
    }
}

TEST_F(IniFileTest, EveryLineEndSeparatesLines) {
    for (const std::string eol : {"\r\n", "\n", "\r"}) {
        Put("[a]" + eol + "k=1" + eol + eol + "[b]" + eol + "k=2" + eol);
        EXPECT_EQ(A("a", "k"), "1") << eol.size();
        EXPECT_EQ(A("b", "k"), "2") << eol.size();
    }
}

TEST_F(IniFileTest, MissingFileSectionOrKeyGivesTheDefaultCut) {
    const std::string path = Put("[s]\r\nk=v\r\n");
    EXPECT_EQ(ReadIniString(dir_ + "/none.ini", u"s", u"k", u"dflt"), u"dflt");
    EXPECT_EQ(ReadIniString(path, u"x", u"k", u"dflt"), u"dflt");
    EXPECT_EQ(ReadIniString(path, u"s", u"x", u"dflt"), u"dflt");
    EXPECT_EQ(ReadIniString(path, u"s", u"x", std::u16string(600, u'd')), std::u16string(499, u'd'));
    std::string chinese300;
    for (int i = 0; i < 75; ++i) chinese300 += kChineseGbk;
    EXPECT_EQ(ReadIniStringA(path, "s", "x", chinese300), chinese300.substr(0, 498));
}

TEST_F(IniFileTest, LongValuesAreCutWithoutSplittingCharacters) {
    std::string chinese300;
    for (int i = 0; i < 75; ++i) chinese300 += kChineseGbk;
    const std::string path = Put("[s]\r\nlong=" + std::string(600, 'v') + "\r\nzh=" + chinese300 + "\r\n");
    EXPECT_EQ(ReadIniString(path, u"s", u"long", u""), std::u16string(499, u'v'));
    EXPECT_EQ(ReadIniString(path, u"s", u"long", u"", 5), u"vvvvv");
    EXPECT_EQ(ReadIniStringA(path, "s", "long", ""), std::string(499, 'v'));
    EXPECT_EQ(ReadIniStringA(path, "s", "zh", ""), chinese300.substr(0, 498));
    EXPECT_EQ(ReadIniString(path, u"s", u"zh", u"").size(), 300u);

    Put(Utf16File(u"[s]\r\nk=" + std::u16string(498, u'a') + u"\U0001F600\r\n"));
    EXPECT_EQ(ReadIniString(path, u"s", u"k", u""), std::u16string(498, u'a'));  // no half surrogate pair
}

TEST_F(IniFileTest, Utf16FileWithChineseText) {
    const std::string path = Put(Utf16File(u"[课程]\r\n名称=中文课程\r\nemoji=a\U0001F600\r\n[ÄÖ]\r\nＫey=1\r\n"));
    EXPECT_EQ(ReadIniString(path, u"课程", u"名称", u""), u"中文课程");
    EXPECT_EQ(ReadIniStringA(path, Utf8ToCodePage("课程"), Utf8ToCodePage("名称"), ""), kChineseGbk);
    EXPECT_EQ(ReadIniStringA(path, Utf8ToCodePage("课程"), "emoji", ""), "a?");
    EXPECT_EQ(ReadIniString(path, u"äö", u"ｋEY", u""), u"1");
}

TEST_F(IniFileTest, CodePageFileWithChineseText) {
    const std::string path = Put(Utf8ToCodePage("[课程]\r\n名称=") + kChineseGbk +
                                 "\r\nraw=\xAA\xA1\r\n"
                                 "[\xB1]x]\r\nk=trail is ]\r\n[\x81"
                                 "A]\r\nk=upper\r\n[\x81"
                                 "a]\r\nk=lower\r\n");
    EXPECT_EQ(ReadIniString(path, u"课程", u"名称", u""), u"中文课程");
    EXPECT_EQ(ReadIniStringA(path, Utf8ToCodePage("课程"), Utf8ToCodePage("名称"), ""), kChineseGbk);
    EXPECT_EQ(ReadIniStringA(path, Utf8ToCodePage("课程"), "raw", ""), "\xAA\xA1");  // bytes as stored
    EXPECT_EQ(ReadIniString(path, u"课程", u"raw", u""), u"\uFFFD");
    EXPECT_EQ(ReadIniStringA(path, "\xB1]x", "k", ""), "trail is ]");
    EXPECT_EQ(ReadIniString(path, FromCodePage("\xB1]x"), u"k", u""), u"trail is ]");
    EXPECT_EQ(ReadIniStringA(path,
                             "\x81"
                             "a",
                             "k", ""),
              "lower");  // trail bytes are not letters
}

TEST_F(IniFileTest, OnlyRegularFilesUpTo16MiBAreRead) {
    const std::string body = "[s]\r\nk=v\r\n";
    const std::string path = Put(body + std::string(kMaxIniFileBytes - body.size(), ';'));
    EXPECT_EQ(ReadIniStringA(path, "s", "k", "d"), "v");
    Put(body + std::string(kMaxIniFileBytes - body.size() + 1, ';'));
    EXPECT_EQ(ReadIniStringA(path, "s", "k", "d"), "d");
    EXPECT_FALSE(WriteIniString(path, "s", "k", "w"));
    EXPECT_EQ(std::filesystem::file_size(path), kMaxIniFileBytes + 1);
    EXPECT_EQ(ReadIniStringA(dir_, "s", "k", "d"), "d");
    ASSERT_EQ(mkfifo((dir_ + "/fifo").c_str(), 0600), 0);
    EXPECT_EQ(ReadIniStringA(dir_ + "/fifo", "s", "k", "d"), "d");  // returns instead of waiting for a writer
}

// Random files built from the characters that shape lines: both look-ups must find the same value, and a
// shorter limit must give a prefix of the longer result that ends on a character boundary.
TEST_F(IniFileTest, WideAndNarrowLookupsAgreeOnJunk) {
    const std::string alphabet[] = {
        "[", "]", "=", ";",    "\"",   "'",    " ",    "\r",       "\n",       "s",
        "S", "k", "K", "\x81", "\xB1", "\xFF", "\x80", "\xD6\xD0", "\xAA\xA1", std::string(1, '\0')};
    std::mt19937 random(1234);
    for (int round = 0; round < 300; ++round) {
        std::string bytes;
        const int length = static_cast<int>(random() % 200);
        for (int i = 0; i < length; ++i) bytes += alphabet[random() % std::size(alphabet)];
        const std::string path = Put(bytes);
        for (const auto& [section, key] : {std::pair{"s", "k"}, {"S", "K"}, {"\xD6\xD0", "k"}, {"", ""}}) {
            const std::string full = ReadIniStringA(path, section, key, "d", 1000);
            const std::string cut = ReadIniStringA(path, section, key, "d", 7);
            ASSERT_EQ(cut, full.substr(0, cut.size())) << testing::PrintToString(bytes);
            ASSERT_TRUE(cut.size() == full.size() || cut.size() + CodePageCharLength(full, cut.size()) > 7);
            ASSERT_EQ(FromCodePage(full), ReadIniString(path, FromCodePage(section), FromCodePage(key), u"d", 1000))
                << testing::PrintToString(bytes);
        }
    }
}

TEST_F(IniFileTest, WriteCreatesReplacesAndAppends) {
    const std::string path = dir_ + "/t.ini";
    ASSERT_TRUE(WriteIniString(path, "USER", "Sel", "Language\\English.ini"));
    EXPECT_EQ(Get(path), "[USER]\r\nSel=Language\\English.ini\r\n");

    Put("; settings\r\n[Other]\r\nsel=keep\r\n[user]\r\n  SeL = old value  \r\nNext=1\r\n\r\n; about B\r\n[B]\r\ny=2");
    ASSERT_TRUE(WriteIniString(path, "USER", "sel", kChineseGbk));
    ASSERT_TRUE(WriteIniString(path, "user", "added", "3"));
    ASSERT_TRUE(WriteIniString(path, "B", "w", "4"));
    ASSERT_TRUE(WriteIniString(path, "New", "k", "v"));
    EXPECT_EQ(Get(path), "; settings\r\n[Other]\r\nsel=keep\r\n[user]\r\n  SeL = " + kChineseGbk +
                             "  \r\nNext=1\r\nadded=3\r\n\r\n; about B\r\n[B]\r\ny=2\r\nw=4\r\n[New]\r\nk=v\r\n");
    EXPECT_EQ(ReadIniString(path, u"User", u"SEL", u""), u"中文课程");

    Put("[A]\nx=1");  // a file with LF line ends keeps them
    ASSERT_TRUE(WriteIniString(path, "C", "k", "v"));
    EXPECT_EQ(Get(path), "[A]\nx=1\n[C]\nk=v\n");
}

TEST_F(IniFileTest, WriteKeepsAUtf16FileUtf16) {
    const std::string path = Put(Utf16File(u"[课程]\r\n名称=旧\r\n[x]\r\n"));
    ASSERT_TRUE(WriteIniString(path, Utf8ToCodePage("课程"), Utf8ToCodePage("名称"), kChineseGbk));
    ASSERT_TRUE(WriteIniString(path, Utf8ToCodePage("课程"), "k2", "v"));
    ASSERT_TRUE(WriteIniString(path, "y", "k", "v"));
    EXPECT_EQ(Get(path), Utf16File(u"[课程]\r\n名称=中文课程\r\nk2=v\r\n[x]\r\n[y]\r\nk=v\r\n"));
}

TEST_F(IniFileTest, WriteRefusesBadInputAndKeepsFileAttributes) {
    const std::string original = "[s]\r\nk=v\r\n";
    const std::string path = Put(original);
    EXPECT_FALSE(WriteIniString(path, "s", "k", "two\nlines"));
    EXPECT_FALSE(WriteIniString(path, "s", "a=b", "v"));
    EXPECT_FALSE(WriteIniString(path, "s]", "k", "v"));
    EXPECT_FALSE(WriteIniString(path, "s", ";k", "v"));
    EXPECT_FALSE(WriteIniString(dir_ + "/no/such/folder.ini", "s", "k", "v"));
    EXPECT_FALSE(WriteIniString(dir_, "s", "k", "v"));
    EXPECT_EQ(Get(path), original);
    EXPECT_TRUE(WriteIniString(path, "\xB1]", "k", "v"));  // the ']' there is a trail byte

    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    std::filesystem::create_symlink(path, dir_ + "/link.ini");
    ASSERT_TRUE(WriteIniString(dir_ + "/link.ini", "s", "k", "through link"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir_ + "/link.ini"));
    EXPECT_EQ(A("s", "k"), "through link");
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 2);  // no temporary file left
}

}  // namespace
}  // namespace tovra::text
