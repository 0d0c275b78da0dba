// Processor-time readings the measuring programs share.
#pragma once

#include <cstdlib>
#include <ctime>
#include <string>

#include <sys/resource.h>
#include <unistd.h>

namespace tovra::bench {

// This process so far, all threads, seconds.
inline double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The calling thread so far, seconds.
inline double ThreadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

// The user and system time of a /proc/<pid>/stat or /proc/<pid>/task/<tid>/stat line, seconds;
// name and parent get the command's name and the parent's pid when asked for.
inline double StatCpuSeconds(const std::string& line, std::string* name = nullptr, long* parent = nullptr) {
    const size_t open = line.find('('), close = line.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close + 2 > line.size()) return 0;
    if (name) *name = line.substr(open + 1, close - open - 1);
    // After the name: state (3), ppid (4), ..., utime (14), stime (15).
    const char* p = line.c_str() + close + 2;
    double user = 0, system = 0;
    for (int field = 3; field <= 15 && *p; ++field) {
        char* end = nullptr;
        if (field == 4 && parent) *parent = std::strtol(p, &end, 10);
        if (field == 14) user = std::strtod(p, &end);
        if (field == 15) system = std::strtod(p, &end);
        while (*p && *p != ' ') ++p;
        while (*p == ' ') ++p;
    }
    return (user + system) / sysconf(_SC_CLK_TCK);
}

}  // namespace tovra::bench
