// Zip archives as other tools read them: Python's zipfile and Info-ZIP's unzip.
#include "platform/files/zip_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "tests/support/shell_output.h"
#include "tests/support/temp_dir.h"

namespace tovra {
namespace {

using testing::TempDir;
using testing_support::Shell;

TEST(ZipWriter, OtherToolsReadEveryEntryWithItsUtf8NameAndBytes) {
    TempDir dir;
    // A megabyte that compresses and one that does not.
    std::string text, noise;
    for (int i = 0; i < 40000; ++i) text += "line " + std::to_string(i) + " of the page\n";
    std::mt19937 random(1);
    for (int i = 0; i < (1 << 20); ++i) noise.push_back(static_cast<char>(random()));
    std::ofstream(dir / "big.txt", std::ios::binary) << text;
    std::ofstream(dir / "video.webm", std::ios::binary) << noise;
    const std::string zip = dir / "course.zip";
    {
        ZipWriter writer(zip);
        ASSERT_TRUE(writer.AddBytes("imsmanifest.xml", "<manifest/>"));
        ASSERT_TRUE(writer.AddBytes("web.files/课程 Größe.htm", "<p>\xe4\xb8\xad</p>"));
        ASSERT_TRUE(writer.AddBytes("web.files/empty.js", ""));
        ASSERT_TRUE(writer.AddFile("web.files/big.txt", dir / "big.txt"));
        ASSERT_TRUE(writer.AddFile("web.files/video001.webm", dir / "video.webm"));
        EXPECT_FALSE(std::filesystem::exists(zip));  // not before it is whole
        ASSERT_TRUE(writer.Finish()) << writer.Error();
    }
    EXPECT_EQ(Shell("unzip -tq '" + zip + "' 2>&1"), "No errors detected in compressed data of " + zip + ".\n");
    const std::string script =
        "import sys, zipfile\n"
        "z = zipfile.ZipFile(sys.argv[1])\n"
        "for i in z.infolist():\n"
        "    print(i.filename, i.compress_type, i.flag_bits & 0x800, i.file_size, len(z.read(i)))\n"
        "print(z.read('web.files/big.txt') == open(sys.argv[2], 'rb').read(),"
        " z.read('web.files/video001.webm') == open(sys.argv[3], 'rb').read(),"
        " z.read('web.files/课程 Größe.htm').decode())\n";
    std::ofstream(dir / "read.py") << script;
    EXPECT_EQ(Shell("python3 '" + (dir / "read.py") + "' '" + zip + "' '" + (dir / "big.txt") + "' '" +
                    (dir / "video.webm") + "'"),
              "imsmanifest.xml 8 2048 11 11\n"
              "web.files/课程 Größe.htm 8 2048 10 10\n"
              "web.files/empty.js 8 2048 0 0\n"
              "web.files/big.txt 8 2048 " + std::to_string(text.size()) + " " + std::to_string(text.size()) + "\n"
              "web.files/video001.webm 0 2048 1048576 1048576\n"  // stored: compressed already
              "True True <p>中</p>\n");
    // Deflated for real: the text takes far less room than its size.
    EXPECT_LT(std::filesystem::file_size(zip), text.size() / 3 + noise.size() + 4096);
}

TEST(ZipWriter, RefusesUnsafeOrRepeatedNamesAndLeavesNothingUnlessFinished) {
    TempDir dir;
    const std::string zip = dir / "out.zip";
    {
        ZipWriter writer(zip);
        for (const char* bad : {"../escape.htm", "/etc/passwd", "a//b", "a/./b", "a\\b", "", "web.files/"}) {
            ZipWriter other(dir / "other.zip");
            EXPECT_FALSE(other.AddBytes(bad, "x")) << bad;
            EXPECT_FALSE(other.Error().empty());
        }
        ASSERT_TRUE(writer.AddBytes("index.htm", "a"));
        EXPECT_FALSE(writer.AddBytes("index.htm", "b"));
        EXPECT_NE(writer.Error().find("index.htm"), std::string::npos);
        EXPECT_FALSE(writer.Finish());  // after a failure the archive is not made
        EXPECT_FALSE(writer.AddFile("missing.htm", dir / "missing.htm"));
    }
    {
        ZipWriter unfinished(zip);
        ASSERT_TRUE(unfinished.AddBytes("index.htm", "a"));
    }
    // Neither the archive nor a temporary file is left.
    EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << Shell("ls -a '" + dir.path() + "'");

    // A folder that cannot be written says why.
    ZipWriter nowhere("/proc/tovra-no-such-folder/out.zip");
    EXPECT_FALSE(nowhere.AddBytes("index.htm", "a"));
    EXPECT_FALSE(nowhere.Finish());
    EXPECT_NE(nowhere.Error().find("No such file"), std::string::npos) << nowhere.Error();
}

}  // namespace
}  // namespace tovra
