// A teacher's texts in any script, through the real editor: course and folder names on disk, the
// tree, the project file, the generated scripts and a recording, after a restart too; texts that
// look like script or markup stay text; titles of a deck made by the office suite. The courses
// are kept for the browser test that plays them (tests/e2e/course_texts_player_test.py).
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTreeWidget>
#include <QUrl>
#include <filesystem>

#include "app/command_ids.h"
#include "app/set_title_dialog.h"
#include "course/page_tree_bar.h"
#include "course/project_file.h"
#include "lang/language_table.h"
#include "tests/support/course_frame.h"
#include "tests/support/made_deck.h"

namespace tovra {
namespace {

using testing::ReadBytes;
using testing::WriteBytes;
using testing_support::WaitUntil;
namespace fs = std::filesystem;

const std::string kChinese = "新课程";
const std::string kGerman = "Größe Kurs";
const std::string kMixed = "Ünïcödé «quotes» \"dq\" 'sq' \\ </script>";
// Each would set a marker if a player ran it as script or took it as markup.
const std::string kMarkup = "<img src=x onerror=\"window.__injected='img'\"><i>italic</i>";
const std::string kQuotes = "\";window.__injected='dq';//";
const std::string kApostrophes = "');window.__injected='sq';//";
const std::string kBackslash = "\\\";window.__injected='bs';//";

class CourseTexts : public testing_support::RecordingFrameTest {
protected:

    // The create-course and course-details dialogs, filled as a teacher would.
    struct Details {
        std::string name, lecturer, unit, date;
    };
    void FillDialogs(const std::string& saveFolder, const std::string* fileName, const Details& create,
                     const Details& later) {
        view->SetDialogRunner([=, this](QDialog& dialog) {
            if (auto* c = dynamic_cast<CreateCourseDialog*>(&dialog)) {
                if (fileName) c->courseFileName = *fileName;
                c->saveFolder = saveFolder;
                c->deckPath = deckPath;
                c->courseName = create.name;
                c->teacherName = create.lecturer;
                c->unitName = create.unit;
                c->makeDate = create.date;
            } else if (auto* t = dynamic_cast<SetTitleDialog*>(&dialog)) {
                t->courseName = later.name;
                t->teacherName = later.lecturer;
                t->unitName = later.unit;
                t->makeDate = later.date;
            }
            return int(QDialog::Accepted);
        });
    }
    bool EditorLoaded() {
        return WaitUntil(
            [&] {
                return view->Editing() &&
                       Evaluate(QStringLiteral("(function(){try{return String(zonEdit.serialize().length>0)}"
                                               "catch(e){return ''}})()")) == QLatin1String("true");
            },
            15000);
    }
    bool LeaveEditor() {
        if (!EditorLoaded()) return false;
        const qsizetype before = loads.size();
        router.Dispatch(cmd::kEditHtml);
        return !view->Editing() &&
               WaitUntil([&] { return loads.size() > before && loads.last().contains(QLatin1String("fullscreen.htm")); },
                         15000);
    }
    QStringList TreeLabels() const {
        QStringList labels;
        QTreeWidgetItem* course = CourseItem(frame->PageTree());
        if (!course) return {};
        labels << course->text(0);
        for (int i = 0; i < course->childCount(); ++i) labels << course->child(i)->text(0);
        return labels;
    }
    void Retitle(int page, const std::string& title) {
        QTreeWidgetItem* item = PageItem(frame->PageTree(), page);
        ASSERT_NE(item, nullptr);
        item->setText(0, QString::fromStdString(title));
    }
    // Records about `seconds`, turning to each page of turns in turn on the way.
    void Record(int seconds, const std::vector<int>& turns) {
        ASSERT_TRUE(router.Dispatch(cmd::kRecordStart));
        ASSERT_EQ(view->State(), RecordState::Recording) << messages.shown.join(QLatin1Char('|')).toStdString();
        const uint32_t step = static_cast<uint32_t>(seconds * 1000 / (turns.size() + 1));
        for (size_t i = 0; i < turns.size(); ++i) {
            ASSERT_TRUE(WaitUntil([&] { return view->ClockMs() >= step * (i + 1); }, 15000));
            frame->PageTree()->setCurrentItem(PageItem(frame->PageTree(), turns[i]));
        }
        ASSERT_TRUE(WaitUntil([&] { return view->ClockMs() >= static_cast<uint32_t>(seconds * 1000); }, 15000));
        ASSERT_TRUE(router.Dispatch(cmd::kRecordStop));
    }
    // The course for the browser test, with the texts it must show.
    void Keep(const std::string& folder, const std::string& name, const Details& details,
              const QStringList& titles) {
        view->FinishSlidePictures();  // a deck's pictures may still be drawing
        const fs::path kept = fs::path(TOVRA_PROGRAM_DIR "/../artifacts") / name;
        fs::remove_all(kept);
        fs::create_directories(kept.parent_path());
        fs::copy(folder, kept, fs::copy_options::recursive);
        QJsonObject expected{{"name", QString::fromStdString(details.name)},
                             {"lecturer", QString::fromStdString(details.lecturer)},
                             {"titles", QJsonArray::fromStringList(titles)}};
        QFile out(QString::fromStdString(kept.string() + ".json"));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(QJsonDocument(expected).toJson());
    }
};

// File New with the names of every script a teacher may type, in a folder whose own path is
// not ASCII: the folder has the teacher's name, the template is in it and the editor opens the
// page. A name that fits the code page gives the same project file as ever.
TEST_F(CourseTexts, CourseNamesOfEveryKindMakeWorkingCourses) {
    const std::string parent = dir / "Kurse für 课程";
    fs::create_directories(parent);
    for (const std::string& name : {kGerman, std::string("My \"first\" course's page"), std::string("光学")}) {
        SCOPED_TRACE(name);
        messages.shown.clear();
        FillDialogs(parent, &name, {"光学", "Lee", "", ""}, {});
        ASSERT_TRUE(router.Dispatch(cmd::kFileNew));
        EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join(QLatin1Char('|')).toStdString();
        const std::string folder = parent + "/" + name;
        for (const char* file : {"web.htm", "web.files/1.html", "web.files/fullscreen.htm", "web.files/index.htm"}) {
            EXPECT_TRUE(fs::is_regular_file(folder + "/" + file)) << file;
        }
        EXPECT_EQ(ReadBytes(folder + "/" + name + ".lsn"),
                  "TVCF\r\n*\r\n\xB9\xE2\xD1\xA7\r\nLee\r\nCOUNT:1\r\n1:Page 1\r\n");
        EXPECT_EQ(TreeLabels().value(0), QString::fromStdString(name));
        ASSERT_TRUE(EditorLoaded());
        EXPECT_TRUE(view->Browser().CurrentUrl().isValid());
        ASSERT_TRUE(LeaveEditor());
        EXPECT_EQ(Evaluate(QStringLiteral("String(GetCurSldNum())")), QStringLiteral("1"));
    }
}

// The round trip: in the Chinese interface, the default name "新课程", names and titles in three
// scripts, three seconds of recording, a restart and the course opened again.
TEST_F(CourseTexts, EveryLetterSurvivesEditingRecordingAndARestart) {
    Start("Language/Chinese.ini");
    const std::string parent = dir / "我的 课程";
    fs::create_directories(parent);
    const Details created{kChinese, kGerman, "物理系", "24-03-09_14"};
    const Details details{kGerman, kMixed, "Schule «Süd»", "9. März 2024"};
    FillDialogs(parent, nullptr, created, details);
    ASSERT_TRUE(router.Dispatch(cmd::kFileNew));
    EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join(QLatin1Char('|')).toStdString();
    const std::string folder = parent + "/" + kChinese;  // the language's default course file name
    const std::string project = folder + "/" + kChinese + ".lsn";
    ASSERT_TRUE(fs::is_regular_file(project));
    ASSERT_TRUE(fs::is_regular_file(folder + "/web.files/1.html"));
    ASSERT_TRUE(EditorLoaded());
    ASSERT_TRUE(LeaveEditor());
    for (int page = 2; page <= 3; ++page) {
        ASSERT_TRUE(router.Dispatch(cmd::kAddPage));
        ASSERT_TRUE(LeaveEditor());
    }
    Retitle(1, kChinese);
    Retitle(2, kGerman);
    Retitle(3, kMixed);
    ASSERT_TRUE(router.Dispatch(cmd::kSetTitle));
    // A name the code page cannot hold makes the project file UTF-8; nothing waits for a page change.
    const std::string expectedProject = std::string(kUtf8Mark) + "TVCF\r\n*\r\n" + kGerman + "\r\n" + kMixed +
                                        "\r\nCOUNT:3\r\n1:" + kChinese + "\r\n2:" + kGerman + "\r\n3:" + kMixed +
                                        "\r\n";
    EXPECT_EQ(ReadBytes(project), expectedProject);

    frame->PageTree()->setCurrentItem(PageItem(frame->PageTree(), 1));
    ASSERT_TRUE(WaitUntil([&] { return Evaluate(QStringLiteral("String(GetCurSldNum())")) == QLatin1String("1"); }));
    Record(3, {2, 3});
    EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join(QLatin1Char('|')).toStdString();
    const std::string index = ReadBytes(folder + "/web.files/CourseIndex.js");
    // GBK where the code page holds a letter, escapes where it does not; quotes escaped.
    EXPECT_NE(index.find("branch2.add(new leaf('\xD0\xC2\xBF\xCE\xB3\xCC','0'));"), std::string::npos) << index;
    EXPECT_NE(index.find("branch2.add(new leaf('Gr\\u00F6\\u00DFe Kurs',"), std::string::npos) << index;
    EXPECT_NE(index.find("\\u00DCn\\u00EFc\\u00F6d\xA8\xA6 \\u00ABquotes\\u00BB \\\"dq\\\" \\'sq\\' \\\\ </script>"),
              std::string::npos)
        << index;
    EXPECT_NE(index.find("' \xD6\xC6\xD7\xF7: Schule \\u00ABS\xA8\xB9" "d\\u00BB'"), std::string::npos) << index;
    EXPECT_EQ(ReadBytes(folder + "/web.files/info.js"),
              "function onload_(){coursename.innerHTML=\"Gr\\u00F6\\u00DFe Kurs\";teachername.innerHTML=\""
              "\\u00DCn\\u00EFc\\u00F6d\xA8\xA6 \\u00ABquotes\\u00BB \\\"dq\\\" \\'sq\\' \\\\ </script>\";}");

    // A restart: a new frame and view open the course again, and opening writes nothing.
    const std::string before = ReadBytes(project);
    Start("Language/Chinese.ini");
    ASSERT_TRUE(view->ReadProjectFile(project));
    EXPECT_EQ(TreeLabels(), (QStringList{QString::fromStdString(kChinese), QString::fromStdString(kChinese),
                                         QString::fromStdString(kGerman), QString::fromStdString(kMixed)}));
    EXPECT_EQ(view->Course().courseName, kGerman);
    EXPECT_EQ(view->Course().teacherName, kMixed);
    EXPECT_EQ(view->Course().unitName, details.unit);
    EXPECT_EQ(view->Course().makeDate, details.date);
    EXPECT_EQ(ReadBytes(project), before);
    // The course details dialog shows them, and an unchanged OK writes the same files.
    Details shown;
    view->SetDialogRunner([&](QDialog& dialog) {
        auto& t = dynamic_cast<SetTitleDialog&>(dialog);
        shown = {t.courseName, t.teacherName, t.unitName, t.makeDate};
        return int(QDialog::Accepted);
    });
    const std::string info = ReadBytes(folder + "/web.files/info.js");
    ASSERT_TRUE(router.Dispatch(cmd::kSetTitle));
    EXPECT_EQ(shown.name, details.name);
    EXPECT_EQ(shown.lecturer, details.lecturer);
    EXPECT_EQ(shown.unit, details.unit);
    EXPECT_EQ(shown.date, details.date);
    EXPECT_EQ(ReadBytes(project), before);
    EXPECT_EQ(ReadBytes(folder + "/web.files/info.js"), info);
    Keep(folder, "texts-course", details,
         {QString::fromStdString(kChinese), QString::fromStdString(kGerman), QString::fromStdString(kMixed)});
}

// Texts that look like script or markup, typed into the course details and the page tree, stay
// the teacher's texts in every file; the browser test checks that the player shows them as text.
TEST_F(CourseTexts, TextsThatLookLikeScriptStayText) {
    const Details details{kMarkup, kQuotes + kBackslash, kApostrophes, "<b>date</b>"};
    FillDialogs(dir.path(), &courseFileName, {"Optics", "Lee", "", ""}, details);
    ASSERT_TRUE(router.Dispatch(cmd::kFileNew));
    ASSERT_TRUE(LeaveEditor());
    ASSERT_TRUE(router.Dispatch(cmd::kAddPage));
    ASSERT_TRUE(LeaveEditor());
    Retitle(1, kApostrophes);
    Retitle(2, kMarkup + kQuotes);
    ASSERT_TRUE(router.Dispatch(cmd::kSetTitle));
    frame->PageTree()->setCurrentItem(PageItem(frame->PageTree(), 1));
    ASSERT_TRUE(WaitUntil([&] { return Evaluate(QStringLiteral("String(GetCurSldNum())")) == QLatin1String("1"); }));
    Record(2, {2});
    const std::string folder = dir / courseFileName;
    // Reopened, the texts are exactly as typed.
    ASSERT_TRUE(view->ReadProjectFile(folder + "/" + courseFileName + ".lsn"));
    EXPECT_EQ(TreeLabels(), (QStringList{QString::fromStdString(courseFileName), QString::fromStdString(kApostrophes),
                                         QString::fromStdString(kMarkup + kQuotes)}));
    EXPECT_EQ(view->Course().courseName, details.name);
    EXPECT_EQ(view->Course().teacherName, details.lecturer);
    Keep(folder, "injection-course", details,
         {QString::fromStdString(kApostrophes), QString::fromStdString(kMarkup + kQuotes)});
}

// A project file whose course name has a lead byte right before a double quote: the escaping
// goes by characters, so the quote is escaped and info.js is a script that only names the course.
TEST_F(CourseTexts, ALeadByteBeforeAQuoteCannotBreakOutOfTheScript) {
    const std::string folder = dir / "Old";
    fs::create_directories(folder + "/web.files");
    fs::copy_file(std::string(TOVRA_TEST_DATA_DIR) + "/course-template/web.files/fullscreen.htm",
                  folder + "/web.files/fullscreen.htm");
    WriteBytes(folder + "/Old.lsn", "TVCF\r\n*\r\nA\x81\";window.__injected='gbk';//\r\nLee\r\nCOUNT:1\r\n1:P\r\n");
    ASSERT_TRUE(view->ReadProjectFile(folder + "/Old.lsn"));
    view->SetDialogRunner([](QDialog&) { return int(QDialog::Accepted); });  // Course Details, unchanged
    ASSERT_TRUE(router.Dispatch(cmd::kSetTitle));
    const std::string info = ReadBytes(folder + "/web.files/info.js");
    EXPECT_EQ(info, "function onload_(){coursename.innerHTML=\"A\\uFFFD\\\";window.__injected=\\'gbk\\';//\";"
                    "teachername.innerHTML=\"Lee\";}");
    // Run as the player runs it: it names the course and sets nothing else.
    const QString encoded = QString::fromLatin1(QUrl::toPercentEncoding(QString::fromLatin1(info.c_str())));
    const QString result = Evaluate(
        QStringLiteral("(function(){var coursename={},teachername={};eval(decodeURIComponent('%1'));onload_();"
                       "return coursename.innerHTML+'|'+typeof window.__injected;})()")
            .arg(encoded));
    EXPECT_EQ(result, QString::fromUtf8("A\xEF\xBF\xBD\";window.__injected='gbk';//|undefined"));
    // Untouched, the name keeps its bytes in the project file.
    EXPECT_EQ(ReadBytes(folder + "/Old.lsn"), "TVCF\r\n*\r\nA\x81\";window.__injected='gbk';//\r\nLee\r\nCOUNT:1\r\n1:P\r\n");
}

// A deck whose titles the code page cannot hold, and one that looks like markup, made by the
// office suite from a presentation written here.
TEST_F(CourseTexts, DeckTitlesArriveExactly) {
    const QStringList titles{QStringLiteral("Größe und Maße"), QStringLiteral("Übung: Äpfel & Öl «1»"),
                             QString::fromStdString(kMarkup)};
    std::vector<testing_support::MadeSlide> slides;
    for (const QString& title : titles) slides.push_back({title});
    const std::string source = dir / "Präsentation.fodp";
    WriteBytes(source, testing_support::FlatPresentation(slides).toStdString());
    std::string error;
    deckPath = testing_support::ConvertWithOffice(source, QStringLiteral("ppt"), dir.path(), dir / "profile", &error).string();
    ASSERT_FALSE(deckPath.empty()) << error;

    courseFileName = "Deck";
    FillDialogs(dir.path(), &courseFileName, {"Optics", "Lee", "", ""}, {});
    ASSERT_TRUE(router.Dispatch(cmd::kFileNew));
    EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(TreeLabels(), QStringList{QStringLiteral("Präsentation.ppt")} + titles);
    const std::string folder = dir / "Deck";
    std::string lines;
    for (int i = 0; i < titles.size(); ++i) lines += std::to_string(i + 1) + ":" + titles[i].toStdString() + "\r\n";
    EXPECT_EQ(ReadBytes(folder + "/Deck.lsn"),
              std::string(kUtf8Mark) + "TVCF\r\n" + deckPath + "\r\nOptics\r\nLee\r\nCOUNT:3\r\n" + lines);
    ASSERT_TRUE(WaitUntil([&] { return view->Course().currentPage == 1; }, 20000));
    Record(2, {2, 3});
    Keep(folder, "deck-texts-course", {"Optics", "Lee", "", ""}, titles);
}

}  // namespace
}  // namespace tovra
