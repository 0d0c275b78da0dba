// The slides of a deck as the office suite converts it to a flat ODF presentation: for each page
// whether it has a title placeholder, the title's text, and whether the show passes over it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tovra::slides {

struct SlideTitle {
    bool hasTitle = false;  // the page has a frame of presentation class "title"
    std::string text;       // UTF-8; paragraphs joined with "\r", line breaks as "\v"
    bool hidden = false;    // the page's style keeps it out of the slide show
};

// Reads the pages of an .fodp document. Returns false when the text is not such a document.
bool ReadSlideTitles(std::string_view fodp, std::vector<SlideTitle>& slides);

}  // namespace tovra::slides
