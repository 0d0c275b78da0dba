// The web export of a deck: a main page and beside it a folder with the slide viewer
// "fullscreen.htm", the slide-loading script "script.js" and one page and one picture per slide.
#pragma once

#include <string>
#include <vector>

#include <QString>

namespace tovra::slides {

struct ExportPaths {
    QString mainFile;  // the main page as asked for, or a file already there differing only in case
    QString folder;    // its name without extension + ".files", or such a folder already there
};

// Where SaveAs writes for the asked file name; names are matched without regard to case, so an
// existing "web.files" serves for "Web.htm".
ExportPaths ResolveExportPaths(const QString& fileName);

struct ExportSlide {
    std::string title;  // UTF-8; empty when the slide has none
    int pictureWidth = 1440;
    int pictureHeight = 1080;
    bool hidden = false;  // the show passes over it
};

std::string SlidePageName(int number);     // "slide0001.htm"
std::string SlidePictureName(int number);  // "slide0001.png"

// Writes the main page, fullscreen.htm, script.js and the slide pages (not the pictures), and
// removes slide pages and pictures of an earlier export that has more slides. False when a file
// cannot be written.
bool WriteWebExport(const ExportPaths& paths, const std::string& deckName, const std::vector<ExportSlide>& slides);

}  // namespace tovra::slides
