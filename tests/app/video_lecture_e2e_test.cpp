// Short lectures recorded in the real editor for the test of the video export (tests/e2e): the
// test camera, the test run's tone, a pointer move, a red pen stroke and a turn to page 2, once on
// a blank course whose page 2 has a coloured sheet and once on the imported deck. Each course is
// kept under artifacts/ for that test.
#include <gtest/gtest.h>

#include <QCursor>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/command_ids.h"
#include "tests/support/course_frame.h"

namespace tovra {
namespace {

namespace fs = std::filesystem;
using testing_support::WaitUntil;

constexpr int kRed = 5;  // the pen's colour table: black, white, grey, silver, maroon, red, ...

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class VideoLecture : public testing_support::RecordingFrameTest {
protected:
    // Six seconds on page 1 then page 2: the pointer moves at 1 s, a red stroke across the page's
    // middle at 2 s, the turn at 3.5 s. The course folder is kept as artifacts/<keepAs>.
    void Lecture(const fs::path& courseFolder, const std::string& keepAs) {
        ASSERT_TRUE(Shows(1));
        QCursor::setPos(view->mapToGlobal(QPoint(200, 150)));
        ASSERT_TRUE(router.Dispatch(cmd::kRecordStart));
        ASSERT_EQ(view->State(), RecordState::Recording);
        ASSERT_TRUE(WaitForClock(1000));
        QCursor::setPos(view->mapToGlobal(QPoint(view->width() / 2 + 60, view->height() / 3)));
        ASSERT_TRUE(WaitForClock(2000));
        ASSERT_TRUE(router.Dispatch(cmd::kPen));
        ASSERT_TRUE(router.Dispatch(cmd::kPenColourFirst + kRed));
        const int y = view->height() / 2, left = view->width() / 4, right = view->width() * 3 / 4;
        Mouse(QEvent::MouseButtonPress, QPoint(left, y), Qt::LeftButton);
        for (int i = 1; i <= 10; ++i) Mouse(QEvent::MouseMove, QPoint(left + (right - left) * i / 10, y), Qt::LeftButton);
        Mouse(QEvent::MouseButtonRelease, QPoint(right, y), Qt::NoButton);
        ASSERT_EQ(view->Strokes().size(), 1u);
        ASSERT_TRUE(router.Dispatch(cmd::kPen));
        ASSERT_TRUE(WaitForClock(3500));
        ASSERT_TRUE(router.Dispatch(cmd::kNextPage));
        ASSERT_TRUE(Shows(2));
        ASSERT_TRUE(WaitForClock(6000));
        ASSERT_TRUE(router.Dispatch(cmd::kRecordStop));
        ASSERT_EQ(view->State(), RecordState::Stopped);
        EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join(QLatin1Char('|')).toStdString();

        // What the export is to show is in the browser copy's timeline.
        const std::string timeline = Read(courseFolder / "web.files/video001.js");
        EXPECT_NE(timeline.find("\"pages\",\"(2,"), std::string::npos) << timeline;
        EXPECT_NE(timeline.find("\"dpaths\",\"" + std::to_string(kRed) + ","), std::string::npos) << timeline;
        EXPECT_NE(timeline.find("\"script\""), std::string::npos) << timeline;
        ASSERT_TRUE(fs::is_regular_file(courseFolder / "web.files/video001.webm"));

        const fs::path kept = fs::path(TOVRA_PROGRAM_DIR "/../artifacts") / keepAs;
        fs::remove_all(kept);
        fs::create_directories(kept.parent_path());
        fs::copy(courseFolder, kept, fs::copy_options::recursive);
    }
};

TEST_F(VideoLecture, OnABlankCourseWithAColouredSecondPage) {
    ASSERT_TRUE(router.Dispatch(cmd::kFileNew));
    ASSERT_TRUE(LeaveEditor());  // a new course opens in the editor, and so does a new page
    ASSERT_TRUE(router.Dispatch(cmd::kAddPage));
    ASSERT_TRUE(LeaveEditor());
    ASSERT_TRUE(router.Dispatch(cmd::kPrevPage));
    ASSERT_TRUE(Shows(1));
    // Page 2's sheet in a colour of its own, as a teacher's page may have; it is shown at the turn.
    const fs::path course = fs::path(dir.path()) / "Lesson1";
    const fs::path page2 = course / "web.files/2.html";
    std::string html = Read(page2);
    const size_t head = html.find("</head>");
    ASSERT_NE(head, std::string::npos) << html;
    html.insert(head, "<style>main { background: #ffb000 !important; }</style>");
    std::ofstream(page2, std::ios::binary) << html;
    Lecture(course, "video-lecture-blank");
}

TEST_F(VideoLecture, OnTheImportedDeck) {
    const fs::path imported = TOVRA_PROGRAM_DIR "/../artifacts/imported-course";
    ASSERT_TRUE(fs::is_directory(imported)) << "made by the deck import test";
    const fs::path course = fs::path(dir.path()) / "Deck";
    fs::copy(imported, course, fs::copy_options::recursive);
    fs::path project;
    for (const auto& entry : fs::directory_iterator(course)) {
        if (entry.path().extension() == ".lsn") project = entry.path();
    }
    ASSERT_FALSE(project.empty());
    ASSERT_TRUE(view->ReadProjectFile(project.string()));
    Lecture(course, "video-lecture-deck");
}

}  // namespace
}  // namespace tovra
