// Modal OK boxes captioned with the application name, and the switch that lets tests record them instead.
#include "platform/framework/message_box.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>

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

    Answer Ask(QWidget* parent, const QString& text, const std::vector<Choice>& choices, Answer defaultAnswer,
               Answer escapeAnswer) override {
        QMessageBox box(QMessageBox::Question, QString::fromLatin1(kApplicationName), MessageBoxText(text),
                        QMessageBox::NoButton, parent);
        box.setTextFormat(Qt::PlainText);
        std::vector<std::pair<QAbstractButton*, Answer>> buttons;
        for (const Choice& choice : choices) {
            QAbstractButton* button = box.addButton(StandardButton(choice.answer));
            if (!choice.caption.isEmpty()) button->setText(choice.caption);
            buttons.emplace_back(button, choice.answer);
            if (choice.answer == defaultAnswer) box.setDefaultButton(static_cast<QPushButton*>(button));
            if (choice.answer == escapeAnswer) box.setEscapeButton(button);
        }
        box.exec();
        for (const auto& [button, answer] : buttons) {
            if (box.clickedButton() == button) return answer;
        }
        return escapeAnswer;
    }

private:
    static QMessageBox::StandardButton StandardButton(Answer answer) {
        switch (answer) {
            case Answer::Yes: return QMessageBox::Yes;
            case Answer::No: return QMessageBox::No;
            case Answer::Save: return QMessageBox::Save;
            case Answer::Discard: return QMessageBox::Discard;
            case Answer::Cancel: return QMessageBox::Cancel;
        }
        return QMessageBox::Cancel;
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

Answer RecordingMessageService::Ask(QWidget*, const QString& text, const std::vector<Choice>& choices,
                                    Answer defaultAnswer, Answer) {
    shown.append(text);
    asked.push_back(choices);
    if (answers.empty()) return defaultAnswer;
    const Answer answer = answers.front();
    answers.pop_front();
    return answer;
}

}  // namespace tovra::framework
