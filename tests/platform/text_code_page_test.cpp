// Tests of the code page 936 and UTF-8 conversions.
#include "platform/text/code_page.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace tovra::text {
namespace {

// "中文课程" as the GBK tables give it.
const std::string kChineseGbk = "\xD6\xD0\xCE\xC4\xBF\xCE\xB3\xCC";
const std::string kChineseUtf8 = "中文课程";

TEST(CodePageTest, ChineseRoundTripsThroughEveryForm) {
    EXPECT_EQ(Utf8ToCodePage(kChineseUtf8), kChineseGbk);
    EXPECT_EQ(CodePageToUtf8(kChineseGbk), kChineseUtf8);
    EXPECT_EQ(FromCodePage(kChineseGbk), u"中文课程");
    EXPECT_EQ(ToCodePage(u"中文课程 Lesson 1"), kChineseGbk + " Lesson 1");
    EXPECT_EQ(FromCodePage(""), u"");
    EXPECT_EQ(ToCodePage(u""), "");
}

TEST(CodePageTest, EuroSignIsTheSingleByte80) {
    EXPECT_EQ(ToCodePage(u"€"), "\x80");
    EXPECT_EQ(FromCodePage("\x80"), u"€");
}

TEST(CodePageTest, EveryDefinedDoubleByteCharacterRoundTrips) {
    int defined = 0;
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail == 0x7F) continue;
            const std::string pair{static_cast<char>(lead), static_cast<char>(trail)};
            const std::u16string decoded = FromCodePage(pair);
            ASSERT_EQ(decoded.size(), 1u) << std::hex << lead << " " << trail;
            if (decoded[0] == u'\uFFFD') continue;
            ++defined;
            ASSERT_EQ(ToCodePage(decoded), pair) << std::hex << lead << " " << trail;
        }
    }
    EXPECT_GT(defined, 21000);  // GBK defines over 21,000 double-byte characters
}

TEST(CodePageTest, TryEncodingSaysWhetherEveryCharacterFits) {
    std::string out;
    EXPECT_TRUE(TryUtf8ToCodePage("中文 Lesson", out));
    EXPECT_EQ(out, kChineseGbk.substr(0, 4) + " Lesson");
    EXPECT_TRUE(TryUtf8ToCodePage("", out));
    EXPECT_FALSE(TryUtf8ToCodePage("Größe", out));
    EXPECT_EQ(out, "Gr??e");
    EXPECT_FALSE(FitsCodePage("\xEF\xBF\xBD"));  // a replacement character has no place either
    EXPECT_TRUE(FitsCodePage("it\xE2\x80\x99s"));  // U+2019, GBK A1 AF
    EXPECT_FALSE(TryToCodePage(u"\U0001F600", out));
}

TEST(CodePageTest, CharactersOutsideTheCodePageBecomeOneQuestionMarkEach) {
    EXPECT_EQ(ToCodePage(u"a\U0001F600b"), "a?b");  // emoji: one surrogate pair, one '?'
    EXPECT_EQ(ToCodePage(u"\U0001F600\U0001F601"), "??");
    EXPECT_EQ(ToCodePage(u"\u0E01中"), "?\xD6\xD0");  // Thai
    const std::u16string loneHigh{u'a', char16_t(0xD800), u'b'};
    const std::u16string loneLow{u'a', char16_t(0xDC00), u'b'};
    const std::u16string highAtEnd{u'a', char16_t(0xD83D)};
    const std::u16string twoHighs{char16_t(0xD83D), char16_t(0xD83D), char16_t(0xDE00)};
    EXPECT_EQ(ToCodePage(loneHigh), "a?b");
    EXPECT_EQ(ToCodePage(loneLow), "a?b");
    EXPECT_EQ(ToCodePage(highAtEnd), "a?");
    EXPECT_EQ(ToCodePage(twoHighs), "??");
}

TEST(CodePageTest, UndefinedBytesBecomeReplacementCharacters) {
    EXPECT_EQ(FromCodePage("a\xFF"
                           "b"),
              u"a\uFFFDb");
    EXPECT_EQ(FromCodePage("a\xD6"), u"a\uFFFD");              // lead byte cut off at the end
    EXPECT_EQ(FromCodePage("\xD6\n\xD6\xD0"), u"\uFFFD\n中");  // lead byte before a line end
    EXPECT_EQ(FromCodePage("\x81\x30x"), u"\uFFFD0x");         // four-byte GB18030 forms are not GBK
    EXPECT_EQ(FromCodePage("\xAA\xA1z"), u"\uFFFDz");          // unassigned pair: one character
    // Long runs of junk must decode to one replacement per byte, not stall.
    const std::string junk(100000, '\xFF');
    EXPECT_EQ(FromCodePage(junk), std::u16string(junk.size(), u'\uFFFD'));
}

TEST(CodePageTest, CharLengthAndPrefixNeverSplitAPair) {
    EXPECT_EQ(CodePageCharLength("\xD6\xD0", 0), 2u);
    EXPECT_EQ(CodePageCharLength("\xD6", 0), 1u);
    EXPECT_EQ(CodePageCharLength("\xD6;", 0), 1u);
    EXPECT_EQ(CodePageCharLength("\xB1]", 0), 2u);  // ']' can be a trail byte
    EXPECT_EQ(CodePagePrefixLength(kChineseGbk, 3), 2u);
    EXPECT_EQ(CodePagePrefixLength(kChineseGbk, 4), 4u);
    EXPECT_EQ(CodePagePrefixLength("a" + kChineseGbk, 2), 1u);
    EXPECT_EQ(CodePagePrefixLength(kChineseGbk, 100), kChineseGbk.size());
    EXPECT_EQ(CodePagePrefixLength(kChineseGbk, 0), 0u);
}

TEST(CodePageTest, Utf8DecodingReplacesIllFormedInput) {
    EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x98\x80"), u"\U0001F600");
    EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");            // overlong '/'
    EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
    EXPECT_EQ(Utf8ToUtf16("\xE4\xB8"), u"\uFFFD");                  // truncated 中
    EXPECT_EQ(Utf8ToUtf16("\xE4\xB8x"), u"\uFFFDx");
    EXPECT_EQ(Utf8ToUtf16("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD");  // above U+10FFFF
    EXPECT_EQ(Utf8ToCodePage("a\xFF"), "a?");
    const std::u16string lone{u'x', char16_t(0xDC00)};
    EXPECT_EQ(Utf16ToUtf8(lone), "x\xEF\xBF\xBD");
    EXPECT_EQ(Utf16ToUtf8(u"\U0001F600中"), "\xF0\x9F\x98\x80中");
}

TEST(CodePageTest, ConversionsOnSeveralThreadsAgree) {
    std::u16string text;
    for (int i = 0; i < 200; ++i) text += u"第" + std::u16string(1, char16_t(u'0' + i % 10)) + u"页 Page€\U0001F600";
    const std::string expected = ToCodePage(text);
    std::vector<int> failures(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 300; ++i) {
                const std::string bytes = ToCodePage(text);
                if (bytes != expected || ToCodePage(FromCodePage(bytes)) != expected) ++failures[t];
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(failures, std::vector<int>(4, 0));
}

}  // namespace
}  // namespace tovra::text
