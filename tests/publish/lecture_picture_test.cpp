#include <gtest/gtest.h>

#include <QImage>
#include <QRegion>
#include <algorithm>

#include <QGuiApplication>

#include "publish/lecture_picture.h"
#include "tests/support/qt_test_application.h"

// The heading's text needs fonts, and so a GUI application.
static ::testing::Environment* const kQtApp =
    ::testing::AddGlobalTestEnvironment(new tovra::testing_support::QtApplicationEnvironment<QGuiApplication>);

namespace tovra {
namespace {

QImage Filled(QSize size, QColor colour) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

TEST(LecturePicture, PageInkPointerAndCameraEachInTheirPlaceAndOnlyChangesAreDrawn) {
    QImage pointer(6, 6, QImage::Format_ARGB32);
    pointer.fill(QColor(0, 255, 0));
    LecturePicture picture(1280, 720, true, LecturePlacement(PositionSpace::Slide, {}), pointer);
    // The camera has the right quarter; a 4:3 page fills the rest whole.
    EXPECT_EQ(picture.PageRect(), QRect(0, 0, 960, 720));
    EXPECT_GE(picture.CameraRect().left(), 960);
    EXPECT_LE(picture.CameraRect().right(), 1279);
    EXPECT_EQ(picture.CameraRect().width() * 3, picture.CameraRect().height() * 4);

    LectureScript script({{100, "pages", "(1,0)"},
                          {200, "dpaths", "5,0,\"'m0,270l720,270'>\""},
                          {300, "script", "(360,100)"}});
    const QImage page = Filled({960, 720}, QColor(0, 0, 200));
    const QImage camera = Filled(picture.CameraRect().size(), QColor(250, 250, 0));

    ASSERT_TRUE(picture.Compose(page, 1, script.At(150), 150, &camera));
    const QImage& f = picture.Frame();
    EXPECT_EQ(f.size(), QSize(1280, 720));
    EXPECT_EQ(QColor(f.pixel(100, 600)), QColor(0, 0, 200));
    EXPECT_EQ(QColor(f.pixel(picture.CameraRect().center())), QColor(250, 250, 0));
    EXPECT_EQ(QColor(f.pixel(480, 360)), QColor(0, 0, 200));  // no ink yet

    // The same again: nothing to draw.
    EXPECT_FALSE(picture.Compose(page, 1, script.At(160), 160, nullptr));

    // The red stroke across the middle of the slide, the pointer where the slide point lands.
    ASSERT_TRUE(picture.Compose(page, 1, script.At(350), 350, nullptr));
    EXPECT_EQ(QColor(f.pixel(480, 360)), QColor(255, 0, 0));
    EXPECT_EQ(QColor(f.pixel(100, 360)), QColor(255, 0, 0));
    EXPECT_EQ(QColor(f.pixel(480 + 2, 133 + 2)), QColor(0, 255, 0));  // 100 points down: 133 px
    EXPECT_EQ(QColor(f.pixel(picture.CameraRect().center())), QColor(250, 250, 0));  // the camera stays

    // A turn to page 2 takes the ink away.
    LectureScript turned({{100, "pages", "(1,0)"}, {200, "dpaths", "5,0,\"'m0,270l720,270'>\""}, {400, "pages", "(2,0)"}});
    turned.At(300);
    const QImage page2 = Filled({960, 720}, QColor(0, 150, 0));
    ASSERT_TRUE(picture.Compose(page2, 2, turned.At(450), 450, nullptr));
    EXPECT_EQ(QColor(f.pixel(480, 360)), QColor(0, 150, 0));
}

// Only the changed parts are drawn again, and the frame is still the one a picture drawn from
// nothing would show: the parts cover every pixel that differs from the frame before.
TEST(LecturePicture, TheChangedPartsHoldEveryDifferenceAndNoMore) {
    QImage pointer(12, 16, QImage::Format_ARGB32);
    pointer.fill(Qt::transparent);
    for (int i = 0; i < 12; ++i) pointer.setPixelColor(i, i, QColor(0, 255, 0));
    const LecturePlacement placement(PositionSpace::Slide, {});
    LectureScript script({{100, "pages", "(1,0)"},
                          {150, "script", "(100,100)"},
                          {300, "script", "(110,104)"},
                          {500, "dpaths", "5,0,\"'m0,270l720,270'>\""},
                          {700, "script", "(715,535)"},  // the pointer at the page's corner
                          {900, "pages", "(2,0)"}});
    const QImage page1 = Filled({960, 720}, QColor(0, 0, 200)), page2 = Filled({960, 720}, QColor(200, 100, 0));
    const auto heading = [](LecturePicture& p) {
        p.SetHeading(QStringLiteral("光学 Optics"), QStringLiteral("Lee"),
                     {{1, QStringLiteral("Light and its paths")}, {2, QStringLiteral("第二页 Lenses")}});
    };
    LecturePicture picture(1280, 720, true, placement, pointer);
    heading(picture);
    QImage before;
    QImage camera;
    for (uint64_t t = 100; t <= 1000; t += 50) {
        const LectureScene scene = script.At(t);
        const QImage* fresh = nullptr;
        if (t % 200 == 0) {
            camera = Filled(picture.CameraRect().size(), QColor::fromHsv(static_cast<int>(t / 5 % 360), 255, 255));
            fresh = &camera;
        }
        const QImage& page = scene.page == 2 ? page2 : page1;
        const bool changed = picture.Compose(page, scene.page, scene, t, fresh);
        SCOPED_TRACE("at " + std::to_string(t) + " ms");
        EXPECT_EQ(changed, !picture.Changed().empty());
        LecturePicture anew(1280, 720, true, placement, pointer);
        heading(anew);
        anew.Compose(page, scene.page, scene, t, camera.isNull() ? nullptr : &camera);
        ASSERT_EQ(picture.Frame(), anew.Frame());
        if (!before.isNull()) {
            QRegion parts;
            for (const QRect& r : picture.Changed()) parts += r;
            int outside = 0;
            for (int y = 0; y < 720; ++y) {
                for (int x = 0; x < 1280; ++x) {
                    if (before.pixel(x, y) != picture.Frame().pixel(x, y) && !parts.contains(QPoint(x, y))) ++outside;
                }
            }
            EXPECT_EQ(outside, 0);
            // A pointer move or a new camera picture is a small part of the frame.
            const bool turnOrInk = t == 500 || t == 900;
            if (!turnOrInk) {
                long long area = 0;
                for (const QRect& r : picture.Changed()) area += static_cast<long long>(r.width()) * r.height();
                EXPECT_LT(area, 1280 * 720 / 10);
            }
        }
        // The course and the page are named above the camera, in light letters on the screen's colour.
        const QRect h = picture.HeadingRect();
        ASSERT_FALSE(h.isEmpty());
        EXPECT_LT(h.bottom(), picture.CameraRect().top());
        EXPECT_GE(h.left(), picture.PageRect().right());
        int light = 0;
        for (int y = h.top(); y <= h.bottom(); ++y) {
            for (int x = h.left(); x <= h.right(); ++x) light += qGray(picture.Frame().pixel(x, y)) > 160;
        }
        EXPECT_GT(light, 100);
        if (t == 900) {  // the turn names page 2
            EXPECT_NE(std::find(picture.Changed().begin(), picture.Changed().end(), h), picture.Changed().end());
            EXPECT_NE(before.copy(h), picture.Frame().copy(h));
        }
        before = picture.Frame().copy();
    }
}

TEST(LecturePicture, WithoutACameraThePageHasTheWholeWidth) {
    LecturePicture picture(1280, 720, false, LecturePlacement(PositionSpace::View, {}), QImage());
    EXPECT_EQ(picture.PageRect(), QRect(0, 0, 1280, 720));
    EXPECT_TRUE(picture.CameraRect().isEmpty());
    LectureScript script({{100, "pages", "(1,0)"}});
    ASSERT_TRUE(picture.Compose(Filled({1280, 720}, Qt::white), 1, script.At(100), 100, nullptr));
    EXPECT_EQ(QColor(picture.Frame().pixel(1270, 700)), QColor(Qt::white));
}

}  // namespace
}  // namespace tovra
