// Importing decks against the office suite's own PDF conversion of each, in the same run: a
// course ready to present (titles, the first slide's picture, web export, redirect and script
// patch) should take at most 1.3 times as long as LibreOffice alone takes to make the PDF. The
// remaining pictures are drawn while the course is on show; their time is printed beside it.
//   tovra-deck-import-bench [deck or folder] [rounds]
//   (default: every deck of ../shared/decks, 3 rounds; a folder prints each deck and the worst)
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

#include "course/deck_import.h"
#include "platform/slides/automation.h"
#include "platform/slides/office_process.h"

namespace fs = std::filesystem;
using namespace tovra;

namespace {

// The decks of a folder the import takes, by name.
std::vector<std::string> DecksIn(const std::string& folder) {
    std::vector<std::string> decks;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.is_regular_file() && slides::IsDeckFileName(entry.path().string())) decks.push_back(entry.path().string());
    }
    std::sort(decks.begin(), decks.end());
    return decks;
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

struct ImportTimes {
    double ready = -1;     // the course stands, the first shown slide's picture in place
    double pictures = -1;  // every picture in place
    int slides = 0;
    std::string failure;   // why the deck was not imported
};

// The import as the editor runs it: the course stands on return and the job draws the rest.
ImportTimes Import(const std::string& deck, const std::string& languageFolder) {
    QTemporaryDir course;
    ImportTimes times;
    QElapsedTimer timer;
    timer.start();
    std::unique_ptr<slides::Application> app = slides::CreateApplication();
    DeckImportRequest request;
    request.deckPath = deck;
    request.folder = course.path().toStdString();
    request.languageFolder = languageFolder;
    request.drawLater = true;
    request.defaultTitle = [](int n) { return "Slide " + std::to_string(n); };
    DeckImportOutcome outcome = ImportDeckFiles(request, app.get());
    times.ready = timer.elapsed() / 1000.0;
    if (!outcome.Succeeded()) {
        static const char* const kWhy[] = {"", "no office suite", "unreadable", "empty", "not a deck", "protected",
                                           "damaged", "timed out", "cancelled", "failed"};
        times.failure = kWhy[static_cast<int>(outcome.failure)];
        if (!outcome.reason.empty()) times.failure += ": " + outcome.reason;
        return times;
    }
    if (outcome.pictures) outcome.pictures->Wait({});
    times.pictures = timer.elapsed() / 1000.0;
    times.slides = outcome.slideCount;
    return times;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct DeckResult {
    std::string deck;
    std::uintmax_t bytes = 0;
    int slides = 0;
    double pdf = 0, ready = 0, pictures = 0;
    double Ratio() const { return ready / pdf; }
};

void PrintResult(const DeckResult& r) {
    std::printf("%-60s %4d slides %9ju bytes  PDF %6.2f s  ready %6.2f s  all pictures %6.2f s  ratio %.2f\n",
                fs::path(r.deck).filename().c_str(), r.slides, r.bytes, r.pdf, r.ready, r.pictures, r.Ratio());
    std::fflush(stdout);  // in order with the rounds on standard error
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const std::string given = argc > 1 && argv[1][0] ? argv[1] : TOVRA_SHARED_DIR "/decks";
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const QString office = slides::FindOffice({});
    const std::string languageFolder = QCoreApplication::applicationDirPath().toStdString() + "/ELanguage/English";
    const std::vector<std::string> decks = fs::is_directory(given) ? DecksIn(given) : std::vector<std::string>{given};
    if (decks.empty() || office.isEmpty() || !fs::is_directory(languageFolder)) {
        std::fprintf(stderr, "needs decks, LibreOffice (soffice) and %s\n", languageFolder.c_str());
        return 1;
    }
    std::vector<DeckResult> results;
    for (const std::string& deck : decks) {
        DeckResult result{deck, fs::file_size(deck)};
        std::vector<double> pdf, ready, pictures;
        std::string failure;
        // Alternating, so that both see the same machine load.
        for (int round = 0; round < rounds && failure.empty(); ++round) {
            const ImportTimes times = Import(deck, languageFolder);
            if (!times.failure.empty()) {
                failure = times.failure;
                break;
            }
            const double seconds = OfficePdfSeconds(office, deck);
            if (seconds < 0) {
                failure = "no PDF from the office suite";
                break;
            }
            pdf.push_back(seconds);
            ready.push_back(times.ready);
            pictures.push_back(times.pictures);
            result.slides = times.slides;
            std::fprintf(stderr, "%s round %d: PDF %.2f s, ready %.2f s, pictures %.2f s\n",
                         fs::path(deck).filename().c_str(), round + 1, seconds, times.ready, times.pictures);
        }
        if (!failure.empty()) {
            std::printf("%-60s not imported: %s\n", fs::path(deck).filename().c_str(), failure.c_str());
            continue;
        }
        result.pdf = Median(pdf);
        result.ready = Median(ready);
        result.pictures = Median(pictures);
        PrintResult(result);
        results.push_back(result);
    }
    if (results.empty()) return 1;
    const auto by = [&](auto key) {
        return *std::max_element(results.begin(), results.end(), [&](const DeckResult& a, const DeckResult& b) {
            return key(a) < key(b);
        });
    };
    std::printf("\nmedians of %d rounds; goal: ratio <= 1.30 on every deck\n", rounds);
    std::printf("worst ratio:      ");
    PrintResult(by([](const DeckResult& r) { return r.Ratio(); }));
    std::printf("largest deck:     ");
    PrintResult(by([](const DeckResult& r) { return r.bytes; }));
    std::printf("most slides:      ");
    PrintResult(by([](const DeckResult& r) { return r.slides; }));
    return 0;
}
