// The three course dialogs driven through their controls: fields, validation, messages,
// localisation at each opening and the bandwidth slider.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QTimer>
#include <QWindow>
#include <filesystem>

#include "app/bandwidth_dialog.h"
#include "app/create_course_dialog.h"
#include "app/set_title_dialog.h"
#include "app/settings.h"
#include "lang/language_table.h"
#include "lang/localize.h"
#include "platform/framework/message_box.h"
#include "platform/text/code_page.h"
#include "tests/support/qt_test_application.h"
#include "tests/support/temp_dir.h"

namespace tovra {
namespace {

using testing::TempDir;
using testing::WriteBytes;

template <class W = QWidget>
QList<W*> AllWithId(QWidget* dialog, int id) {
    QList<W*> found;
    for (W* child : dialog->findChildren<W*>()) {
        if (child->property(lang::kControlIdProperty).toInt() == id) found.append(child);
    }
    return found;
}

template <class W>
W* WithId(QWidget* dialog, int id) {
    const QList<W*> found = AllWithId<W>(dialog, id);
    return found.isEmpty() ? nullptr : found.front();
}

QLineEdit* Edit(QWidget* dialog, int id) { return WithId<QLineEdit>(dialog, id); }
QString LabelText(QWidget* dialog, int id) { return WithId<QLabel>(dialog, id)->text(); }
void Click(QWidget* dialog, int id) { WithId<QAbstractButton>(dialog, id)->click(); }

std::time_t LocalTime(int year, int month, int day, int hour, int minute) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

std::string Utf8(const char16_t* text) { return text::Utf16ToUtf8(text); }

class CourseDialogsTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved = Program();
        UseShipped("Language/Chinese.ini");
        framework::SetMessageService(&messages);
    }
    void TearDown() override {
        framework::SetMessageService(nullptr);
        Program() = saved;
    }
    void UseShipped(const char* file) {
        Program().programFolder = std::string(TOVRA_PROGRAM_DIR) + "/";
        Program().languageFile = file;
    }
    void UseOwnFile(const std::string& bytes) {
        std::filesystem::create_directories(dir / "Language");
        WriteBytes(dir / "Language/Own.ini", bytes);
        Program().programFolder = dir.path() + "/";
        Program().languageFile = "Language/Own.ini";
    }

    ProgramSettings saved;
    framework::RecordingMessageService messages;
    TempDir dir;
};

using D = CreateCourseDialog;

TEST_F(CourseDialogsTest, CreateDialogShowsDefaultsAndAFreshDateAtEachOpening) {
    D dialog;
    EXPECT_EQ(dialog.courseFileName, Utf8(u"新课程"));
    EXPECT_EQ(dialog.saveFolder, QDir::homePath().toStdString());
    EXPECT_EQ(dialog.teacherName, Utf8(u"主讲人姓名"));
    EXPECT_TRUE(dialog.deckPath.empty());
    EXPECT_TRUE(dialog.makeDate.empty());

    dialog.clock = [] { return LocalTime(2024, 3, 9, 14, 5); };
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("新建课程"));
    EXPECT_EQ(Edit(&dialog, D::kFileNameEdit)->text(), QStringLiteral("新课程"));
    EXPECT_EQ(Edit(&dialog, D::kFolderEdit)->text(), QDir::homePath());
    EXPECT_EQ(Edit(&dialog, D::kDateEdit)->text(), QStringLiteral("24-03-09_14"));
    EXPECT_EQ(dialog.makeDate, "24-03-09_14");

    Edit(&dialog, D::kCourseNameEdit)->setText(QStringLiteral("光学"));
    Edit(&dialog, D::kDateEdit)->setText(QStringLiteral("typed"));
    Click(&dialog, D::kCreateButton);
    ASSERT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.courseName, Utf8(u"光学"));
    EXPECT_EQ(dialog.makeDate, "typed");

    // The next opening is a new course: its names start from the defaults again, while the
    // lecturer typed stays; a fresh date.
    Edit(&dialog, D::kTeacherEdit)->setText(QStringLiteral("李老师"));
    Click(&dialog, D::kCreateButton);
    dialog.clock = [] { return LocalTime(2025, 12, 31, 9, 59); };
    dialog.show();
    EXPECT_EQ(Edit(&dialog, D::kCourseNameEdit)->text(), QString::fromStdString(lang::Message("CName")));
    EXPECT_EQ(Edit(&dialog, D::kFileNameEdit)->text(), QStringLiteral("新课程"));
    EXPECT_EQ(Edit(&dialog, D::kTeacherEdit)->text(), QStringLiteral("李老师"));
    EXPECT_EQ(Edit(&dialog, D::kDateEdit)->text(), QStringLiteral("25-12-31_09"));
    // Come back to after a refusal, it shows what was typed.
    Edit(&dialog, D::kCourseNameEdit)->setText(QStringLiteral("电学"));
    Click(&dialog, D::kCreateButton);
    dialog.KeepFieldsAtNextOpening();
    dialog.show();
    EXPECT_EQ(Edit(&dialog, D::kCourseNameEdit)->text(), QStringLiteral("电学"));
    EXPECT_EQ(Edit(&dialog, D::kDateEdit)->text(), QStringLiteral("25-12-31_09"));
    EXPECT_EQ(D::FormatMakeDate(LocalTime(2009, 1, 2, 0, 30)), "09-01-02_00");
}

TEST_F(CourseDialogsTest, CreateRemovesOneTrailingSeparatorFromNameAndFolder) {
    struct Case {
        QString name, folder;
        std::string wantName, wantFolder;
    };
    const Case cases[] = {
        {"name\\", "d:\\", "name", "d:"},
        {"x\\\\", "e:\\\\", "x\\", "e:\\"},
        {"a/", "/srv/courses/", "a", "/srv/courses"},
        {"plain", "/", "plain", "/"},
        {"b", "//", "b", "/"},
    };
    D dialog;
    for (const Case& c : cases) {
        dialog.show();
        Edit(&dialog, D::kFileNameEdit)->setText(c.name);
        Edit(&dialog, D::kFolderEdit)->setText(c.folder);
        Click(&dialog, D::kCreateButton);
        EXPECT_EQ(dialog.result(), QDialog::Accepted) << c.name.toStdString();
        EXPECT_EQ(dialog.courseFileName, c.wantName);
        EXPECT_EQ(dialog.saveFolder, c.wantFolder);
    }
    EXPECT_TRUE(messages.shown.isEmpty());
}

TEST_F(CourseDialogsTest, CreateRefusesEmptyNameOrFolderAndKeepsWhatItRead) {
    D dialog;
    dialog.show();
    Edit(&dialog, D::kFileNameEdit)->setText(QStringLiteral("\\"));
    Edit(&dialog, D::kFolderEdit)->setText(QStringLiteral("d:\\"));
    Edit(&dialog, D::kUnitEdit)->setText(QStringLiteral("物理系"));
    Click(&dialog, D::kCreateButton);
    EXPECT_EQ(messages.shown, QStringList{lang::MessageText("PName")});
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.saveFolder, "d:\\");  // the folder is checked only after a valid name

    Edit(&dialog, D::kFileNameEdit)->setText(QStringLiteral("course"));
    Edit(&dialog, D::kFolderEdit)->setText(QStringLiteral("\\"));
    Click(&dialog, D::kCreateButton);
    ASSERT_EQ(messages.shown.size(), 2);
    EXPECT_EQ(messages.shown[1], lang::MessageText("Dir"));
    EXPECT_TRUE(dialog.isVisible());

    Click(&dialog, D::kCancelButton);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(dialog.courseFileName, "course");
    EXPECT_EQ(dialog.saveFolder, "");
    EXPECT_EQ(dialog.unitName, Utf8(u"物理系"));
}

TEST_F(CourseDialogsTest, CreateKeepsEveryLetterAndRefusesNamesThatLeaveTheFolder) {
    D dialog;
    dialog.show();
    Edit(&dialog, D::kFolderEdit)->setText(QStringLiteral("/tmp"));
    for (const char* name : {"a/b", "..", "."}) {
        messages.shown.clear();
        Edit(&dialog, D::kFileNameEdit)->setText(QString::fromUtf8(name));
        Click(&dialog, D::kCreateButton);
        EXPECT_EQ(messages.shown, QStringList{lang::MessageText("BadName")}) << name;
        EXPECT_TRUE(dialog.isVisible());
    }
    messages.shown.clear();
    Edit(&dialog, D::kFileNameEdit)->setText(QStringLiteral("Größe Kurs \"1\" 'x'"));
    Edit(&dialog, D::kCourseNameEdit)->setText(QStringLiteral("Ünïcödé «q» \U0001F600"));
    Click(&dialog, D::kCreateButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(messages.shown.isEmpty());
    EXPECT_EQ(dialog.courseFileName, "Größe Kurs \"1\" 'x'");
    EXPECT_EQ(dialog.courseName, "Ünïcödé «q» \U0001F600");
}

TEST_F(CourseDialogsTest, CreateChoosersFillTheEditsAndCancelledChoosersChangeNothing) {
    D dialog;
    QString folderTitle;
    QString chosenFolder = QStringLiteral("/srv/courses");
    QString chosenDeck = QStringLiteral("/home/u/讲义.ppt");
    dialog.chooseFolder = [&](QWidget* owner, const QString& title) {
        EXPECT_EQ(owner, &dialog);
        folderTitle = title;
        return chosenFolder;
    };
    dialog.chooseDeck = [&](QWidget*) { return chosenDeck; };
    dialog.show();

    Click(&dialog, D::kFolderButton);
    EXPECT_EQ(folderTitle, lang::MessageText("Dir"));
    EXPECT_EQ(Edit(&dialog, D::kFolderEdit)->text(), chosenFolder);
    EXPECT_EQ(dialog.saveFolder, QDir::homePath().toStdString());  // the field changes only at OK
    Click(&dialog, D::kDeckButton);
    EXPECT_EQ(Edit(&dialog, D::kDeckEdit)->text(), chosenDeck);
    EXPECT_EQ(dialog.deckPath, chosenDeck.toStdString());

    chosenFolder.clear();
    chosenDeck.clear();
    Click(&dialog, D::kFolderButton);
    Click(&dialog, D::kDeckButton);
    EXPECT_EQ(Edit(&dialog, D::kFolderEdit)->text(), QStringLiteral("/srv/courses"));
    EXPECT_EQ(Edit(&dialog, D::kDeckEdit)->text(), QStringLiteral("/home/u/讲义.ppt"));
    Click(&dialog, D::kCreateButton);
    EXPECT_EQ(dialog.saveFolder, "/srv/courses");
}

TEST_F(CourseDialogsTest, CreateFollowsTheLanguageOfEachOpeningDefaultsIncluded) {
    D dialog;  // defaults from the Chinese file
    UseShipped("Language/English.ini");
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("New Course"));
    EXPECT_EQ(LabelText(&dialog, D::kFileNameLabel), QStringLiteral("Course file name:"));
    EXPECT_EQ(WithId<QAbstractButton>(&dialog, D::kCreateButton)->text(), QStringLiteral("Create"));
    // One language at a time: the defaults too.
    EXPECT_EQ(Edit(&dialog, D::kFileNameEdit)->text(), QStringLiteral("NewCourse"));
    EXPECT_EQ(Edit(&dialog, D::kTeacherEdit)->text(), QStringLiteral("Your Name"));
    dialog.hide();

    // Keys the new file lacks fall back to the built-in texts; one T65535 names both boxes.
    UseOwnFile("[Class_Create]\r\nTitle=Own\r\nT65535=Box\r\n");
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Own"));
    EXPECT_EQ(LabelText(&dialog, D::kFileNameLabel), QStringLiteral("建立课程文件名:"));
    EXPECT_EQ(WithId<QAbstractButton>(&dialog, D::kFolderButton)->text(), QStringLiteral("另存为"));
    const QList<QGroupBox*> boxes = AllWithId<QGroupBox>(&dialog, D::kStatic);
    ASSERT_EQ(boxes.size(), 2);
    for (QGroupBox* box : boxes) EXPECT_EQ(box->title(), QStringLiteral("Box"));
}

TEST_F(CourseDialogsTest, SetTitleRunsModallyAndReadsAllFourFieldsOnlyAtOk) {
    UseShipped("Language/English.ini");
    SetTitleDialog dialog;
    dialog.courseName = Utf8(u"光学");
    dialog.makeDate = "24-03-09_14";
    QString shownName, shownTitle;
    QTimer::singleShot(0, &dialog, [&] {
        shownTitle = dialog.windowTitle();
        shownName = Edit(&dialog, SetTitleDialog::kCourseNameEdit)->text();
        Edit(&dialog, SetTitleDialog::kTeacherEdit)->setText(QStringLiteral("李老师"));
        Edit(&dialog, SetTitleDialog::kUnitEdit)->setText(QStringLiteral("School"));
        Click(&dialog, SetTitleDialog::kOkButton);
    });
    ASSERT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_EQ(shownTitle, QStringLiteral("Course Details"));
    EXPECT_EQ(shownName, QStringLiteral("光学"));
    EXPECT_EQ(dialog.courseName, Utf8(u"光学"));
    EXPECT_EQ(dialog.teacherName, Utf8(u"李老师"));
    EXPECT_EQ(dialog.unitName, "School");
    EXPECT_EQ(dialog.makeDate, "24-03-09_14");

    QTimer::singleShot(0, &dialog, [&] {
        Edit(&dialog, SetTitleDialog::kUnitEdit)->setText(QString());
        Click(&dialog, SetTitleDialog::kCancelButton);
    });
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    EXPECT_EQ(dialog.unitName, "School");
}

TEST_F(CourseDialogsTest, BandwidthAcceptsWholeNumbersFrom40To800Only) {
    using B = BandwidthDialog;
    B dialog;
    dialog.show();
    EXPECT_EQ(Edit(&dialog, B::kEdit)->text(), QStringLiteral("80"));
    auto* slider = WithId<QSlider>(&dialog, B::kSlider);
    EXPECT_EQ(slider->value(), 80);
    EXPECT_EQ(slider->minimum(), 40);
    EXPECT_EQ(slider->maximum(), 800);

    for (const char* refused : {"900", "39", "abc", "", "-40", "12x", "4294967336"}) {
        Edit(&dialog, B::kEdit)->setText(QString::fromLatin1(refused));
        Click(&dialog, B::kOkButton);
        EXPECT_TRUE(dialog.isVisible()) << refused;
        EXPECT_EQ(dialog.focusWidget(), Edit(&dialog, B::kEdit)) << refused;
        EXPECT_EQ(dialog.bandwidthKbps, 80u) << refused;
    }
    ASSERT_EQ(messages.shown.size(), 7);
    EXPECT_EQ(messages.shown.back(), lang::MessageWith("BpsRange", {}, QString::fromLatin1(B::kRangeMessage)));

    Edit(&dialog, B::kEdit)->setText(QStringLiteral("40"));
    Click(&dialog, B::kOkButton);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.bandwidthKbps, 40u);
    dialog.show();
    EXPECT_EQ(slider->value(), 40);
    Edit(&dialog, B::kEdit)->setText(QStringLiteral("800"));
    Click(&dialog, B::kOkButton);
    EXPECT_EQ(dialog.bandwidthKbps, 800u);
}

TEST_F(CourseDialogsTest, BandwidthFollowsTheSliderAndKeepsItsValueOnCancel) {
    using B = BandwidthDialog;
    B dialog;
    dialog.bandwidthKbps = 700;  // a value set before the first opening survives the range being set
    dialog.show();
    auto* slider = WithId<QSlider>(&dialog, B::kSlider);
    EXPECT_EQ(slider->value(), 700);

    slider->setValue(200);
    EXPECT_EQ(dialog.bandwidthKbps, 200u);
    EXPECT_EQ(Edit(&dialog, B::kEdit)->text(), QStringLiteral("200"));
    // A slider paints only once its window is on screen.
    ASSERT_TRUE(
        testing_support::WaitUntil([&] { return dialog.windowHandle() && dialog.windowHandle()->isExposed(); }));
    Edit(&dialog, B::kEdit)->setText(QStringLiteral("300"));  // typing does not move the slider...
    EXPECT_EQ(slider->value(), 200);
    slider->repaint();  // ...and the next repaint writes the slider's value back
    EXPECT_EQ(Edit(&dialog, B::kEdit)->text(), QStringLiteral("200"));

    Click(&dialog, B::kCancelButton);
    EXPECT_EQ(dialog.bandwidthKbps, 200u);
    dialog.show();
    EXPECT_EQ(Edit(&dialog, B::kEdit)->text(), QStringLiteral("200"));
}

TEST_F(CourseDialogsTest, BandwidthStaticKeyRelabelsBothEndsAndTheLine) {
    using B = BandwidthDialog;
    UseOwnFile("[Class_SetBps]\r\nTitle=Rate\r\nT65535=Same\r\nT1008=Heading\r\n");
    B dialog;
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Rate"));
    EXPECT_EQ(LabelText(&dialog, B::kHeading), QStringLiteral("Heading"));
    EXPECT_EQ(LabelText(&dialog, B::kUnitLabel), QStringLiteral("kbps"));
    const QList<QWidget*> statics = AllWithId(&dialog, B::kStatic);
    ASSERT_EQ(statics.size(), 3);
    int lines = 0;
    for (QWidget* w : statics) {
        if (auto* label = qobject_cast<QLabel*>(w)) {
            EXPECT_EQ(label->text(), QStringLiteral("Same"));
        } else {
            auto* line = qobject_cast<QFrame*>(w);
            ASSERT_NE(line, nullptr);
            EXPECT_EQ(line->frameShape(), QFrame::HLine);
            EXPECT_EQ(line->windowTitle(), QStringLiteral("Same"));  // how a plain frame takes a text
            ++lines;
        }
    }
    EXPECT_EQ(lines, 1);
    dialog.hide();

    UseShipped("Language/English.ini");
    dialog.show();
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Video Bandwidth"));
    QStringList ends;  // an empty T65535 restores the built-in texts
    for (QLabel* label : AllWithId<QLabel>(&dialog, B::kStatic)) ends.append(label->text());
    EXPECT_EQ(ends, (QStringList{QStringLiteral("40"), QStringLiteral("800")}));
    EXPECT_EQ(WithId<QFrame>(&dialog, B::kStatic)->windowTitle(), QString());
}

}  // namespace
}  // namespace tovra

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new tovra::testing_support::QtApplicationEnvironment<QApplication>);
    return RUN_ALL_TESTS();
}
