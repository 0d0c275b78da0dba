// The capture settings: the camera's devices and format, the preview in the main window, the
// video-source menu and the bandwidth.
#include <QAction>
#include <QMenu>
#include <QRegularExpression>
#include <QWidget>

#include "app/bandwidth_dialog.h"
#include "app/command_ids.h"
#include "lang/language_table.h"
#include "platform/capture/format_dialog.h"
#include "platform/capture/preview_window.h"
#include "platform/shell/profile.h"
#include "platform/text/code_page.h"
#include "view/mirova_view.h"

namespace tovra {

namespace {

// The dialog's caption is the text of the menu command that opens it, without its access key.
QString MenuText(std::string_view section, std::string_view key) {
    QString text = lang::LookupText(section, key);
    text.remove(QRegularExpression(QStringLiteral("\\(&.\\)|&|\\.\\.\\.$")));
    return text.trimmed();
}

bool ShowCameraFormatDialog(QObject* parent, QPoint position, capture::StreamConfig& config) {
    capture::FormatDialogTexts texts;
    texts.title = MenuText("Class_1_CMD", "M32809");
    texts.ok = lang::LookupText("Class_SetBps", "T1");
    texts.cancel = lang::LookupText("Class_SetBps", "T2");
    return capture::ShowFormatDialog(qobject_cast<QWidget*>(parent), position, config, texts);
}

}  // namespace

void CMirovaView::SetUpCapture() {
    if (!mainFrame_ || captureSetUp_) return;
    captureSetUp_ = true;
    video_.SetPreviewPresenter(capture::MakeWidgetPreview);
    video_.SetFormatDialog(ShowCameraFormatDialog);
    const int dev = profile_ ? profile_->GetProfileInt(QStringLiteral("video"), QStringLiteral("dev"), 0) : 0;
    if (video_.DeviceCount() == 0) {
        const int selected = video_.EnumerateDevices(dev);
        if (selected != dev && profile_) {
            profile_->WriteProfileInt(QStringLiteral("video"), QStringLiteral("dev"), std::max(selected, 0));
        }
        video_.BuildGraph(this, mainFrame_->PreviewWindow());
    }
    QStringList names;
    for (int i = 0; i < video_.DeviceCount(); ++i) {
        names << QString::fromStdString(text::CodePageToUtf8(video_.Device(i).friendlyName));
    }
    SetVideoDevices(names);
    mainFrame_->RebuildMainMenu();
}

void CMirovaView::OnVideoSource(int index) {
    if (State() != RecordState::Stopped || !mainFrame_ || !mainFrame_->PreviewWindow()) return;
    // Stopped: the frame thread writes nothing while the device changes.
    video_.SelectDevice(index, this, mainFrame_->PreviewWindow());
    if (profile_) profile_->WriteProfileInt(QStringLiteral("video"), QStringLiteral("dev"), index);
}

void CMirovaView::OnVideoFormat() {
    if (State() == RecordState::Recording) return;
    video_.ShowFormatDialog(this);
}

void CMirovaView::OnSetBandwidth() { RunDialog(*bandwidthDialog_); }

void CMirovaView::OnPreviewResized() {
    if (mainFrame_) video_.SetPreviewWindow(mainFrame_->PreviewWindow());
}

void CMirovaView::FillVideoSourceMenu(QMenu* editMenu) {
    if (!editMenu || editMenu->actions().isEmpty()) return;
    QMenu* sources = editMenu->actions().first()->menu();
    if (!sources) return;
    sources->clear();
    constexpr int kMaxSources = cmd::kVideoSourceLast - cmd::kVideoSourceFirst + 1;
    for (int i = 0; i < videoDevices_.size() && i < kMaxSources; ++i) {
        QAction* action = sources->addAction(videoDevices_[i]);
        action->setData(cmd::kVideoSourceFirst + i);
    }
}

}  // namespace tovra
