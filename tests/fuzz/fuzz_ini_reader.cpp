// libFuzzer target: ini look-ups (and one write) on arbitrary file contents must stay in bounds and agree.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>

#include "platform/text/code_page.h"
#include "platform/text/ini_file.h"

namespace {

using namespace tovra::text;

// tmpfs when there is one: every run writes the files again.
std::string TempPath(const char* name) {
    const std::filesystem::path folder = std::filesystem::is_directory("/dev/shm")
                                             ? std::filesystem::path("/dev/shm")
                                             : std::filesystem::temp_directory_path();
    return (folder / ("fuzz_ini_reader_" + std::to_string(getpid()) + "_" + name)).string();
}

void Store(const std::string& path, const uint8_t* data, size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) __builtin_trap();
    if (size > 0 && std::fwrite(data, 1, size, file) != size) __builtin_trap();
    std::fclose(file);
}

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

bool IsHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = TempPath("read.ini");
    static const std::string writePath = TempPath("write.ini");
    static const int cleanup = std::atexit([] {
        std::remove(path.c_str());
        std::remove(writePath.c_str());
    });
    (void)cleanup;
    Store(path, data, size);
    const bool utf16 = size >= 2 && data[0] == 0xFF && data[1] == 0xFE;

    // Names without undefined bytes, so that the wide and the narrow look-up must see the same names.
    const std::pair<std::string, std::string> names[] = {
        {"USER", "Sel"}, {"ClassMSG", "Page"}, {"s", "k"}, {"", ""}, {"\xD6\xD0\xCE\xC4", "\xB1]"}};
    for (const auto& [section, key] : names) {
        const std::u16string wide = ReadIniString(path, FromCodePage(section), FromCodePage(key), u"default", 4000);
        const std::u16string wideCut = ReadIniString(path, FromCodePage(section), FromCodePage(key), u"default", 7);
        Check(wideCut.size() <= 7 && wide.compare(0, wideCut.size(), wideCut) == 0);
        if (wideCut.size() < wide.size()) {  // a cut drops at most the high half of a pair it would split
            Check(wideCut.size() == 7 || (wideCut.size() == 6 && IsHighSurrogate(wide[6])));
            Check(!(IsHighSurrogate(wide[wideCut.size() - 1]) && IsLowSurrogate(wide[wideCut.size()])));
        }

        const std::string narrow = ReadIniStringA(path, section, key, "default", 4000);
        const std::string narrowCut = ReadIniStringA(path, section, key, "default", 7);
        Check(narrowCut.size() <= 7 && narrow.compare(0, narrowCut.size(), narrowCut) == 0);
        Check(narrowCut.size() == CodePagePrefixLength(narrow, 7));
        if (!utf16) Check(FromCodePage(narrow) == wide);
    }

    // A write must succeed on any readable file and be read back, leaving other look-ups as they were.
    Store(writePath, data, size);
    const std::u16string before = ReadIniString(writePath, u"s", u"k", u"default", 4000);
    Check(WriteIniString(writePath, "fuzz", "key", "value"));
    Check(ReadIniStringA(writePath, "fuzz", "key", "") == "value");
    Check(ReadIniString(writePath, u"fuzz", u"key", u"") == u"value");
    Check(ReadIniString(writePath, u"s", u"k", u"default", 4000) == before);
    return 0;
}
