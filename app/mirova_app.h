// The application object: start-up order, the framework's file commands, shut-down.
#pragma once

#include <QObject>
#include <QStringList>
#include <memory>

#include "platform/framework/command_router.h"

namespace tovra {

class CMainFrame;
class CMirovaDoc;
class CMirovaView;
namespace shell {
class Profile;
class RecentFileList;
class SingleInstanceGuard;
}  // namespace shell

class CMirovaApp : public QObject, public framework::CommandTarget {
    Q_OBJECT
public:
    CMirovaApp();
    ~CMirovaApp() override;

    // Returns true to run the event loop, false to end at once (another instance took over,
    // or the command line could not be processed).
    bool InitInstance(const QStringList& arguments);
    int ExitInstance(int exitCode);

    // The framework's open: remembered in the recent-file list, then loaded by the document.
    bool OpenDocumentFile(const QString& path);

    CMainFrame* MainFrame() const { return frame_; }
    CMirovaView* View() const { return view_; }
    framework::CommandRouter& Router() { return router_; }
    shell::RecentFileList& RecentFiles() { return *recent_; }

    bool OnCommand(int id) override;
    bool OnUpdateCommand(int id, framework::CommandState& state) override;
    bool HandlesCommand(int id) const override;

private:
    void AddToRecentFileList(const QString& path);
    void OnAppAbout();

    framework::CommandRouter router_;
    std::unique_ptr<shell::SingleInstanceGuard> guard_;
    std::unique_ptr<shell::Profile> profile_;
    std::unique_ptr<shell::RecentFileList> recent_;
    std::unique_ptr<CMirovaDoc> doc_;
    CMainFrame* frame_ = nullptr;  // owned by Qt once shown; deleted in the destructor
    CMirovaView* view_ = nullptr;  // child of the frame
};

// The project file named on a command line: the first argument that is not an option,
// before any "--webEngineArgs".
QString CommandLineFile(const QStringList& arguments);

}  // namespace tovra
