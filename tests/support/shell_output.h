// What a shell command prints on its standard output, for tests that ask FFmpeg's tools.
#pragma once

#include <cstdio>
#include <string>

namespace tovra::testing_support {

inline std::string Shell(const std::string& command) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    for (int c; p && (c = fgetc(p)) != EOF;) out += char(c);
    if (p) pclose(p);
    return out;
}

}  // namespace tovra::testing_support
