// Slide pictures drawn from the office suite's PDF of a deck: one PNG per page, 1440 pixels wide
// (1440 × 1080 for a 4:3 slide), the height from the page's own aspect.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/slides/automation.h"

namespace tovra::slides {

inline constexpr int kPictureWidth = 1440;

struct PageSize {
    double widthPt = 0;
    double heightPt = 0;
};

// The page sizes of a PDF, in points; empty when it cannot be read.
std::vector<PageSize> ReadPageSizes(const std::string& pdfPath);

// Picture height for a page at kPictureWidth.
int PictureHeight(const PageSize& page);

// Draws the pages of a PDF as slide pictures on threads of its own, into a staging folder until
// the folder they belong in is known, then straight there. Each picture appears whole: it is
// written under a temporary name and renamed. `keepAlive` (the PDF's folder) lives as long as
// the job.
class SlidePictureJob final : public PictureJob {
public:
    // `sizes`: the PDF's pages; a page that cannot be drawn gets a white picture of its size.
    SlidePictureJob(std::string pdfPath, std::vector<PageSize> sizes, std::string stagingFolder, int threads,
                    std::shared_ptr<void> keepAlive);
    ~SlidePictureJob() override;  // cancels and waits for the threads

    // From now on the pictures go to `folder`; those already drawn are moved there. False when
    // one of them could not be moved.
    bool SetDestination(const std::string& folder);
    // Waits (without an event loop) until slide `number` is in place or cannot be drawn.
    void WaitFor(int number);

    void Prefer(int number) override;
    int Drawn() const override;
    int Total() const override { return pages_; }
    bool Finished() const override;
    bool Wait(const std::function<void(int drawn, int total)>& progress) override;
    void Cancel() override;

private:
    enum class State { Pending, Drawing, Staged, Placed, Failed };
    void Work();
    bool Place(int index);  // with mutex_ held

    const std::string pdf_;
    const std::vector<PageSize> sizes_;
    const int pages_;
    const std::string staging_;
    std::shared_ptr<void> keepAlive_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<State> states_;
    std::string destination_;
    int cursor_ = 0;  // the next page a thread takes, when still pending
    bool cancelled_ = false;
    bool writeFailed_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace tovra::slides
