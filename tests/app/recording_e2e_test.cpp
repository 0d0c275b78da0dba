// A ten-second lecture on a blank course with the real main frame, view, browser engine, the test
// run's virtual microphone and the test-pattern camera: a page turn, a pointer move and a pen
// stroke, then the media file read back with FFmpeg's own demuxer and decoders and the two scripts
// compared byte for byte.
#include <gtest/gtest.h>

#include <QCursor>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QProcess>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTreeWidget>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "app/command_ids.h"
#include "app/create_course_dialog.h"
#include "app/main_frame.h"
#include "app/settings.h"
#include "course/page_tree_bar.h"
#include "platform/browser/browser_control.h"
#include "platform/framework/message_box.h"
#include "tests/support/qt_test_application.h"
#include "tests/support/temp_dir.h"
#include "tests/support/view_input.h"
#include "tests/support/web_test_app.h"
#include "view/course_scripts.h"
#include "view/mirova_view.h"

namespace tovra {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing_support::WaitUntil;

QString RunTool(const QString& program, const QStringList& args, int* exitCode = nullptr, QString* errors = nullptr) {
    QProcess process;
    process.start(program, args);
    process.waitForFinished(120000);
    if (exitCode) *exitCode = process.exitCode();
    if (errors) *errors = QString::fromUtf8(process.readAllStandardError());
    return QString::fromUtf8(process.readAllStandardOutput());
}

// Packet times of one stream kind, and for the script stream the commands' ASCII text.
std::vector<std::pair<double, QString>> Packets(const QString& file, const QString& kind) {
    const QString out = RunTool(QStringLiteral("ffprobe"),
                                {"-v", "error", "-show_packets", "-show_data", "-select_streams", kind, file});
    std::vector<std::pair<double, QString>> packets;
    for (const QString& block : out.split(QStringLiteral("[PACKET]"), Qt::SkipEmptyParts)) {
        const auto time = QRegularExpression(QStringLiteral("pts_time=([0-9.]+)")).match(block);
        if (!time.hasMatch()) continue;
        QString text;
        for (const QString& line : block.split(QLatin1Char('\n'))) {
            const auto dump = QRegularExpression(QStringLiteral("^[0-9a-f]{8}: .{40} (.*)$")).match(line.trimmed());
            if (dump.hasMatch()) text += dump.captured(1).remove(QLatin1Char('.'));
        }
        packets.emplace_back(time.captured(1).toDouble(), text);
    }
    return packets;
}

// Decoded mono sound of a file's first sound stream, as doubles in -1..1, at a rate.
std::vector<double> DecodedSound(const QString& file, int rate) {
    QProcess process;
    process.start(QStringLiteral("ffmpeg"), {"-v", "error", "-i", file, "-map", "0:a:0", "-ac", "1", "-ar",
                                             QString::number(rate), "-f", "s16le", "-"});
    process.waitForFinished(120000);
    const QByteArray bytes = process.readAllStandardOutput();
    std::vector<double> samples(static_cast<size_t>(bytes.size() / 2));
    for (size_t i = 0; i < samples.size(); ++i) {
        int16_t v;
        std::memcpy(&v, bytes.constData() + 2 * i, 2);
        samples[i] = v / 32768.0;
    }
    return samples;
}

// The power of one frequency over [from, to) seconds (Goertzel), in dB of full scale.
double ToneDb(const std::vector<double>& sound, int rate, double frequency, double from, double to) {
    const size_t a = std::min(sound.size(), static_cast<size_t>(from * rate));
    const size_t b = std::min(sound.size(), static_cast<size_t>(to * rate));
    const double w = 2 * M_PI * frequency / rate, c = 2 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (size_t i = a; i < b; ++i) {
        const double v = sound[i] + c * s1 - s2;
        s2 = s1;
        s1 = v;
    }
    const double n = std::max<double>(1, static_cast<double>(b - a));
    return 10 * std::log10((s1 * s1 + s2 * s2 - c * s1 * s2) / (n * n / 4) + 1e-15);
}

double RmsDb(const std::vector<double>& sound, int rate, double from, double to) {
    const size_t a = std::min(sound.size(), static_cast<size_t>(from * rate));
    const size_t b = std::min(sound.size(), static_cast<size_t>(to * rate));
    double sum = 0;
    for (size_t i = a; i < b; ++i) sum += sound[i] * sound[i];
    return 10 * std::log10(sum / std::max<double>(1, static_cast<double>(b - a)) + 1e-15);
}

// The first time after `from` where the tone has gone (its power in 50 ms windows falls 20 dB).
double ToneEnds(const std::vector<double>& sound, int rate, double frequency, double from) {
    const double level = ToneDb(sound, rate, frequency, from - 0.5, from);
    for (double t = from; t + 0.05 < static_cast<double>(sound.size()) / rate; t += 0.01) {
        if (ToneDb(sound, rate, frequency, t, t + 0.05) < level - 20) return t;
    }
    return -1;
}

// The test sound server's tone: the one playing is replaced by one of another frequency.
void PlayTone(int frequency) {
    const QString modules = RunTool(QStringLiteral("pactl"), {"list", "short", "modules"});
    for (const QString& line : modules.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        if (line.contains(QLatin1String("module-sine"))) RunTool(QStringLiteral("pactl"), {"unload-module", line.section(QLatin1Char('\t'), 0, 0)});
    }
    RunTool(QStringLiteral("pactl"), {"load-module", "module-sine", "sink=vsink", "frequency=" + QString::number(frequency)});
}

class RecordingEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        saved = Program();
        Program().programFolder = std::string(TOVRA_PROGRAM_DIR) + "/";
        Program().languageFile = "Language/English.ini";
        qputenv("TOVRA_TEST_CAMERA", "1");
        framework::SetMessageService(&messages);
        view = new CMirovaView;
        frame = std::make_unique<CMainFrame>(router, view);
        router.SetTargets({view, frame.get()});
        frame->resize(1100, 760);
        frame->show();
        view->OnInitialUpdate();
        view->SetDialogRunner([this](QDialog& dialog) {
            auto& create = dynamic_cast<CreateCourseDialog&>(dialog);
            create.courseFileName = "Lesson1";
            create.saveFolder = dir.path();
            create.deckPath.clear();
            create.courseName = "光学";  // written in GBK
            create.teacherName = "Lee";
            create.unitName = "Physics";
            create.makeDate = "26-12-07_11";
            return int(QDialog::Accepted);
        });
    }
    void TearDown() override {
        router.SetTargets({});
        frame.reset();
        qunsetenv("TOVRA_TEST_CAMERA");
        framework::SetMessageService(nullptr);
        Program() = saved;
    }
    QString Evaluate(const QString& script) {
        return testing_support::EvaluateInPage(view->Browser().View()->page(), script);
    }
    bool WaitForClock(uint32_t ms) {
        return WaitUntil([&] { return view->ClockMs() >= ms; }, ms + 8000);
    }
    void Mouse(QEvent::Type type, QPoint at, Qt::MouseButtons buttons) { testing_support::SendMouse(view, type, at, buttons); }

    TempDir dir;
    ProgramSettings saved;
    framework::RecordingMessageService messages;
    framework::CommandRouter router;
    CMirovaView* view = nullptr;
    std::unique_ptr<CMainFrame> frame;
};

TEST_F(RecordingEndToEnd, TenSecondsWithAPageTurnAPointerMoveAndAStroke) {
    ASSERT_EQ(view->Camera().SelectedIndex(), 0);  // the camera was set up with the view
    ASSERT_TRUE(router.Dispatch(cmd::kFileNew));
    ASSERT_TRUE(router.Dispatch(cmd::kEditHtml));  // leave the editor a new course opens in
    ASSERT_TRUE(router.Dispatch(cmd::kAddPage));
    ASSERT_TRUE(router.Dispatch(cmd::kEditHtml));
    ASSERT_TRUE(router.Dispatch(cmd::kPrevPage));
    ASSERT_TRUE(WaitUntil([&] { return view->Course().currentPage == 1; }, 5000));
    QCursor::setPos(view->mapToGlobal(QPoint(200, 150)));

    ASSERT_TRUE(router.Dispatch(cmd::kRecordStart));
    ASSERT_EQ(view->State(), RecordState::Recording);
    ASSERT_TRUE(messages.shown.isEmpty()) << messages.shown.join(QLatin1Char('|')).toStdString();

    ASSERT_TRUE(WaitForClock(3000));
    QCursor::setPos(view->mapToGlobal(QPoint(300, 220)));
    ASSERT_TRUE(router.Dispatch(cmd::kPen));
    ASSERT_TRUE(router.Dispatch(cmd::kPenColourFirst + 9));
    Mouse(QEvent::MouseButtonPress, QPoint(100, 100), Qt::LeftButton);
    for (int i = 1; i <= 5; ++i) Mouse(QEvent::MouseMove, QPoint(100 + 20 * i, 100 + 10 * i), Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, QPoint(200, 150), Qt::NoButton);
    EXPECT_EQ(view->Strokes().size(), 1u);
    // The stroke lies over the page, in the chosen colour (light green), drawn again with the page.
    WaitUntil([] { return false; }, 200);
    const QImage shot = frame->grab().toImage();
    QDir().mkpath(QStringLiteral(TOVRA_PROGRAM_DIR "/../artifacts"));
    shot.save(QStringLiteral(TOVRA_PROGRAM_DIR "/../artifacts/recording-stroke.png"));
    const QPoint onStroke = view->mapTo(frame.get(), QPoint(110, 105));
    EXPECT_EQ(shot.pixelColor(onStroke), QColor(0, 255, 0)) << shot.pixelColor(onStroke).name().toStdString();
    // Where the page's sheet lies in the view: the browser test of the course's player checks that
    // pointer and ink land on the same places of the sheet there.
    const QString sheet = Evaluate(QStringLiteral(
        "(function () { var f = document.querySelectorAll('iframe'); var d = f[f.length - 1].contentDocument;"
        " var r = d.querySelector('main').getBoundingClientRect();"
        " return JSON.stringify({sheet: [r.left, r.top, r.width, r.height], view: [innerWidth, innerHeight]}); })()"));
    EXPECT_TRUE(sheet.startsWith(QLatin1String("{\"sheet\":["))) << sheet.toStdString();

    ASSERT_TRUE(WaitForClock(5000));
    ASSERT_TRUE(router.Dispatch(cmd::kNextPage));
    EXPECT_TRUE(view->Strokes().empty());  // the page change takes the ink away
    ASSERT_TRUE(WaitForClock(10000));
    ASSERT_TRUE(router.Dispatch(cmd::kRecordStop));
    ASSERT_EQ(view->State(), RecordState::Stopped);
    EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(frame->TimePane()->text(), FormatElapsedTime(view->ClockMs() - view->ClockMs() % 500 + 250 -
                                                           (view->ClockMs() % 500 == 0 ? 500 : 0)));

    const std::string folder = dir / "Lesson1/web.files";
    const QString media = QString::fromStdString(folder + "/video001.wmv");
    // Three streams, and FFmpeg decodes all of them without a complaint.
    const QString streams = RunTool(QStringLiteral("ffprobe"),
                                    {"-v", "error", "-show_entries", "stream=codec_type", "-of", "csv=p=0", media});
    EXPECT_EQ(streams.split(QLatin1Char('\n'), Qt::SkipEmptyParts), (QStringList{"audio", "video", "data"}));
    int exitCode = -1;
    QString errors;
    RunTool(QStringLiteral("ffmpeg"), {"-v", "error", "-i", media, "-f", "null", "-"}, &exitCode, &errors);
    EXPECT_EQ(exitCode, 0);
    EXPECT_TRUE(errors.trimmed().isEmpty()) << errors.toStdString();

    const auto audio = Packets(media, QStringLiteral("a"));
    // 40 buffers of 250 ms, encoded in frames of 512 samples (64 ms).
    EXPECT_NEAR(audio.size() * 512 / 8000.0, 10.0, 0.2);
    const auto video = Packets(media, QStringLiteral("v"));
    EXPECT_NEAR(static_cast<double>(video.size()), 150.0, 8.0);
    const auto scripts = Packets(media, QStringLiteral("d"));
    ASSERT_FALSE(scripts.empty());
    EXPECT_TRUE(scripts[0].second.contains(QLatin1String("pages(1,0)"))) << scripts[0].second.toStdString();
    const double first = scripts[0].first;  // 250 ms on the file's time line
    bool pointer = false, stroke = false, turn = false;
    for (const auto& [time, text] : scripts) {
        pointer = pointer || text.contains(QLatin1String("script(300,220)"));
        stroke = stroke || text.contains(QLatin1String("dpaths9,0,\"'m100,100l120,110,140,120"));
        if (text.contains(QLatin1String("pages(2,0)"))) {
            turn = true;
            EXPECT_NEAR(time - first, 4.75, 0.6);  // the turn at about 5 s, on the next half second
        }
    }
    EXPECT_TRUE(pointer);
    EXPECT_TRUE(stroke);
    EXPECT_TRUE(turn);

    // The companion for today's browsers: the same length, and every script command as data.
    const QString webm = QString::fromStdString(folder + "/video001.webm");
    // Both files' sound ends at the same moment (their last frames: 64 ms of WMA, 20 ms of Opus).
    const auto companionAudio = Packets(webm, QStringLiteral("a"));
    ASSERT_FALSE(companionAudio.empty());
    ASSERT_FALSE(audio.empty());
    EXPECT_GT(audio.back().first, 9.5);
    EXPECT_NEAR(companionAudio.back().first, audio.back().first, 0.1);
    EXPECT_NEAR(Packets(webm, QStringLiteral("v")).size(), video.size(), 2.0);
    // The test camera gives VGA: the companion shows it so, the .wmv at its own 320 x 240.
    auto size = [](const QString& file) {
        return RunTool(QStringLiteral("ffprobe"), {"-v", "error", "-select_streams", "v:0", "-show_entries",
                                                   "stream=width,height", "-of", "csv=p=0", file})
            .trimmed();
    };
    EXPECT_EQ(size(webm), QStringLiteral("640,480"));
    EXPECT_EQ(size(media), QStringLiteral("320,240"));
    // A companion frame is the camera's colour bars, as the camera's own source makes them.
    const QString reference = QString::fromStdString(dir / "bars.rgb");
    int made = -1;
    RunTool(QStringLiteral("gst-launch-1.0"),
            {"-q", "videotestsrc", "num-buffers=1", "!", "video/x-raw,format=YUY2,width=640,height=480", "!",
             "videoconvert", "!", "video/x-raw,format=RGB", "!", "filesink", "location=" + reference},
            &made);
    ASSERT_EQ(made, 0);
    const std::string bars = ReadBytes(reference.toStdString());
    QProcess decode;
    decode.start(QStringLiteral("ffmpeg"), {"-v", "error", "-ss", "3", "-i", webm, "-frames:v", "1", "-f", "rawvideo",
                                            "-pix_fmt", "rgb24", "-"});
    decode.waitForFinished(60000);
    const QByteArray frame = decode.readAllStandardOutput();
    RunTool(QStringLiteral("ffmpeg"), {"-v", "error", "-y", "-ss", "3", "-i", webm, "-frames:v", "1",
                                       QStringLiteral(TOVRA_PROGRAM_DIR "/../artifacts/companion-frame.png")});
    ASSERT_EQ(static_cast<size_t>(frame.size()), bars.size());
    ASSERT_EQ(bars.size(), 640u * 480 * 3);
    // The bars and the strip below them; the bottom quarter holds moving noise.
    const size_t compared = 640u * 360 * 3;
    double squared = 0;
    for (size_t i = 0; i < compared; ++i) {
        const double d = static_cast<uint8_t>(frame[static_cast<qsizetype>(i)]) - static_cast<uint8_t>(bars[i]);
        squared += d * d;
    }
    const double psnr = 10 * std::log10(255.0 * 255.0 / (squared / static_cast<double>(compared)));
    EXPECT_GT(psnr, 30) << psnr;
    std::printf("companion frame against the camera's pattern: PSNR %.1f dB\n", psnr);
    const std::string timeline = ReadBytes(folder + "/video001.js");
    size_t entries = 0;
    for (size_t at = timeline.find("\r\n["); at != std::string::npos; at = timeline.find("\r\n[", at + 1)) ++entries;
    EXPECT_EQ(entries, scripts.size()) << timeline;
    EXPECT_NE(timeline.find("[250,\"pages\",\"(1,0)\"]"), std::string::npos) << timeline;
    EXPECT_NE(timeline.find("\"script\",\"(300,220)\"]"), std::string::npos);
    EXPECT_NE(timeline.find("\"dpaths\",\"9,0,\\u0022'm100,100l120,110,140,120"), std::string::npos) << timeline;
    const std::string space = "var tovraSpace = {kind: \"view\", sizes: [[0," + std::to_string(view->width()) + "," +
                              std::to_string(view->height()) + "]]};";
    EXPECT_NE(timeline.find(space), std::string::npos) << timeline;

    const std::string index = ReadBytes(folder + "/CourseIndex.js");
    // The page lines: page 1 at the start, page 2 at the turn (about 5 s).
    const size_t at = index.find("leaf('Page 2',");
    ASSERT_NE(at, std::string::npos) << index;
    const uint32_t turnMs = static_cast<uint32_t>(std::stoul(index.substr(at + 14)));
    EXPECT_NEAR(turnMs, 5000.0, 500.0);
    EXPECT_EQ(index, IndexHead("Physics", "26-12-07_11") + IndexFirstPageLine("Page 1") +
                         IndexPageLine("Page 2", turnMs) + IndexEnd());
    EXPECT_EQ(ReadBytes(folder + "/info.js"),
              "function onload_(){coursename.innerHTML=\"\xB9\xE2\xD1\xA7\";teachername.innerHTML=\"Lee\";}");

    // The course, for the test that plays it in a web browser.
    const std::filesystem::path kept = TOVRA_PROGRAM_DIR "/../artifacts/recorded-course";
    std::filesystem::remove_all(kept);
    std::filesystem::copy(dir / "Lesson1", kept, std::filesystem::copy_options::recursive);
    std::FILE* layout = std::fopen((kept / "editor-layout.json").c_str(), "wb");
    ASSERT_NE(layout, nullptr);
    const QByteArray layoutText = sheet.toUtf8();
    std::fwrite(layoutText.data(), 1, layoutText.size(), layout);
    std::fclose(layout);
}

// The companion carries the microphone's full band at 48 kHz; the .wmv keeps its 8 kHz sound, the
// band below 4 kHz with nothing folded into it, on the same time line.
TEST_F(RecordingEndToEnd, TheCompanionCarriesFullBandSoundAndTheWmvTheTelephoneBand) {
    ASSERT_TRUE(router.Dispatch(cmd::kFileNew));
    ASSERT_TRUE(router.Dispatch(cmd::kEditHtml));
    ASSERT_TRUE(router.Dispatch(cmd::kRecordStart));
    ASSERT_EQ(view->State(), RecordState::Recording);
    ASSERT_TRUE(WaitForClock(2000));
    PlayTone(6000);
    const double highFrom = view->ClockMs() / 1000.0;
    ASSERT_TRUE(WaitForClock(view->ClockMs() + 2000));
    PlayTone(440);
    const double highTo = view->ClockMs() / 1000.0;
    ASSERT_TRUE(WaitForClock(view->ClockMs() + 2000));
    ASSERT_TRUE(router.Dispatch(cmd::kRecordStop));
    EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join(QLatin1Char('|')).toStdString();

    const std::string folder = dir / "Lesson1/web.files";
    const QString media = QString::fromStdString(folder + "/video001.wmv");
    const QString webm = QString::fromStdString(folder + "/video001.webm");
    EXPECT_EQ(RunTool(QStringLiteral("ffprobe"), {"-v", "error", "-select_streams", "a:0", "-show_entries",
                                                  "stream=codec_name,sample_rate", "-of", "csv=p=0", webm})
                  .trimmed(),
              QStringLiteral("opus,48000"));
    EXPECT_EQ(RunTool(QStringLiteral("ffprobe"), {"-v", "error", "-select_streams", "a:0", "-show_entries",
                                                  "stream=sample_rate", "-of", "csv=p=0", media})
                  .trimmed(),
              QStringLiteral("8000"));

    // The companion: a peak at 6 kHz (within 50 Hz), far above the floor of the other frequencies.
    const std::vector<double> full = DecodedSound(webm, 48000);
    const double a = highFrom + 0.6, b = highTo - 0.2;
    ASSERT_GT(b - a, 0.8);
    double peak = -1000, peakAt = 0;
    for (double f = 5500; f <= 6500; f += 5) {
        const double p = ToneDb(full, 48000, f, a, b);
        if (p > peak) peak = p, peakAt = f;
    }
    EXPECT_NEAR(peakAt, 6000, 50);
    std::vector<double> floor;
    for (double f = 300; f < 20000; f += 197) {
        if (std::abs(f - 6000) > 300) floor.push_back(ToneDb(full, 48000, f, a, b));
    }
    std::nth_element(floor.begin(), floor.begin() + floor.size() / 2, floor.end());
    EXPECT_GT(peak, floor[floor.size() / 2] + 20) << peak << " " << floor[floor.size() / 2];

    // The .wmv: the 440 Hz tone before and after, and the 6 kHz stretch quiet, not a 2 kHz alias.
    const std::vector<double> phone = DecodedSound(media, 8000);
    const double tone = RmsDb(phone, 8000, 0.5, highFrom - 0.2);
    EXPECT_GT(ToneDb(phone, 8000, 440, 0.5, highFrom - 0.2), tone - 3);
    EXPECT_LT(RmsDb(phone, 8000, a, b), tone - 20);
    EXPECT_LT(ToneDb(phone, 8000, 2000, a, b), tone - 20);

    // One time line: the same length, and the 440 Hz tone stops at the same moment in both.
    EXPECT_NEAR(full.size() / 48000.0, phone.size() / 8000.0, 0.1);
    EXPECT_GT(full.size() / 48000.0, 5.5);
    const double fullEnds = ToneEnds(full, 48000, 440, highFrom - 0.5);
    const double phoneEnds = ToneEnds(phone, 8000, 440, highFrom - 0.5);
    EXPECT_GT(fullEnds, 0);
    EXPECT_NEAR(fullEnds, phoneEnds, 0.1);
    EXPECT_NEAR(fullEnds, highFrom, 0.6);
}

}  // namespace
}  // namespace tovra
