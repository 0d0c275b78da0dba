// The message service: the real modal box as the user sees it, and swapping in the recorder.
#include "platform/framework/message_box.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

namespace tovra::framework {
namespace {

// What the box looked like when it was found on screen.
struct SeenBox {
    bool found = false;
    bool modal = false;
    QWidget* parent = nullptr;
    QString caption, text;
    Qt::TextFormat format = Qt::AutoText;
    QMessageBox::Icon icon = QMessageBox::Critical;
    QList<QMessageBox::StandardButton> buttons;
};

// Shows text through Messages() while a timer in the box's own event loop reads the box and
// presses OK. Gives up after about five seconds so a broken build fails instead of hanging.
SeenBox ShowAndInspect(QWidget* parent, const QString& text) {
    SeenBox seen;
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            if (!box || !box->isVisible()) continue;
            seen = {true,        box->isModal(),    box->parentWidget(), box->windowTitle(),
                    box->text(), box->textFormat(), box->icon(),         {}};
            for (QAbstractButton* button : box->buttons()) seen.buttons.append(box->standardButton(button));
            timer.stop();
            if (QAbstractButton* ok = box->button(QMessageBox::Ok))
                ok->click();
            else
                box->done(0);
            return;
        }
        if (++ticks > 250) timer.stop();
    });
    timer.start(20);
    Messages().Show(parent, text);
    return seen;
}

TEST(MessageServiceTest, RealBoxIsModalPlainTextWithOnlyOkAndTheApplicationCaption) {
    SetMessageService(nullptr);
    const SeenBox seen = ShowAndInspect(nullptr, QStringLiteral("Failed Open: \r\n/home/t/<b>a&b</b>.lsn"));
    ASSERT_TRUE(seen.found) << "no message box appeared";
    EXPECT_TRUE(seen.modal);
    EXPECT_EQ(seen.caption, QStringLiteral("Tovra Editor"));
    EXPECT_EQ(seen.text, QStringLiteral("Failed Open: \n/home/t/<b>a&b</b>.lsn"));
    EXPECT_EQ(seen.format, Qt::PlainText) << "paths must never be read as markup";
    EXPECT_EQ(seen.buttons, QList<QMessageBox::StandardButton>{QMessageBox::Ok});
    EXPECT_TRUE(seen.icon == QMessageBox::NoIcon || seen.icon == QMessageBox::Information);

    QWidget window;
    window.show();
    EXPECT_EQ(ShowAndInspect(&window, QStringLiteral("x")).parent, &window);
}

// Asks through the real box while a timer reads it and then presses key (or clicks the button
// with caption click).
Answer AskAndAnswer(int key, const QString& click, QStringList* captions, QString* defaultCaption) {
    QTimer timer;
    int ticks = 0;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            if (!box || !box->isVisible()) continue;
            timer.stop();
            for (QAbstractButton* button : box->buttons()) *captions << button->text();
            if (box->defaultButton()) *defaultCaption = box->defaultButton()->text();
            for (QAbstractButton* button : box->buttons()) {
                if (button->text() == click) {
                    button->click();
                    return;
                }
            }
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
            QCoreApplication::sendEvent(box, &press);
            return;
        }
        if (++ticks > 250) timer.stop();
    });
    timer.start(20);
    return Messages().Ask(nullptr, QStringLiteral("Replace it?"),
                          {{Answer::Yes, QStringLiteral("&Ja")}, {Answer::No, QStringLiteral("&Nein")}}, Answer::No,
                          Answer::No);
}

TEST(MessageServiceTest, RealQuestionHasTheGivenCaptionsAndItsDefaultAndEscapeAnswers) {
    SetMessageService(nullptr);
    QStringList captions;
    QString defaultCaption;
    EXPECT_EQ(AskAndAnswer(Qt::Key_Return, QString(), &captions, &defaultCaption), Answer::No);
    EXPECT_EQ(captions, (QStringList{QStringLiteral("&Ja"), QStringLiteral("&Nein")}));
    EXPECT_EQ(defaultCaption, QStringLiteral("&Nein"));
    captions.clear();
    EXPECT_EQ(AskAndAnswer(Qt::Key_Escape, QString(), &captions, &defaultCaption), Answer::No);
    EXPECT_EQ(AskAndAnswer(0, QStringLiteral("&Ja"), &captions, &defaultCaption), Answer::Yes);

    RecordingMessageService recorder;
    SetMessageService(&recorder);
    recorder.answers = {Answer::Yes};
    EXPECT_EQ(Messages().Ask(nullptr, QStringLiteral("q1"), {{Answer::Yes, {}}}, Answer::No, Answer::No), Answer::Yes);
    EXPECT_EQ(Messages().Ask(nullptr, QStringLiteral("q2"), {{Answer::Yes, {}}}, Answer::No, Answer::No), Answer::No);
    EXPECT_EQ(recorder.shown, (QStringList{QStringLiteral("q1"), QStringLiteral("q2")}));
    SetMessageService(nullptr);
}

TEST(MessageServiceTest, OnlyLineBreakPairsAreConverted) {
    EXPECT_EQ(MessageBoxText(QStringLiteral("a\r\nb\r\n\r\nc")), QStringLiteral("a\nb\n\nc"));
    EXPECT_EQ(MessageBoxText(QStringLiteral("tab\there\rlone")), QStringLiteral("tab\there\rlone"));
}

TEST(MessageServiceTest, RecorderTakesOverAndNullRestoresTheRealBox) {
    RecordingMessageService recorder;
    SetMessageService(&recorder);
    EXPECT_EQ(&Messages(), &recorder);
    Messages().Show(nullptr, QStringLiteral("first\r\n"));
    Messages().Show(nullptr, QStringLiteral("second"));
    EXPECT_EQ(recorder.shown, (QStringList{QStringLiteral("first\r\n"), QStringLiteral("second")}));
    for (QWidget* widget : QApplication::topLevelWidgets())
        EXPECT_EQ(qobject_cast<QMessageBox*>(widget), nullptr) << "the recorder must show nothing";

    SetMessageService(nullptr);
    EXPECT_TRUE(ShowAndInspect(nullptr, QStringLiteral("third")).found);
    EXPECT_EQ(recorder.shown.size(), 2);
}

}  // namespace
}  // namespace tovra::framework
