// Importing a deck against the office suite's own PDF conversion of it, in the same run: the
// import (titles, slide pictures, web export, redirect and script patch) should take at most
// 1.3 times as long as LibreOffice alone takes to make the PDF.
//   tovra-deck-import-bench [deck] [rounds]   (default: the largest deck in ../shared/decks, 3)
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>

#include "course/deck_files.h"
#include "platform/slides/automation.h"
#include "platform/slides/office_process.h"

namespace fs = std::filesystem;
using namespace tovra;

namespace {

std::string LargestDeck(const std::string& folder) {
    std::string best;
    std::uintmax_t size = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().extension() != ".ppt" || entry.file_size() <= size) continue;
        size = entry.file_size();
        best = entry.path().string();
    }
    return best;
}

// LibreOffice converting the deck to PDF, with a fresh private profile as the import's runs have.
double OfficePdfSeconds(const QString& office, const std::string& deck) {
    QTemporaryDir work;
    QElapsedTimer timer;
    timer.start();
    QProcess process;
    process.start(office, {QStringLiteral("-env:UserInstallation=") +
                               QUrl::fromLocalFile(work.filePath(QStringLiteral("profile"))).toString(),
                           QStringLiteral("--headless"), QStringLiteral("--norestore"), QStringLiteral("--convert-to"),
                           QStringLiteral("pdf"), QStringLiteral("--outdir"), work.path(), QString::fromStdString(deck)});
    process.waitForFinished(600000);
    const double seconds = timer.elapsed() / 1000.0;
    if (!fs::exists(work.filePath(QString::fromStdString(fs::path(deck).stem().string() + ".pdf")).toStdString())) {
        std::fprintf(stderr, "the office suite made no PDF\n");
        return -1;
    }
    return seconds;
}

double ImportSeconds(const std::string& deck, int& slideCount) {
    QTemporaryDir course;
    fs::create_directories(course.filePath(QStringLiteral("web.files")).toStdString());
    QElapsedTimer timer;
    timer.start();
    std::unique_ptr<slides::Application> app = slides::CreateApplication();
    // Where the time goes: opening (both conversions), then the pictures still being drawn.
    double opened = 0, drawn = 0;
    app->SetProgressSink([&](slides::Stage stage, int, int) {
        if (stage == slides::Stage::Rendering && opened == 0) opened = timer.elapsed() / 1000.0;
        if (stage == slides::Stage::Writing) drawn = timer.elapsed() / 1000.0;
    });
    slides::Presentation* presentation = app->GetPresentations()->Open(deck, 0, 0, 0);
    slides::Slides* list = presentation->GetSlides();
    slideCount = list->GetCount();
    size_t titleBytes = 0;
    for (int i = 1; i <= slideCount; ++i) {
        slides::Shapes* shapes = list->Item(i)->GetShapes();
        if (shapes->GetHasTitle()) titleBytes += shapes->GetTitle()->GetTextFrame()->GetTextRange()->GetText().size();
    }
    const std::string folder = course.path().toStdString();
    presentation->SaveAs(folder + "/web.htm", slides::kSaveAsWebPage, 0);
    presentation->Close();
    app->Quit();
    WriteDeckRedirectPage(folder + "/web.htm");
    PatchSlideScript(folder + "/web.files/script.js");
    const double seconds = timer.elapsed() / 1000.0;
    std::printf("  import: titles read at %.2f s, pictures done at %.2f s, written at %.2f s\n", opened, drawn, seconds);
    if (titleBytes == 0 && slideCount > 0) std::fprintf(stderr, "(no slide of this deck has a title)\n");
    return seconds;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const std::string deck = argc > 1 && argv[1][0] ? argv[1] : LargestDeck(TOVRA_SHARED_DIR "/decks");
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const QString office = slides::FindOffice({});
    if (deck.empty() || office.isEmpty()) {
        std::fprintf(stderr, "needs a deck and LibreOffice (soffice)\n");
        return 1;
    }
    std::printf("deck: %s (%ju bytes)\n", deck.c_str(), fs::file_size(deck));
    std::vector<double> pdf, import;
    int slideCount = 0;
    // Alternating, so that both see the same machine load.
    for (int round = 0; round < rounds; ++round) {
        pdf.push_back(OfficePdfSeconds(office, deck));
        import.push_back(ImportSeconds(deck, slideCount));
        std::printf("round %d: office PDF %.2f s, import %.2f s\n", round + 1, pdf.back(), import.back());
    }
    const double ratio = Median(import) / Median(pdf);
    std::printf("slides: %d\nmedian office PDF conversion: %.2f s\nmedian import: %.2f s\nratio: %.2f (goal <= 1.30)\n",
                slideCount, Median(pdf), Median(import), ratio);
    return 0;
}
