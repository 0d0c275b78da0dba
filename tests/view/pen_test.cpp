// The pen's command text, slide coordinates and colours.
#include "view/pen.h"

#include <gtest/gtest.h>

namespace tovra {
namespace {

TEST(Pen, StrokeCommandCarriesColourAndEveryPoint) {
    EXPECT_EQ(DpathsCommand(5, {{10, 20}, {30, 40}, {50, 60}}), "dpaths,5,0,\"'m10,20l30,40,50,60'>\"");
    EXPECT_EQ(DpathsCommand(9, {{1, 2}, {3, 4}}), "dpaths,9,0,\"'m1,2l3,4'>\"");  // m and l pairs only
    EXPECT_EQ(DpathsCommand(0, {{-5, 0}, {2047, 2048}}), "dpaths,0,0,\"'m-5,0l2047,2048'>\"");
}

TEST(Pen, SlideCoordinatesRoundTripOnAnImportedCourse) {
    const QSize client(1440, 1080);
    EXPECT_EQ(ToSlide(QPoint(144, 108), client), QPoint(72, 54));
    EXPECT_EQ(FromSlide(QPoint(72, 54), client), QPoint(144, 108));
    EXPECT_EQ(ToSlide(QPoint(799, 599), QSize(800, 600)), QPoint(719, 539));  // integer division
}

}  // namespace
}  // namespace tovra
