#include "app/command_line.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include <QApplication>
#include <QCoreApplication>
#include <memory>
#include <QDir>
#include <QFileInfo>

#include "app/create_course_dialog.h"
#include "app/settings.h"
#include "course/course_folder.h"
#include "course/deck_import.h"
#include "course/project_file.h"
#include "course/project_open.h"
#include "course/scorm_export.h"
#include "publish/html_page_pictures.h"
#include "publish/lecture_video_export.h"
#include "course/replaced_course.h"
#include "lang/language_table.h"
#include "platform/files/whole_file.h"
#include "platform/slides/automation.h"
#include "view/course_export.h"
#include "view/title_texts.h"

namespace tovra {

namespace {

namespace fs = std::filesystem;

constexpr const char* kVerbs[] = {"--import", "--export-scorm", "--export-video", "--help", "-h", "--version"};

void Say(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fprintf(stderr, "%s\n", bytes.constData());
}

int Fail(const QString& message) {
    Say(message);
    return 1;
}

QString Usage() {
    const QString indent = QStringLiteral("  ");
    return lang::MessageText("CliUsage") + QLatin1Char('\n') + indent +
           QStringLiteral("tovra-editor --import DECK FOLDER [--replace]\n") + indent + indent +
           lang::MessageText("CliImport") + QLatin1Char('\n') + indent + QStringLiteral("  --replace  ") +
           lang::MessageText("CliReplace") + QLatin1Char('\n') + indent +
           QStringLiteral("tovra-editor --export-scorm PROJECT.lsn OUT.zip\n") + indent + indent +
           lang::MessageText("CliExportScorm") + QLatin1Char('\n') + indent +
           QStringLiteral("tovra-editor --export-video PROJECT.lsn OUT.mp4 [--size 1280x720|1920x1080]\n") + indent + indent +
           lang::MessageText("CliExportVideo") + QLatin1Char('\n') + indent + QStringLiteral("tovra-editor --help       ") +
           lang::MessageText("CliHelp") + QLatin1Char('\n') + indent + QStringLiteral("tovra-editor --version    ") +
           lang::MessageText("CliVersion");
}

QString NotUnderstood(const std::vector<std::string>& args) {
    QStringList words;
    for (const std::string& arg : args) words << QString::fromLocal8Bit(arg.c_str());
    return lang::MessageWith("CliUnknown", {words.join(QLatin1Char(' '))});
}

QString CannotWrite(const std::string& folder, int errorNumber) {
    return lang::MessageWith("CannotWrite", {QString::fromStdString(folder), lang::SystemReason(errorNumber)});
}

// One line per step on standard error; repeated reports of the same step are not repeated.
class ProgressLines {
public:
    void Report(slides::Stage stage, int done, int total) {
        QString line;
        switch (stage) {
            case slides::Stage::Opening: line = lang::MessageText("ImportOpen"); break;
            case slides::Stage::ReadingSlide: line = lang::MessageNumbers("ImportSlide", {done, total}); break;
            case slides::Stage::Rendering:
                // Pictures come fast: every tenth, and the last.
                if (total > 0 && done % 10 != 0 && done != total) return;
                line = lang::MessageWith("PicturesDrawing", {QString::number(done), QString::number(total)});
                break;
            case slides::Stage::Writing: line = lang::MessageText("ImportWrite"); break;
        }
        if (line == last_) return;
        last_ = line;
        Say(line);
    }

private:
    QString last_;
};

int Import(const std::string& deckArg, const std::string& folderArg, bool replace) {
    const std::string deck = QFileInfo(QString::fromLocal8Bit(deckArg.c_str())).absoluteFilePath().toStdString();
    std::string folder = QDir::cleanPath(QFileInfo(QString::fromLocal8Bit(folderArg.c_str())).absoluteFilePath()).toStdString();
    const QString deckName = QFileInfo(QString::fromStdString(deck)).fileName();
    if (!QFileInfo(QString::fromStdString(deck)).isFile()) {
        DeckImportOutcome missing;
        missing.failure = DeckImportFailure::Unreadable;
        missing.systemError = QFileInfo::exists(QString::fromStdString(deck)) ? EISDIR : ENOENT;
        return Fail(DeckImportMessage(missing, QString::fromStdString(deck)));
    }
    if (!slides::IsDeckFileName(deck)) return Fail(lang::MessageWith("DeckNotADeck", {deckName}));

    // The folder, made where missing; what could not be made is said with the folder that refused.
    const bool existed = QFileInfo(QString::fromStdString(folder)).isDir();
    if (!existed) {
        std::error_code ec;
        fs::create_directories(folder, ec);
        if (ec) {
            std::string refusing = folder;
            while (!refusing.empty() && !QFileInfo(QString::fromStdString(refusing)).isDir()) {
                refusing = refusing.substr(0, refusing.rfind('/'));
            }
            return Fail(CannotWrite(refusing.empty() ? folder : refusing, ec.value()));
        }
    } else if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        return Fail(CannotWrite(folder, errno));
    }
    const auto removeMade = [&] {
        std::error_code ec;
        if (!existed) fs::remove_all(folder, ec);
    };

    ReplacedCourse replaced;
    if (HoldsCourse(folder)) {
        if (!replace) return Fail(lang::MessageWith("CliHoldsCourse", {QString::fromStdString(folder)}));
        if (!replaced.MoveAside(folder)) return Fail(CannotWrite(folder, errno ? errno : EACCES));
    }

    ProgressLines progress;
    DeckImportRequest request;
    request.deckPath = deck;
    request.folder = folder;
    request.languageFolder = lang::LanguageFolder();
    request.defaultTitle = [](int n) { return DefaultPageTitle(n); };
    request.progress = [&progress](slides::Stage stage, int done, int total) { progress.Report(stage, done, total); };
    std::unique_ptr<slides::Application> app = slides::CreateApplication();
    const DeckImportOutcome outcome = ImportDeckFiles(request, app.get());
    if (!outcome.Succeeded()) {
        removeMade();
        return Fail(DeckImportMessage(outcome, deckName));
    }

    CourseProject course;
    course.folder = folder;
    course.deckPath = deck;
    const std::string stem = QFileInfo(deckName).completeBaseName().toStdString();
    course.projectFileName = stem + ".lsn";
    course.courseName = stem;
    course.teacherName = lang::Message("TName");
    course.unitName = lang::Message("FName");
    course.makeDate = CreateCourseDialog::FormatMakeDate(std::time(nullptr));
    course.pages = outcome.pages;
    course.pageCount = static_cast<int16_t>(outcome.slideCount);
    const std::string project = course.ProjectFilePath();
    if (!WriteFileAtomically(project, FormatProjectFile(course)) ||
        !WriteFileAtomically(CoursePagesScriptPath(folder), FormatCoursePagesScript(course.pages)) ||
        !WriteFileAtomically(CourseDetailsScriptPath(folder), FormatCourseDetailsScript({course.unitName, course.makeDate}))) {
        const int why = errno;
        removeMade();
        return Fail(CannotWrite(folder, why));
    }
    replaced.Drop();
    Say(lang::MessageWith("CliDone", {QString::fromStdString(project)}));
    std::printf("%s\n", project.c_str());
    return 0;
}

QString AbsolutePath(const std::string& arg) {
    return QDir::cleanPath(QFileInfo(QString::fromLocal8Bit(arg.c_str())).absoluteFilePath());
}

// Why a project file given to an export could not be opened.
QString CannotOpenProject(const OpenedProject& opened, const std::string& path) {
    if (opened.outcome != OpenedProject::Outcome::FailedOpen) return lang::MessageText("ErrFile");
    const int why = ::access(path.c_str(), R_OK) == 0 ? EISDIR : errno;
    return lang::MessageWith("CannotRead", {QString::fromStdString(path), lang::SystemReason(why)});
}

int ExportScorm(const std::string& projectArg, const std::string& zipArg) {
    const std::string path = AbsolutePath(projectArg).toStdString();
    const std::string zip = AbsolutePath(zipArg).toStdString();
    const OpenedProject opened = LoadProjectFile(path);
    if (opened.outcome != OpenedProject::Outcome::Opened) return Fail(CannotOpenProject(opened, path));
    const ScormExportOutcome outcome = ExportScormPackage(opened.project, zip, [&](std::size_t done, std::size_t total) {
        // Every tenth file, and the last.
        if (done % 10 != 0 && done != total) return;
        Say(lang::MessageNumbers("ScormFile", {static_cast<int>(done), static_cast<int>(total)}));
    });
    if (outcome.failure != ScormExportFailure::None) return Fail(ScormExportMessage(outcome, zip));
    Say(ScormExportMessage(outcome, zip));
    std::printf("%s\n", zip.c_str());
    return 0;
}

int ExportVideo(const std::string& projectArg, const std::string& mp4Arg, const std::string& size) {
    LectureVideoOptions options;
    if (size == "1920x1080") {
        options.width = 1920;
        options.height = 1080;
    } else if (!size.empty() && size != "1280x720") {
        return Fail(lang::MessageWith("VideoSize", {QString::fromStdString(size)}));
    }
    const std::string path = AbsolutePath(projectArg).toStdString();
    const std::string mp4 = AbsolutePath(mp4Arg).toStdString();
    const OpenedProject opened = LoadProjectFile(path);
    if (opened.outcome != OpenedProject::Outcome::Opened) return Fail(CannotOpenProject(opened, path));
    const CourseProject& course = opened.project;
    const std::string web = course.folder + "/web.files";
    std::unique_ptr<PagePictures> pages;
    if (course.IsBlank()) pages = std::make_unique<HtmlPagePictures>(web);
    else pages = std::make_unique<DeckPagePictures>(web);
    options.pageName = VideoChapterName;
    uint64_t told = ~0ull;
    const VideoExportOutcome outcome = ExportLectureVideo(course, mp4, *pages, options, [&](uint64_t done, uint64_t total) {
        // At the start of every ten seconds of the lecture.
        if (done / 10000 != told) {
            told = done / 10000;
            Say(lang::MessageNumbers("VideoProgress", {static_cast<int>(done / 1000), static_cast<int>((total + 999) / 1000)}));
        }
        return true;
    });
    if (outcome.failure != VideoExportFailure::None) return Fail(VideoExportMessage(outcome, mp4));
    Say(VideoExportMessage(outcome, mp4));
    std::printf("%s\n", mp4.c_str());
    return 0;
}

// Splits the arguments after the verb into operands and its options: "--replace" (when replace is
// given; it may repeat) and "--size VALUE" (when size is given; once). False on any other option.
bool SplitOperands(const std::vector<std::string>& args, bool* replace, std::string* size,
                   std::vector<std::string>& operands) {
    for (size_t i = 1; i < args.size(); ++i) {
        if (replace && args[i] == "--replace") {
            *replace = true;
        } else if (size && args[i] == "--size" && i + 1 < args.size() && size->empty()) {
            *size = args[++i];
        } else if (args[i].rfind("--", 0) == 0) {
            return false;
        } else {
            operands.push_back(args[i]);
        }
    }
    return true;
}

}  // namespace

bool IsCommandLineVerb(int argc, char* argv[]) {
    if (argc < 2) return false;
    for (const char* verb : kVerbs) {
        if (std::string(argv[1]) == verb) return true;
    }
    return false;
}

int RunCommandLine(int argc, char* argv[]) {
    // No display is needed or touched: the import drives the office suite as a process, and the
    // video's HTML pages are drawn by the browser engine off screen.
    const bool video = std::string(argv[1]) == "--export-video";
    std::unique_ptr<QCoreApplication> qtApp;
    if (video) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        // The browser engine's start-up report is not for the teacher.
        if (qEnvironmentVariableIsEmpty("QT_LOGGING_RULES")) qputenv("QT_LOGGING_RULES", "qt.webenginecontext.info=false");
        // Chromium refuses to start as root unless its sandbox is off; no GPU is needed off screen.
        if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX")) {
            qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
        }
        if (qEnvironmentVariableIsEmpty("QTWEBENGINE_CHROMIUM_FLAGS")) {
            qputenv("QTWEBENGINE_CHROMIUM_FLAGS", "--disable-gpu --disable-gpu-compositing");
        }
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
        qtApp = std::make_unique<QApplication>(argc, argv);
    } else {
        qtApp = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("Tovra Editor"));
    QCoreApplication::setOrganizationName(QStringLiteral("Local AppWizard-Generated Applications"));
    LocateProgram(QCoreApplication::applicationFilePath().toStdString());
    Program().languageFile = LanguageFileFromSetting(ReadSetting({}, "Sel", kDefaultLanguageFile));

    const std::vector<std::string> args(argv + 1, argv + argc);
    const std::string& verb = args[0];
    if (verb == "--help" || verb == "-h") {
        if (args.size() != 1) return Fail(NotUnderstood(args));
        std::printf("%s\n", Usage().toUtf8().constData());
        return 0;
    }
    if (verb == "--version") {
        if (args.size() != 1) return Fail(NotUnderstood(args));
        std::printf("tovra-editor %s\n", TOVRA_VERSION);
        return 0;
    }
    // The verbs' operands, with the options each takes anywhere after the verb.
    const auto refused = [&] { return Fail(NotUnderstood(args) + QLatin1Char('\n') + Usage()); };
    std::vector<std::string> operands;
    std::string size;
    bool replace = false;
    if (!SplitOperands(args, verb == "--import" ? &replace : nullptr, video ? &size : nullptr, operands) ||
        operands.size() != 2) {
        return refused();
    }
    if (verb == "--export-scorm") return ExportScorm(operands[0], operands[1]);
    if (video) return ExportVideo(operands[0], operands[1], size);
    return Import(operands[0], operands[1], replace);
}

}  // namespace tovra
