// Slide pictures drawn from the office suite's PDF of a deck: one PNG per page, 1440 pixels wide
// (1440 × 1080 for a 4:3 slide), the height from the page's own aspect.
#pragma once

#include <atomic>
#include <string>
#include <vector>

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

// Draws page i (0-based) of pdfPath to outputs[i] for every i with a page, on `threads` threads;
// `done` counts finished pictures as they come. Returns the number of pictures written.
int RenderSlidePictures(const std::string& pdfPath, const std::vector<std::string>& outputs, int threads,
                        std::atomic<int>& done);

}  // namespace tovra::slides
