// Start-up and shut-down of the program.
#include "app/mirova_app.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QScreen>

#include "app/about_dialog.h"
#include "lang/language_table.h"
#include <cerrno>
#include "app/command_ids.h"
#include "app/main_frame.h"
#include "app/mirova_doc.h"
#include "app/settings.h"
#include "platform/framework/message_box.h"
#include "platform/shell/file_type.h"
#include "platform/shell/profile.h"
#include "platform/shell/recent_files.h"
#include "platform/shell/single_instance.h"
#include "view/event_log.h"
#include "view/mirova_view.h"

namespace tovra {

QString CommandLineFile(const QStringList& arguments) {
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (arg == QLatin1String("--webEngineArgs")) break;
        if (arg.startsWith(QLatin1Char('-'))) continue;
        return arg;
    }
    return QString();
}

CMirovaApp::CMirovaApp() = default;

CMirovaApp::~CMirovaApp() {
    router_.SetTargets({});
    delete frame_;
}

bool CMirovaApp::InitInstance(const QStringList& arguments) {
    QString file = CommandLineFile(arguments);
    if (!file.isEmpty()) file = QFileInfo(file).absoluteFilePath();

    // 1. One running instance per user: a second start hands its file to the first and ends.
    guard_ = std::make_unique<shell::SingleInstanceGuard>();
    if (guard_->HandOffToRunning(file.isEmpty() ? QStringList() : QStringList{file})) {
        LogEvent(QStringLiteral("handed-off"), file);
        return false;
    }
    guard_->Listen();

    // 2.-5. The control container, OLE, COM and 3D controls have no meaning here.

    // 6.-7. Per-user profile with the four-entry recent-file list.
    profile_ = std::make_unique<shell::Profile>();
    recent_ = std::make_unique<shell::RecentFileList>(4);
    recent_->Load(profile_->Settings());

    // 8.-9. Program folder and language.
    LocateProgram(QCoreApplication::applicationFilePath().toStdString());
    Program().languageFile = LanguageFileFromSetting(ReadSetting({}, "Sel", kDefaultLanguageFile));

    // 10. One document, one frame, one view for the whole run.
    view_ = new CMirovaView;
    view_->SetProfile(profile_.get());
    frame_ = new CMainFrame(router_, view_);
    doc_ = std::make_unique<CMirovaDoc>(view_);
    router_.SetTargets({view_, frame_, this});
    view_->SetRecentFileSink([this](const QString& path) { AddToRecentFileList(path); });
    frame_->SetRecentFiles(recent_->Entries());
    router_.StartIdleUpdates();

    connect(guard_.get(), &shell::SingleInstanceGuard::activateRequested, frame_, &CMainFrame::BringToFront);
    connect(guard_.get(), &shell::SingleInstanceGuard::openRequested, this,
            [this](const QString& path) { OpenDocumentFile(path); });

    // 11. Let the desktop open ".lsn" files with this program, unless the installed package
    // registers them already.
    if (!shell::InstalledRegistration(QString::fromStdString(Program().installedPrefix))) {
        shell::RegisterShellFileTypes(QCoreApplication::applicationFilePath());
    }

    // 12. The command line: a file to open, or an empty start.
    if (!file.isEmpty()) {
        // A file the framework cannot open ends the start; one that opens but is no course
        // leaves an empty editor, having said so.
        const QFileInfo info(file);
        const bool openable = info.isFile() && info.isReadable();
        OpenDocumentFile(file);
        if (!openable) return false;
    } else {
        doc_->OnNewDocument();
    }
    view_->OnInitialUpdate();

    // 13. Always maximised. Without a window manager the request is not honoured, so the
    // window also takes the whole screen's size itself.
    if (QScreen* screen = QGuiApplication::primaryScreen()) frame_->setGeometry(screen->availableGeometry());
    frame_->showMaximized();
    LogEvent(QStringLiteral("started"), QString::number(QCoreApplication::applicationPid()));
    return true;
}

int CMirovaApp::ExitInstance(int exitCode) {
    if (recent_ && profile_) {
        recent_->Save(profile_->Settings());
        profile_->Settings().sync();
    }
    return exitCode;
}

bool CMirovaApp::OpenDocumentFile(const QString& path) {
    const QFileInfo info(path);
    // A file that cannot be opened leaves the recent files; an opened one joins them (the view
    // adds it once the course is really open).
    const auto forget = [&] {
        const qsizetype index = recent_->Entries().indexOf(info.absoluteFilePath());
        if (index < 0) return;
        recent_->Remove(static_cast<int>(index));
        frame_->SetRecentFiles(recent_->Entries());
        recent_->Save(profile_->Settings());
    };
    if (!info.isFile() || !info.isReadable()) {
        framework::Messages().Show(
            frame_, lang::MessageWith("CannotRead", {path, lang::SystemReason(info.exists() ? EACCES : ENOENT)}));
        forget();
        return false;
    }
    // While a recording runs no other course opens (the view says why); the file stays listed.
    if (view_->State() != RecordState::Stopped) return view_->MayLeaveCourse();
    if (!doc_->Serialize(true, info.absoluteFilePath())) {
        forget();
        return false;
    }
    return true;
}

void CMirovaApp::AddToRecentFileList(const QString& path) {
    recent_->Add(QFileInfo(path).absoluteFilePath());
    frame_->SetRecentFiles(recent_->Entries());
    // Stored at once, so that a session ended from outside loses nothing.
    recent_->Save(profile_->Settings());
    profile_->Settings().sync();
}

void CMirovaApp::OnAppAbout() {
    AboutDialog about(frame_);
    about.exec();
}

bool CMirovaApp::HandlesCommand(int id) const {
    return id == cmd::kFileNew || id == cmd::kFileOpen || id == cmd::kAppAbout || id == cmd::kAppExit ||
           (id >= cmd::kFileMruFirst && id <= cmd::kFileMruLast);
}

bool CMirovaApp::OnCommand(int id) {
    if (id == cmd::kAppAbout) {
        OnAppAbout();
    } else if (id == cmd::kAppExit) {
        frame_->close();
    } else if (id == cmd::kFileNew) {
        doc_->OnNewDocument();
    } else if (id == cmd::kFileOpen) {
        view_->OnFileOpen();
    } else if (id >= cmd::kFileMruFirst && id <= cmd::kFileMruLast) {
        const int index = id - cmd::kFileMruFirst;
        if (index < recent_->Entries().size()) OpenDocumentFile(recent_->Entries()[index]);
    } else {
        return false;
    }
    return true;
}

bool CMirovaApp::OnUpdateCommand(int id, framework::CommandState& state) {
    if (id >= cmd::kFileMruFirst && id <= cmd::kFileMruLast) {
        state.enabled = id - cmd::kFileMruFirst < recent_->Entries().size() && view_->State() == RecordState::Stopped;
        return true;
    }
    return false;
}

}  // namespace tovra
