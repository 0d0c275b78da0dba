// The two files a deck import rewrites in the exported web site: the start page becomes a
// redirect to the course player, and the export's slide script gets the program's script
// appended, which hooks into slide loading.
#pragma once

#include <string>
#include <string_view>

namespace tovra {

// 169 bytes, no line end.
extern const std::string_view kDeckRedirectPage;

// The program's slide script: one line, appended after the export's script.
extern const std::string_view kProgramSlideScript;

// Creates or truncates path and writes the redirect page; false when it cannot be written.
bool WriteDeckRedirectPage(const std::string& path);

enum class SlideScriptPatch {
    Patched,         // "LoadSld" renamed "Load_ld" and the program's script appended
    AlreadyPatched,  // an earlier import patched this very file; left as it is
    NotExported,     // missing, unreadable or not the export's script; left as it is
};

SlideScriptPatch PatchSlideScript(const std::string& path);

}  // namespace tovra
