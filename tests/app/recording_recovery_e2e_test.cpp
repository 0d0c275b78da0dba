// Recordings cut short in the real editor: killed with SIGKILL at random moments, and stopped by
// a full disk. A lecture runs in a program of its own (tovra-recording-child); afterwards the
// course is opened here, which finishes its files, and every file must play or parse to within a
// second of where the recording ended. The last course is kept for the browser test that plays it.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/mount.h>
#include <unistd.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTreeWidget>
#include <QUrl>
#include <chrono>
#include <filesystem>
#include <random>

#include "lang/language_table.h"
#include "media/recording_recovery.h"
#include "tests/support/course_frame.h"

namespace tovra {
namespace {

using testing::ReadBytes;
using testing::WriteBytes;
using testing_support::WaitUntil;
namespace fs = std::filesystem;

QString Tool(const QString& program, const QStringList& args) {
    QProcess process;
    process.start(program, args);
    process.waitForFinished(120000);
    return QString::fromUtf8(process.readAllStandardOutput()) + QString::fromUtf8(process.readAllStandardError());
}

double Duration(const std::string& path) {
    return Tool(QStringLiteral("ffprobe"), {"-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0",
                                            QString::fromStdString(path)})
        .trimmed()
        .toDouble();
}

// Where the last packet of a file ends, in seconds.
double LastPacketEnd(const std::string& path) {
    const QString out = Tool(QStringLiteral("ffprobe"), {"-v", "error", "-show_entries", "packet=pts_time,duration_time",
                                                         "-of", "csv=p=0", QString::fromStdString(path)});
    double end = 0;
    for (const QString& line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList parts = line.split(QLatin1Char(','));
        if (parts.size() >= 2) end = std::max(end, parts[0].toDouble() + parts[1].toDouble());
    }
    return end;
}

// The lecture program, with what it says on its standard output.
class Lecture {
public:
    explicit Lecture(const std::string& folder) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TOVRA_TEST_CAMERA"), QStringLiteral("1"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process_.setProcessEnvironment(env);
        process_.setProcessChannelMode(QProcess::SeparateChannels);
        process_.start(QStringLiteral(TOVRA_PROGRAM_DIR "/tovra-recording-child"), {QString::fromStdString(folder)});
    }
    ~Lecture() { Kill(); }
    // Reads what the lecture printed until the recording's clock reaches ms, or a message says it
    // stopped; the clock last seen.
    uint32_t ReadUntil(uint32_t ms, const QString& stopMessage = QString(), int timeoutMs = 90000) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (std::chrono::steady_clock::now() < deadline && process_.state() != QProcess::NotRunning) {
            if (!process_.canReadLine() && !process_.waitForReadyRead(200)) continue;
            while (process_.canReadLine()) {
                const QString line = QString::fromUtf8(process_.readLine()).trimmed();
                if (line.startsWith(QLatin1String("clock "))) clock_ = line.mid(6).toUInt();
                if (line.startsWith(QLatin1String("message "))) messages_ << line.mid(8);
                if (!stopMessage.isEmpty() && line == QLatin1String("message ") + stopMessage) return clock_;
                if (stopMessage.isEmpty() && clock_ >= ms) return clock_;
            }
        }
        return clock_;
    }
    bool Running() const { return process_.state() == QProcess::Running; }
    void Kill() {
        if (process_.state() == QProcess::NotRunning) return;
        ::kill(static_cast<pid_t>(process_.processId()), SIGKILL);
        process_.waitForFinished(10000);
    }
    QProcess::ExitStatus ExitStatus() const { return process_.exitStatus(); }
    const QStringList& Messages() const { return messages_; }

private:
    QProcess process_;
    uint32_t clock_ = 0;
    QStringList messages_;
};

class RecordingRecoveryEndToEnd : public testing_support::CourseFrameTest {
protected:
    // Opens the course the lecture made, which finishes its files, and checks each of them against
    // the recording's clock when it ended (endMs).
    void OpenAndCheck(const std::string& folder, uint32_t endMs, const std::string& keepAs = {}) {
        const std::string web = folder + "/Lecture/web.files";
        ASSERT_TRUE(RecordingWasInterrupted(web));
        messages.shown.clear();
        ASSERT_TRUE(view->ReadProjectFile(folder + "/Lecture/Lecture.lsn"));
        EXPECT_FALSE(RecordingWasInterrupted(web)) << "the files were finished";
        ASSERT_EQ(messages.shown.size(), 1) << messages.shown.join(QLatin1Char('|')).toStdString();
        QString said = lang::MessageText("Recovered");
        EXPECT_TRUE(messages.shown[0].startsWith(said.left(said.indexOf(QLatin1String("%s"))))) << messages.shown[0].toStdString();
        const double end = endMs / 1000.0;
        SCOPED_TRACE("the recording ended at " + std::to_string(end) + " s");

        // The media file: decodes, ends where the recording did, and its header says so.
        EXPECT_EQ(Tool(QStringLiteral("ffmpeg"), {"-v", "error", "-i", QString::fromStdString(web + "/video001.wmv"),
                                                  "-f", "null", "-"}),
                  QString());
        EXPECT_NEAR(LastPacketEnd(web + "/video001.wmv"), end, 1.0);
        EXPECT_NEAR(Duration(web + "/video001.wmv"), end, 1.0) << "the header's duration";
        // The browser copy: decodes, with its duration, to within a second.
        EXPECT_EQ(Tool(QStringLiteral("ffmpeg"), {"-v", "error", "-i", QString::fromStdString(web + "/video001.webm"),
                                                  "-f", "null", "-"}),
                  QString());
        EXPECT_NEAR(Duration(web + "/video001.webm"), end, 1.0);
        // The timeline and the index are scripts that run, with the lecture up to its end.
        const auto run = [&](const std::string& file, const QString& then) {
            const QString script = QString::fromLatin1(QUrl::toPercentEncoding(QString::fromLatin1(ReadBytes(file).c_str())));
            return Evaluate(QStringLiteral("(function(){try{var leaves=[];function tree(){this.add=function(){};"
                                           "this.write=function(){};}function branch(){this.add=function(l){if(l instanceof leaf)leaves.push(l);};}"
                                           "function leaf(t,n){this.t=t;this.n=n;}function showBranch(){}var showtree=0;"
                                           "eval(decodeURIComponent('%1'));%2}catch(e){return 'error: '+e;}})()")
                                .arg(script, then));
        };
        const QString lastCommand = run(web + "/video001.js", QStringLiteral(
            "return String(tovraTimeline[tovraTimeline.length-1][0])+' '+typeof tovraSpace;"));
        EXPECT_TRUE(lastCommand.endsWith(QLatin1String(" object"))) << lastCommand.toStdString();
        EXPECT_NEAR(lastCommand.section(QLatin1Char(' '), 0, 0).toDouble() / 1000.0, end, 1.0) << lastCommand.toStdString();
        const QString index = run(web + "/CourseIndex.js", QStringLiteral(
            "onInit();var l=leaves[leaves.length-1];return leaves.length+' '+l.n;"));
        EXPECT_FALSE(index.startsWith(QLatin1String("error"))) << index.toStdString();
        // A turn every three seconds: the index holds the turns up to the end.
        EXPECT_GE(index.section(QLatin1Char(' '), 0, 0).toInt(), static_cast<int>(end / 3.0) - 1) << index.toStdString();
        EXPECT_GE(index.section(QLatin1Char(' '), 1, 1).toDouble() / 1000.0, end - 4.0) << index.toStdString();
        if (keepAs.empty()) return;
        const fs::path kept = fs::path(TOVRA_PROGRAM_DIR "/../artifacts") / keepAs;
        fs::remove_all(kept);
        fs::copy(folder + "/Lecture", kept, fs::copy_options::recursive);
        QFile out(QString::fromStdString(kept.string() + ".json"));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(QJsonDocument(QJsonObject{{"endMs", static_cast<int>(endMs)}}).toJson());
    }
};

// Killed at three random moments between 5 and 30 s of recording.
TEST_F(RecordingRecoveryEndToEnd, KilledAtRandomMomentsEveryFilePlaysToTheKill) {
    const unsigned seed = std::random_device{}();
    std::printf("moments drawn with seed %u\n", seed);
    std::mt19937 random(seed);
    std::uniform_int_distribution<uint32_t> moment(5000, 30000);
    for (int run = 1; run <= 3; ++run) {
        const uint32_t at = moment(random);
        SCOPED_TRACE("kill " + std::to_string(run) + " at " + std::to_string(at) + " ms");
        const std::string folder = dir / ("killed" + std::to_string(run));
        fs::create_directories(folder);
        uint32_t clock = 0;
        {
            Lecture lecture(folder);
            clock = lecture.ReadUntil(at);
            ASSERT_GE(clock, at) << lecture.Messages().join(QLatin1Char('|')).toStdString();
            lecture.Kill();
            EXPECT_EQ(lecture.ExitStatus(), QProcess::CrashExit);
        }
        // The clock printed last may be up to a buffer behind the kill.
        OpenAndCheck(folder, clock + 125, run == 3 ? "killed-course" : "");
    }
}

// A disk that fills during the recording: the editor says so, stops cleanly and keeps running;
// once there is room again, opening the course finishes what was recorded.
TEST_F(RecordingRecoveryEndToEnd, AFullDiskStopsTheRecordingAndKeepsWhatWasRecorded) {
    const std::string disk = dir / "small disk";
    fs::create_directories(disk);
    if (::mount("tovra-test", disk.c_str(), "tmpfs", 0, "size=1000k") != 0) {
        GTEST_SKIP() << "a small disk cannot be mounted here (" << std::strerror(errno)
                     << "); the test needs to run as root with mount rights";
    }
    struct Unmount {
        std::string path;
        ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount{disk};
    uint32_t clock = 0;
    {
        Lecture lecture(disk);
        clock = lecture.ReadUntil(0, lang::MessageText("WriteFail").replace(QLatin1String("\r\n"), QLatin1String(" ")));
        EXPECT_TRUE(lecture.Messages().contains(lang::MessageText("WriteFail"))) << lecture.Messages().join(QLatin1Char('|')).toStdString();
        EXPECT_GT(clock, 3000u);
        // The editor goes on: it is still running a while later.
        WaitUntil([] { return false; }, 1500);
        EXPECT_TRUE(lecture.Running());
        lecture.Kill();
    }
    // Room again, then the course opened.
    ASSERT_EQ(::mount("tovra-test", disk.c_str(), "tmpfs", MS_REMOUNT, "size=64m"), 0) << std::strerror(errno);
    OpenAndCheck(disk, clock);
}

}  // namespace
}  // namespace tovra
