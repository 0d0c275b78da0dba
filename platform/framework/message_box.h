// The one message-box service: every user message goes through it, so tests can read what was shown.
#pragma once

#include <QString>
#include <QStringList>

#include <deque>
#include <vector>

class QWidget;

namespace tovra::framework {

// Caption of every message box, and the application's name.
inline constexpr const char kApplicationName[] = "Tovra Editor";

// The answers a question can offer.
enum class Answer { Yes, No, Save, Discard, Cancel };

// One button of a question: its answer and its caption in the interface language (empty: the
// toolkit's own caption).
struct Choice {
    Answer answer;
    QString caption;
};

class MessageService {
public:
    virtual ~MessageService();
    // Shows text modally with an OK button and returns when it is dismissed.
    virtual void Show(QWidget* parent, const QString& text) = 0;
    // Asks a question with the given buttons; Enter gives defaultAnswer, Esc and closing the box
    // give escapeAnswer.
    virtual Answer Ask(QWidget* parent, const QString& text, const std::vector<Choice>& choices, Answer defaultAnswer,
                       Answer escapeAnswer) = 0;
};

// The service in use; the real one unless another was installed.
MessageService& Messages();

// Installs a service (not owned); nullptr restores the real one.
void SetMessageService(MessageService* service);

// The text as the box shows it: CR LF becomes a line break.
QString MessageBoxText(const QString& text);

// Records the texts instead of showing them, for tests of the modules that report. Questions
// are recorded in shown too and take the next of answers, or their default when none is left.
class RecordingMessageService : public MessageService {
public:
    void Show(QWidget* parent, const QString& text) override;
    Answer Ask(QWidget* parent, const QString& text, const std::vector<Choice>& choices, Answer defaultAnswer,
               Answer escapeAnswer) override;
    QStringList shown;           // texts in the order given, as given
    std::deque<Answer> answers;  // what the next questions are answered
    std::vector<std::vector<Choice>> asked;  // the buttons each question offered
};

}  // namespace tovra::framework
