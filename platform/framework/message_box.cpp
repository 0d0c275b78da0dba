// Modal OK boxes captioned with the application name, and the switch that lets tests record them instead.
#include "platform/framework/message_box.h"

#include <QMessageBox>

namespace tovra::framework {

namespace {

class RealMessageService : public MessageService {
public:
    void Show(QWidget* parent, const QString& text) override {
        QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kApplicationName), MessageBoxText(text),
                        QMessageBox::Ok, parent);
        // Texts carry paths and file contents; never let a '<' turn them into rich text.
        box.setTextFormat(Qt::PlainText);
        box.setDefaultButton(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Ok);
        box.exec();
    }
};

RealMessageService& RealService() {
    static RealMessageService service;
    return service;
}

MessageService* installed = nullptr;

}  // namespace

MessageService::~MessageService() = default;

MessageService& Messages() { return installed ? *installed : RealService(); }

void SetMessageService(MessageService* service) { installed = service; }

QString MessageBoxText(const QString& text) {
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return shown;
}

void RecordingMessageService::Show(QWidget*, const QString& text) { shown.append(text); }

}  // namespace tovra::framework
