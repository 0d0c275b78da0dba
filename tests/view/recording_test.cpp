// The lecture recording on a view: the clock driven by buffers handed in faster than real time,
// pause and resume, the ten-minute limit, the page index, and the failures that stop or refuse
// a recording. Media files are read back with FFmpeg's own tools.
#include <gtest/gtest.h>

#include <QDir>
#include <QMouseEvent>
#include <QProcess>
#include <QRegularExpression>
#include <QTreeWidget>
#include <chrono>
#include <filesystem>
#include <thread>

#include "app/command_ids.h"
#include "app/settings.h"
#include "lang/language_table.h"
#include "media/audio_capture.h"
#include "platform/browser/browser_control.h"
#include "platform/framework/message_box.h"
#include "tests/support/qt_test_application.h"
#include "tests/support/temp_dir.h"
#include "tests/support/web_test_app.h"
#include "view/mirova_view.h"

namespace tovra {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;
using testing_support::WaitUntil;
namespace fs = std::filesystem;

// A microphone that hands out a buffer of a quiet tone whenever the test asks.
class FakeMicrophone : public AudioSource {
public:
    bool Open(uint32_t, Delivery deliver) override {
        deliver_ = std::move(deliver);
        return open = true;
    }
    void Close() override {
        open = false;
        if (closeDelayMs) std::this_thread::sleep_for(std::chrono::milliseconds(closeDelayMs));
    }
    // A buffer comes back from the device, as the real one's do while open.
    void Give(const std::vector<char>& buffer) {
        if (open && deliver_) deliver_(reinterpret_cast<const uint8_t*>(buffer.data()), static_cast<uint32_t>(buffer.size()));
    }
    bool open = false;
    int closeDelayMs = 0;

private:
    Delivery deliver_;
};

struct Packet {
    double timeS;
    std::string data;  // hex dump lines of ffprobe, for script packets
};

// ffprobe's packets of one stream kind ("a", "v" or "d"), in file order.
std::vector<Packet> Packets(const std::string& file, const char* kind) {
    QProcess probe;
    probe.start(
        QStringLiteral("ffprobe"),
        {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_packets"), QStringLiteral("-show_data"),
         QStringLiteral("-select_streams"), QString::fromLatin1(kind), QString::fromStdString(file)});
    probe.waitForFinished(60000);
    const QString out = QString::fromUtf8(probe.readAllStandardOutput());
    std::vector<Packet> packets;
    for (const QString& block : out.split(QStringLiteral("[PACKET]"), Qt::SkipEmptyParts)) {
        const auto time = QRegularExpression(QStringLiteral("pts_time=([0-9.]+)")).match(block);
        if (!time.hasMatch()) continue;
        // The data dump's text column, joined: the script strings are UTF-16, so keep ASCII only.
        std::string text;
        for (const QString& line : block.split(QLatin1Char('\n'))) {
            const auto dump = QRegularExpression(QStringLiteral("^[0-9a-f]{8}: .{40} (.*)$")).match(line.trimmed());
            if (dump.hasMatch()) {
                for (QChar c : dump.captured(1)) {
                    if (c != QLatin1Char('.')) text += c.toLatin1();
                }
            }
        }
        packets.push_back({time.captured(1).toDouble(), text});
    }
    return packets;
}

// The main window as far as the view needs it: a page tree and the status bar's clock.
class FakeFrame : public MainWindowAccess {
public:
    FakeFrame() { new QTreeWidgetItem(&tree, QStringList{QStringLiteral("Courses")}); }
    QTreeWidget* PageTree() override { return &tree; }
    QWidget* PreviewWindow() override { return nullptr; }
    void PostCommand(int) override {}
    void RebuildMainMenu() override {}
    void TrackPopupMenu(int, int, const std::string&, QPoint) override {}
    void SetElapsedTime(uint32_t ms) override { elapsed.push_back(ms); }
    void SetStatusText(const QString& text) override { status = text; }
    QTreeWidget tree;
    std::vector<uint32_t> elapsed;
    QString status;
};

std::vector<Packet> PageCommands(const std::string& file) {
    std::vector<Packet> pages;
    for (const Packet& p : Packets(file, "d")) {
        if (p.data.find("pages") != std::string::npos) pages.push_back(p);
    }
    return pages;
}

class RecordingTest : public ::testing::Test {
protected:
    void SetUp() override {
        framework::SetMessageService(&messages);
        Program().programFolder = std::string(TOVRA_PROGRAM_DIR) + "/";
        Program().languageFile = "Language/English.ini";
        view = std::make_unique<CMirovaView>();
        view->SetMainWindow(&frame);
        auto microphone = std::make_unique<FakeMicrophone>();
        mic = microphone.get();
        view->SetAudioSource(std::move(microphone));
        folder = dir / "Optics";
        fs::create_directories(folder + "/web.files");
        WriteBytes(folder + "/Optics.lsn", "TVCF\r\n*\r\nOptics\r\nLee\r\nCOUNT:2\r\n1:Page 1\r\n2:Page 2\r\n");
        view->ReadProjectFile(folder + "/Optics.lsn");
        view->Course().unitName = "A";
        view->Course().makeDate = "2011";
        buffer.assign(2000, char(128));
    }
    void TearDown() override {
        view.reset();
        framework::SetMessageService(nullptr);
    }
    void Feed(int buffers) {
        for (int i = 0; i < buffers; ++i) mic->Give(buffer);
    }
    std::string Media() const { return folder + "/web.files/video001.wmv"; }

    TempDir dir;
    std::string folder;
    framework::RecordingMessageService messages;
    FakeFrame frame;
    std::unique_ptr<CMirovaView> view;
    FakeMicrophone* mic = nullptr;
    std::vector<char> buffer;
};

TEST_F(RecordingTest, BuffersDriveTheClockPausesLeaveNoGapAndPageTurnsWaitForTheNextHalfSecond) {
    view->OnRecordStart();
    ASSERT_EQ(view->State(), RecordState::Recording);
    EXPECT_EQ(messages.shown, QStringList{lang::MessageText("NoVideo")});  // no camera in this view
    Feed(4);                                                               // 1000 ms
    view->OnTitleChange(QStringLiteral("PAGE:2"));                         // a turn at about 1100 ms
    Feed(2);                                                               // 1500 ms
    view->OnRecordPause();
    Feed(5);  // dropped: the clock stands still
    EXPECT_EQ(view->ClockMs(), 1500u);
    view->OnRecordStart();  // resume
    Feed(2);                // 2000 ms
    view->OnRecordStop();
    ASSERT_EQ(view->State(), RecordState::Stopped);

    const auto audio = Packets(Media(), "a");
    ASSERT_FALSE(audio.empty());
    EXPECT_TRUE(Packets(Media(), "v").empty());  // no camera: a recording without pictures
    const auto scripts = PageCommands(Media());
    ASSERT_EQ(scripts.size(), 2u);
    EXPECT_NE(scripts[0].data.find("pages(1,0)"), std::string::npos) << scripts[0].data;
    EXPECT_NE(scripts[1].data.find("pages(2,0)"), std::string::npos) << scripts[1].data;
    EXPECT_NEAR(scripts[1].timeS - scripts[0].timeS, 1.0, 0.001);  // 250 ms and 1250 ms

    EXPECT_EQ(frame.elapsed, (std::vector<uint32_t>{250, 750, 1250, 1750}));
    const std::string index = ReadBytes(folder + "/web.files/CourseIndex.js");
    EXPECT_NE(index.find("branch2.add(new leaf('Page 2',1000));\r\n"), std::string::npos) << index;
    EXPECT_NE(index.find("branch1.add(new leaf(' \xD6\xC6\xD7\xF7: A',' '));\r\n"), std::string::npos);
    EXPECT_NE(index.find("branch2.add(new leaf('Page 1','0'));\r\n"), std::string::npos) << index;
    EXPECT_TRUE(index.ends_with("showBranch('branch2');}"));
    EXPECT_EQ(ReadBytes(folder + "/web.files/info.js"),
              "function onload_(){coursename.innerHTML=\"Optics\";teachername.innerHTML=\"Lee\";}");

    // No gap: eight buffers, 250 ms apart, from the first to the last.
    QProcess probe;
    probe.start(QStringLiteral("ffprobe"),
                {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-show_entries"),
                 QStringLiteral("format=duration"), QStringLiteral("-of"), QStringLiteral("csv=p=0"),
                 QString::fromStdString(Media())});
    probe.waitForFinished(30000);
    EXPECT_NEAR(probe.readAllStandardOutput().trimmed().toDouble(), 2.0, 0.3);
}

TEST_F(RecordingTest, PenKeepsAtMost499PointsIgnoresClicksAndForgetsStrokesOnAPageChange) {
    view->resize(800, 600);
    view->show();
    // The engine's input widget exists once the view is shown and the page has loaded.
    bool loaded = false;
    QObject::connect(&view->Browser(), &browser::BrowserControl::DocumentComplete, [&] { loaded = true; });
    view->Browser().Refresh();
    ASSERT_TRUE(WaitUntil([&] { return loaded; }, 10000));
    QWidget* input = view->Browser().InputWidget();
    ASSERT_NE(input, nullptr);
    auto mouse = [&](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
        QMouseEvent event(type, QPointF(at), QPointF(view->mapToGlobal(at)),
                          type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(input, &event);
    };
    view->OnRecordStart();
    ASSERT_EQ(view->State(), RecordState::Recording);
    view->OnCommand(cmd::kPen);
    ASSERT_TRUE(view->PenOn());
    mouse(QEvent::MouseButtonPress, QPoint(10, 10), Qt::LeftButton);  // a click without movement
    mouse(QEvent::MouseButtonRelease, QPoint(10, 10), Qt::NoButton);
    EXPECT_TRUE(view->Strokes().empty());

    view->OnCommand(cmd::kPenColourFirst + 9);
    mouse(QEvent::MouseButtonPress, QPoint(10, 10), Qt::LeftButton);
    for (int i = 1; i <= 600; ++i) mouse(QEvent::MouseMove, QPoint(10 + i % 300, 20 + i / 10), Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, QPoint(300, 80), Qt::NoButton);
    ASSERT_EQ(view->Strokes().size(), 1u);
    EXPECT_EQ(view->Strokes()[0].points.size(), 499u);
    EXPECT_EQ(view->Strokes()[0].colourIndex, 9);
    EXPECT_EQ(view->Strokes()[0].points[0], QPoint(10, 10));  // a blank course keeps view pixels

    view->OnTitleChange(QStringLiteral("PAGE:2"));  // another page: the ink goes
    EXPECT_TRUE(view->Strokes().empty());
    view->OnRecordPause();
    EXPECT_FALSE(view->PenOn());
    view->OnRecordStart();
    view->OnRecordStop();
    bool stroke = false;
    for (const Packet& p : Packets(Media(), "d"))
        stroke = stroke || p.data.find("dpaths9,0,\"'m10,10l11,20") != std::string::npos;
    EXPECT_TRUE(stroke);
}

TEST_F(RecordingTest, TenMinuteLimitStopsAtItsTimesAndWritesNothingPastIt) {
    view->OnRecordStart();
    Feed(2400);  // 600,000 ms
    EXPECT_EQ(view->State(), RecordState::Recording);
    Feed(1);  // 600,250 ms: past the limit, the stop is posted
    EXPECT_EQ(view->ClockMs(), 600250u);
    ASSERT_TRUE(WaitUntil([&] { return view->State() == RecordState::Stopped; }, 5000));
    const auto audio = Packets(Media(), "a");
    ASSERT_FALSE(audio.empty());
    // The last sound written ends at 600,000 ms (the sample time is that of its first block).
    EXPECT_LT(audio.back().timeS, 600.0 + 3.5);
    EXPECT_GT(audio.back().timeS, 599.0);
}

// Without a microphone nothing of the course is touched: an earlier recording and its index stay.
TEST_F(RecordingTest, NoSoundServerRefusesTheRecordingAndTouchesNothing) {
    WriteBytes(folder + "/web.files/CourseIndex.js", "an earlier index");
    WriteBytes(Media(), "an earlier recording");
    view->SetAudioSource(std::make_unique<AudioCapture>());
    const char* server = std::getenv("PULSE_SERVER");
    const std::string saved = server ? server : "";
    setenv("PULSE_SERVER", "unix:/nonexistent/tovra-no-server", 1);
    view->OnRecordStart();
    if (server)
        setenv("PULSE_SERVER", saved.c_str(), 1);
    else
        unsetenv("PULSE_SERVER");

    EXPECT_EQ(view->State(), RecordState::Stopped);
    EXPECT_EQ(messages.shown, QStringList{lang::MessageText("NoAudio")});
    EXPECT_EQ(ReadBytes(folder + "/web.files/CourseIndex.js"), "an earlier index");
    EXPECT_EQ(ReadBytes(Media()), "an earlier recording");
    EXPECT_FALSE(view->Writer().IsWriting());
}

TEST_F(RecordingTest, ARecordingThatCannotBeWrittenStopsOnceAndSaysSo) {
    view->OnRecordStart();
    Feed(4);
    ASSERT_TRUE(fs::remove(Media()));  // the file is taken away under the recording
    Feed(3);
    EXPECT_EQ(view->State(), RecordState::Stopped);
    EXPECT_EQ(messages.shown.count(lang::MessageText("WriteFail")), 1);
    EXPECT_TRUE(ReadBytes(folder + "/web.files/CourseIndex.js").ends_with("showBranch('branch2');}"));

    // A course folder without its web folder: the writer cannot start.
    messages.shown.clear();
    fs::remove_all(folder + "/web.files");
    view->OnRecordStart();
    EXPECT_EQ(view->State(), RecordState::Stopped);
    EXPECT_EQ(messages.shown, QStringList{lang::MessageWith("CannotWrite", {QString::fromStdString(folder + "/web.files"),
                                                                            lang::MessageText("WhyMissing")})});
}

TEST_F(RecordingTest, StopEndsPromptlyWhileTheCameraWaitsForTheLock) {
    setenv("TOVRA_TEST_CAMERA", "1", 1);
    QWidget preview;
    VideoCapture& camera = view->Camera();
    ASSERT_GE(camera.EnumerateDevices(0), 0);
    int test = -1;
    for (int i = 0; i < camera.DeviceCount(); ++i) {
        if (camera.Device(i).friendlyName == "Test Pattern Camera") test = i;
    }
    ASSERT_GE(test, 0);
    camera.EnumerateDevices(test);
    ASSERT_TRUE(camera.BuildGraph(view.get(), &preview));
    unsetenv("TOVRA_TEST_CAMERA");

    mic->closeDelayMs = 500;  // as the real device's close, under the lock
    view->OnRecordStart();
    ASSERT_TRUE(messages.shown.isEmpty()) << messages.shown.join(QLatin1Char('|')).toStdString();
    for (int i = 0; i < 8; ++i) {
        Feed(1);
        WaitUntil([] { return false; }, 250);
    }
    EXPECT_GE(view->FrameCount(), 20u);
    const auto start = std::chrono::steady_clock::now();
    view->OnRecordStop();
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::milliseconds(2000));  // not the frame thread's four-second give-up
    EXPECT_FALSE(camera.FrameThreadRunning());
    EXPECT_GE(Packets(Media(), "v").size(), 20u);
}

}  // namespace
}  // namespace tovra

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(
        new tovra::testing_support::QtApplicationEnvironment<tovra::testing_support::WebEngineTestApp>);
    return RUN_ALL_TESTS();
}
