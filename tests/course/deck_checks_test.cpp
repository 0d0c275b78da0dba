// What the import decides before and around the office suite: which files it refuses, how long
// the suite may take, which slides a show passes over, and how hidden slides are kept.
#include <gtest/gtest.h>

#include <zlib.h>

#include <QTemporaryDir>
#include <cstdint>
#include <fstream>
#include <string>

#include "course/course_folder.h"
#include "course/deck_import.h"
#include "platform/slides/automation.h"

namespace tovra {
namespace {

using slides::CheckDeckFile;
using slides::DeckFileCheck;

void Put16(std::string& out, uint16_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
}
void Put32(std::string& out, uint32_t v) {
    Put16(out, static_cast<uint16_t>(v & 0xFFFF));
    Put16(out, static_cast<uint16_t>(v >> 16));
}

// A zip package with one stored member, as an OpenDocument file is laid out.
std::string ZipWith(const std::string& name, const std::string& data) {
    const uint32_t crc = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()), data.size()));
    std::string zip = "PK\x03\x04";
    Put16(zip, 20); Put16(zip, 0); Put16(zip, 0); Put16(zip, 0); Put16(zip, 0);
    Put32(zip, crc); Put32(zip, data.size()); Put32(zip, data.size());
    Put16(zip, name.size()); Put16(zip, 0);
    zip += name + data;
    const uint32_t directory = zip.size();
    zip += "PK\x01\x02";
    Put16(zip, 20); Put16(zip, 20); Put16(zip, 0); Put16(zip, 0); Put16(zip, 0); Put16(zip, 0);
    Put32(zip, crc); Put32(zip, data.size()); Put32(zip, data.size());
    Put16(zip, name.size()); Put16(zip, 0); Put16(zip, 0); Put16(zip, 0); Put16(zip, 0);
    Put32(zip, 0); Put32(zip, 0);
    zip += name;
    const uint32_t directorySize = zip.size() - directory;
    zip += "PK\x05\x06";
    Put16(zip, 0); Put16(zip, 0); Put16(zip, 1); Put16(zip, 1);
    Put32(zip, directorySize); Put32(zip, directory); Put16(zip, 0);
    return zip;
}

TEST(DeckChecks, FilesAreJudgedByTheirBytesBeforeTheSuiteIsStarted) {
    QTemporaryDir dir;
    const auto file = [&](const char* name, const std::string& bytes) {
        const std::string path = dir.filePath(QString::fromLatin1(name)).toStdString();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    };
    const std::string ole("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    std::string encryptedName;
    for (char c : std::string("EncryptedSummary")) encryptedName += std::string{c, '\0'};

    EXPECT_EQ(CheckDeckFile(file("empty.ppt", "")), DeckFileCheck::Empty);
    EXPECT_EQ(CheckDeckFile(file("notes.pptx", "just some words, no deck")), DeckFileCheck::NotADeck);
    EXPECT_EQ(CheckDeckFile(dir.filePath(QStringLiteral("missing.ppt")).toStdString()), DeckFileCheck::Unreadable);
    EXPECT_EQ(CheckDeckFile(dir.path().toStdString()), DeckFileCheck::Unreadable);
    EXPECT_EQ(CheckDeckFile(file("plain.ppt", ole + std::string(600, '\0'))), DeckFileCheck::Ok);
    EXPECT_EQ(CheckDeckFile(file("locked.ppt", ole + std::string(100, '\0') + encryptedName)), DeckFileCheck::Protected);
    const std::string manifest = "<manifest:manifest><manifest:file-entry manifest:full-path=\"content.xml\">";
    EXPECT_EQ(CheckDeckFile(file("open.odp", ZipWith("META-INF/manifest.xml", manifest + "</manifest:file-entry>"))),
              DeckFileCheck::Ok);
    EXPECT_EQ(CheckDeckFile(file("locked.odp", ZipWith("META-INF/manifest.xml",
                                                      manifest + "<manifest:encryption-data/></manifest:file-entry>"))),
              DeckFileCheck::Protected);
    // A damaged package is left to the office suite, which says what it can.
    EXPECT_EQ(CheckDeckFile(file("cut.pptx", ZipWith("ppt/x.xml", "x").substr(0, 40))), DeckFileCheck::Ok);

    EXPECT_TRUE(slides::IsDeckFileName("/a/b/talk.pptx"));
    EXPECT_TRUE(slides::IsDeckFileName("show.ppsx"));
    EXPECT_FALSE(slides::IsDeckFileName("/a/.odp"));
    EXPECT_FALSE(slides::IsDeckFileName("/a/Talk.PPT"));  // case-sensitive, as the file system is
    EXPECT_FALSE(slides::IsDeckFileName("/a/talk.pptx.txt"));
}

TEST(DeckChecks, TheSuitesTimeGrowsWithTheDeckUpToAnHour) {
    EXPECT_EQ(slides::TimeLimitMs(0), 90000);
    EXPECT_EQ(slides::TimeLimitMs(1), 105000);
    EXPECT_EQ(slides::TimeLimitMs(10LL << 20), 90000 + 10 * 15000);
    EXPECT_LT(slides::TimeLimitMs(10LL << 20), slides::TimeLimitMs((10LL << 20) + 1));
    EXPECT_EQ(slides::TimeLimitMs(100LL << 30), 60 * 60 * 1000);
}

TEST(DeckChecks, AShowPassesOverHiddenSlidesAndTheListKeepsThem) {
    std::vector<CoursePage> pages = {{1, "A"}, {2, "B"}, {3, "C"}, {4, "D"}, {6, "F"}};
    pages[1].hidden = true;
    pages[2].hidden = true;
    EXPECT_EQ(StepShownSlide(pages, 6, 1, 1), 4);
    EXPECT_EQ(StepShownSlide(pages, 6, 4, -1), 1);
    EXPECT_EQ(StepShownSlide(pages, 6, 2, 1), 4);  // from a hidden slide opened in the tree
    EXPECT_EQ(StepShownSlide(pages, 6, 4, 1), 5);  // a slide the list lacks is still shown
    EXPECT_EQ(StepShownSlide(pages, 6, 6, 1), 0);
    EXPECT_EQ(StepShownSlide(pages, 6, 1, -1), 0);
    EXPECT_EQ(StepShownSlide(pages, 6, 0, 1), 1);
    EXPECT_EQ(StepShownSlide(pages, 6, 7, -1), 6);
    pages[0].hidden = true;
    EXPECT_EQ(StepShownSlide(pages, 6, 0, 1), 4);
    EXPECT_EQ(StepShownSlide({}, 0, 0, 1), 0);

    // The page list script keeps the mark, and reading it back finds exactly the hidden ones,
    // whatever the titles hold.
    pages = {{1, "{\"number\":9,\"hidden\":true}"}, {2, "B"}, {12, "L"}};
    pages[1].hidden = true;
    pages[2].hidden = true;
    const std::string script = FormatCoursePagesScript(pages);
    EXPECT_NE(script.find("{\"number\":2,\"hidden\":true,\"title\":\"B\"}"), std::string::npos) << script;
    EXPECT_EQ(HiddenPagesOf(script), (std::set<int>{2, 12}));
    EXPECT_TRUE(HiddenPagesOf(FormatCoursePagesScript({{1, "A"}})).empty());
}

}  // namespace
}  // namespace tovra
