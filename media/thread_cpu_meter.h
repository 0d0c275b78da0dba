// Adds the calling thread's processor time from here to the end of the scope to a total in
// nanoseconds: how the writers tell benchmarks what their own calls cost.
#pragma once

#include <time.h>

#include <cstdint>

namespace tovra {

class ThreadCpuMeter {
public:
    explicit ThreadCpuMeter(uint64_t& total) : total_(total), start_(Now()) {}
    ~ThreadCpuMeter() { total_ += Now() - start_; }
    ThreadCpuMeter(const ThreadCpuMeter&) = delete;
    ThreadCpuMeter& operator=(const ThreadCpuMeter&) = delete;

private:
    static uint64_t Now() {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return static_cast<uint64_t>(t.tv_sec) * 1'000'000'000u + static_cast<uint64_t>(t.tv_nsec);
    }
    uint64_t& total_;
    uint64_t start_;
};

}  // namespace tovra
