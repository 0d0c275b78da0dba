// A recording in the real editor against what can go wrong around it: Record over a kept lecture,
// a camera that fails after it started, another course opened or made meanwhile, and the window
// closed while recording.
#include <gtest/gtest.h>

#include <QProcess>
#include <QStatusBar>
#include <QTreeWidget>
#include <filesystem>
#include <functional>

#include "app/command_ids.h"
#include "lang/language_table.h"
#include "media/recording_recovery.h"
#include "tests/support/course_frame.h"
#include "view/course_scripts.h"

namespace tovra {
namespace {

using framework::Answer;
using testing::FilesUnder;
using testing::ReadBytes;
using testing_support::WaitUntil;
namespace fs = std::filesystem;

// Packet times of one kind of stream ("v", "a", "d"), in seconds.
std::vector<double> PacketTimes(const std::string& file, const char* kind) {
    QProcess probe;
    probe.start(QStringLiteral("ffprobe"), {"-v", "error", "-select_streams", kind, "-show_entries", "packet=pts_time",
                                            "-of", "csv=p=0", QString::fromStdString(file)});
    probe.waitForFinished(60000);
    std::vector<double> times;
    for (const QString& line : QString::fromUtf8(probe.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        times.push_back(line.toDouble());
    return times;
}

class RecordingFaults : public testing_support::RecordingFrameTest {
protected:
    std::string Web() const { return dir / "Lesson1/web.files"; }
    // Waits for the next document to be ready (the one on show is marked, as until a navigation
    // commits the old document answers).
    bool NextDocument(const std::function<void()>& act, const QString& ready) {
        Evaluate(QStringLiteral("window.__tovraOld = 1; 1"));
        act();
        return WaitUntil(
            [&] {
                return Evaluate(QStringLiteral("typeof __tovraOld == 'undefined' && (%1) ? 'yes' : ''").arg(ready)) ==
                       QLatin1String("yes");
            },
            15000);
    }
    // A blank course of two pages, in the viewer on page 1.
    void MakeCourse() {
        const QString editor = QStringLiteral("typeof zonEdit == 'object'");
        const QString viewer = QStringLiteral("typeof GetCurSldNum == 'function'");
        ASSERT_TRUE(NextDocument([&] { router.Dispatch(cmd::kFileNew); }, editor));
        ASSERT_TRUE(NextDocument([&] { router.Dispatch(cmd::kEditHtml); }, viewer));
        ASSERT_TRUE(NextDocument([&] { router.Dispatch(cmd::kAddPage); }, editor));
        ASSERT_TRUE(NextDocument([&] { router.Dispatch(cmd::kEditHtml); }, viewer));
        frame->PageTree()->setCurrentItem(PageItem(frame->PageTree(), 1));
        ASSERT_TRUE(WaitUntil([&] { return Evaluate(QStringLiteral("String(GetCurSldNum())")) == QLatin1String("1"); }, 15000));
    }
    bool RecordFor(uint32_t ms) {
        if (!router.Dispatch(cmd::kRecordStart) || view->State() != RecordState::Recording) return false;
        return WaitUntil([&] { return view->ClockMs() >= ms; }, static_cast<int>(ms) + 10000);
    }
};

TEST_F(RecordingFaults, RecordOverAKeptLectureAsksFirstAndKeepsTheOldOne) {
    MakeCourse();
    ASSERT_TRUE(RecordFor(2000));
    ASSERT_TRUE(router.Dispatch(cmd::kRecordStop));
    const auto before = FilesUnder(Web());
    messages.shown.clear();
    messages.answers = {Answer::No};
    ASSERT_TRUE(router.Dispatch(cmd::kRecordStart));
    EXPECT_EQ(view->State(), RecordState::Stopped);
    ASSERT_EQ(messages.asked.size(), 1u);
    EXPECT_EQ(messages.asked[0].size(), 2u);  // Yes and No
    WaitUntil([] { return false; }, 500);  // nothing goes on writing behind the question
    EXPECT_EQ(FilesUnder(Web()), before);

    // Yes: the old lecture moves to the folder the question named, whole.
    messages.shown.clear();
    messages.answers = {Answer::Yes};
    ASSERT_TRUE(RecordFor(1000));
    ASSERT_FALSE(messages.shown.isEmpty());
    const std::string kept = dir / "Lesson1/Earlier recordings";
    ASSERT_TRUE(fs::is_directory(kept));
    const fs::path copy = fs::directory_iterator(kept)->path();
    EXPECT_TRUE(messages.shown[0].contains(QString::fromStdString(copy.string()))) << messages.shown[0].toStdString();
    for (const char* name : {"video001.wmv", "video001.webm", "video001.js", "CourseIndex.js"}) {
        EXPECT_EQ(ReadBytes((copy / name).string()), before.at(Web() + "/" + name)) << name;
    }
    ASSERT_TRUE(router.Dispatch(cmd::kRecordStop));
}

TEST_F(RecordingFaults, ACameraThatStopsIsReportedAndSoundAndCommandsGoOn) {
    MakeCourse();
    ASSERT_TRUE(RecordFor(2000));
    const uint32_t stoppedAt = view->ClockMs();
    view->Camera().StopPreview();  // the camera's pipeline stops, as when it is unplugged
    ASSERT_TRUE(WaitUntil([&] { return messages.shown.contains(lang::MessageText("CameraLost")); }, 6000))
        << messages.shown.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(view->State(), RecordState::Recording);
    frame->PageTree()->setCurrentItem(PageItem(frame->PageTree(), 2));
    ASSERT_TRUE(WaitUntil([&] { return view->ClockMs() >= stoppedAt + 5000; }, 15000));
    ASSERT_TRUE(router.Dispatch(cmd::kRecordStop));
    EXPECT_EQ(messages.shown.count(lang::MessageText("CameraLost")), 1);

    for (const char* file : {"video001.wmv", "video001.webm"}) {
        SCOPED_TRACE(file);
        const std::vector<double> pictures = PacketTimes(Web() + "/" + file, "v");
        const std::vector<double> sound = PacketTimes(Web() + "/" + file, "a");
        ASSERT_FALSE(pictures.empty());
        ASSERT_FALSE(sound.empty());
        // No pictures made up once the camera stopped (it is called lost after two seconds).
        EXPECT_LT(*std::max_element(pictures.begin(), pictures.end()), stoppedAt / 1000.0 + 2.5);
        EXPECT_GT(*std::max_element(sound.begin(), sound.end()), stoppedAt / 1000.0 + 4.0);
    }
    // The page turn after it is recorded.
    EXPECT_NE(ReadBytes(Web() + "/video001.js").find("\"(2,0)\""), std::string::npos);
}

TEST_F(RecordingFaults, NoOtherCourseOpensWhileRecording) {
    // Another course, to try to open.
    const std::string other = dir / "Other";
    fs::create_directories(other + "/web.files");
    testing::WriteBytes(other + "/Other.lsn", "TVCF\r\n*\r\nOther\r\nLee\r\nCOUNT:1\r\n1:Other page\r\n");
    MakeCourse();
    ASSERT_TRUE(RecordFor(1000));
    EXPECT_FALSE(router.Update(cmd::kFileNew).enabled);
    EXPECT_FALSE(router.Update(cmd::kFileOpen).enabled);
    EXPECT_EQ(frame->statusBar()->currentMessage(), lang::MessageText("Recording"));
    view->SetFileChooser([&](const QString&) { return QString::fromStdString(other + "/Other.lsn"); });
    messages.shown.clear();
    router.Dispatch(cmd::kFileOpen);
    router.Dispatch(cmd::kFileNew);
    EXPECT_FALSE(view->ReadProjectFile(other + "/Other.lsn"));  // as the recent files and a second start do
    EXPECT_EQ(messages.shown, QStringList(3, lang::MessageText("StopFirst")));
    EXPECT_EQ(view->Course().projectFileName, "Lesson1.lsn");
    frame->PageTree()->setCurrentItem(PageItem(frame->PageTree(), 2));
    ASSERT_TRUE(WaitUntil([&] { return view->ClockMs() >= 2000; }, 8000));
    ASSERT_TRUE(router.Dispatch(cmd::kRecordStop));
    EXPECT_TRUE(router.Update(cmd::kFileOpen).enabled);
    EXPECT_NE(frame->statusBar()->currentMessage(), lang::MessageText("Recording"));
    const std::string index = ReadBytes(Web() + "/CourseIndex.js");
    EXPECT_EQ(index.find("Other page"), std::string::npos);
    EXPECT_NE(index.find("'Page 2',"), std::string::npos) << index;
}

TEST_F(RecordingFaults, ClosingTheWindowWhileRecordingFinishesEveryFile) {
    MakeCourse();
    ASSERT_TRUE(RecordFor(3000));
    EXPECT_TRUE(RecordingWasInterrupted(Web()));  // under way
    EXPECT_TRUE(frame->close());
    EXPECT_EQ(view->State(), RecordState::Stopped);
    EXPECT_FALSE(RecordingWasInterrupted(Web()));  // finished
    EXPECT_TRUE(ReadBytes(Web() + "/CourseIndex.js").ends_with(IndexEnd()));
    const std::string timeline = ReadBytes(Web() + "/video001.js");
    EXPECT_TRUE(timeline.ends_with("]};\r\n")) << timeline;
    for (const char* file : {"video001.wmv", "video001.webm"}) {
        QProcess probe;
        probe.start(QStringLiteral("ffprobe"), {"-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0",
                                                QString::fromStdString(Web() + "/" + file)});
        probe.waitForFinished(60000);
        const double seconds = QString::fromUtf8(probe.readAllStandardOutput()).trimmed().toDouble();
        EXPECT_NEAR(seconds, view->ClockMs() / 1000.0, 0.6) << file;
    }
}

}  // namespace
}  // namespace tovra
