// The one message-box service: every user message goes through it, so tests can read what was shown.
#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace tovra::framework {

// Caption of every message box, and the application's name.
inline constexpr const char kApplicationName[] = "Tovra Editor";

class MessageService {
public:
    virtual ~MessageService();
    // Shows text modally with an OK button and returns when it is dismissed.
    virtual void Show(QWidget* parent, const QString& text) = 0;
};

// The service in use; the real one unless another was installed.
MessageService& Messages();

// Installs a service (not owned); nullptr restores the real one.
void SetMessageService(MessageService* service);

// The text as the box shows it: CR LF becomes a line break.
QString MessageBoxText(const QString& text);

// Records the texts instead of showing them, for tests of the modules that report.
class RecordingMessageService : public MessageService {
public:
    void Show(QWidget* parent, const QString& text) override;
    QStringList shown;  // texts in the order given, as given
};

}  // namespace tovra::framework
