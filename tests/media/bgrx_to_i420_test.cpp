#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "media/bgrx_to_i420.h"

namespace tovra {
namespace {

struct Picture {
    int width, height;
    std::vector<uint8_t> bgrx;
    Picture(int w, int h) : width(w), height(h), bgrx(static_cast<size_t>(w) * h * 4) {}
    void Set(int x, int y, int r, int g, int b) {
        uint8_t* p = &bgrx[(static_cast<size_t>(y) * width + x) * 4];
        p[0] = static_cast<uint8_t>(b);
        p[1] = static_cast<uint8_t>(g);
        p[2] = static_cast<uint8_t>(r);
        p[3] = 0xff;
    }
};

// The planes with a guard row of 0xAB after each, to see that nothing is written past them.
struct Planes {
    int width, height;
    std::vector<uint8_t> y, u, v;
    Planes(int w, int h)
        : width(w), height(h), y(static_cast<size_t>(w) * (h + 1), 0xAB), u(static_cast<size_t>(w / 2) * (h / 2 + 1), 0xAB),
          v(static_cast<size_t>(w / 2) * (h / 2 + 1), 0xAB) {}
    I420Planes Out() { return {y.data(), u.data(), v.data(), width, width / 2, width / 2}; }
    bool GuardsIntact() const {
        auto intact = [](const std::vector<uint8_t>& p, size_t from) {
            for (size_t i = from; i < p.size(); ++i) {
                if (p[i] != 0xAB) return false;
            }
            return true;
        };
        return intact(y, static_cast<size_t>(width) * height) && intact(u, static_cast<size_t>(width / 2) * (height / 2)) &&
               intact(v, static_cast<size_t>(width / 2) * (height / 2));
    }
};

// BT.709 in video range, from the definition.
void Reference(double r, double g, double b, double& y, double& cb, double& cr) {
    const double ey = 0.2126 * r + 0.7152 * g + 0.0722 * b;
    y = 16 + 219 * ey / 255;
    cb = 128 + 224 * (b - ey) / 1.8556 / 255;
    cr = 128 + 224 * (r - ey) / 1.5748 / 255;
}

TEST(BgrxToI420, ColoursAndTheAverageOfEachBlockFollowBt709InVideoRange) {
    struct Colour {
        int r, g, b;
    };
    const Colour colours[] = {{255, 255, 255}, {0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255},
                              {128, 128, 128}, {250, 120, 30}, {17, 200, 90}};
    for (const Colour& c : colours) {
        Picture picture(4, 2);
        for (int x = 0; x < 4; ++x) {
            for (int y = 0; y < 2; ++y) picture.Set(x, y, c.r, c.g, c.b);
        }
        Planes planes(4, 2);
        ConvertBgrxToI420(picture.bgrx.data(), 16, 4, 2, {0, 0, 4, 2}, planes.Out());
        double y, cb, cr;
        Reference(c.r, c.g, c.b, y, cb, cr);
        SCOPED_TRACE(testing::Message() << "colour " << c.r << "," << c.g << "," << c.b);
        for (int i = 0; i < 8; ++i) EXPECT_NEAR(planes.y[i], y, 0.51);
        for (int i = 0; i < 2; ++i) {
            EXPECT_NEAR(planes.u[i], cb, 0.51);
            EXPECT_NEAR(planes.v[i], cr, 0.51);
        }
        EXPECT_TRUE(planes.GuardsIntact());
    }
    // White is 235 and black 16 exactly; grey has no colour.
    Picture grey(2, 2);
    grey.Set(0, 0, 255, 255, 255);
    grey.Set(1, 0, 0, 0, 0);
    grey.Set(0, 1, 0, 0, 0);
    grey.Set(1, 1, 255, 255, 255);
    Planes planes(2, 2);
    ConvertBgrxToI420(grey.bgrx.data(), 8, 2, 2, {0, 0, 2, 2}, planes.Out());
    EXPECT_EQ(planes.y[0], 235);
    EXPECT_EQ(planes.y[1], 16);
    EXPECT_EQ(planes.u[0], 128);
    EXPECT_EQ(planes.v[0], 128);
    // A block of red and blue: its chroma is that of the mean colour.
    Picture mixed(2, 2);
    mixed.Set(0, 0, 255, 0, 0);
    mixed.Set(1, 0, 0, 0, 255);
    mixed.Set(0, 1, 255, 0, 0);
    mixed.Set(1, 1, 0, 0, 255);
    ConvertBgrxToI420(mixed.bgrx.data(), 8, 2, 2, {0, 0, 2, 2}, planes.Out());
    double y, cb, cr;
    Reference(127.5, 0, 127.5, y, cb, cr);
    EXPECT_NEAR(planes.u[0], cb, 0.51);
    EXPECT_NEAR(planes.v[0], cr, 0.51);
}

// A picture whose changes are converted part by part ends up as the same planes as one
// converted whole, whatever odd edges the parts have, and nothing outside the picture is touched.
TEST(BgrxToI420, ConvertingTheChangedPartsGivesTheWholePicturesPlanes) {
    const int w = 64, h = 48, stride = w * 4 + 32;  // rows with padding after them
    std::vector<uint8_t> source(static_cast<size_t>(stride) * h, 0);
    auto paint = [&](int x0, int y0, int x1, int y1, int seed) {
        for (int y = std::max(0, y0); y < std::min(h, y1); ++y) {
            for (int x = std::max(0, x0); x < std::min(w, x1); ++x) {
                uint8_t* p = &source[static_cast<size_t>(y) * stride + x * 4];
                p[0] = static_cast<uint8_t>(x * 7 + seed);
                p[1] = static_cast<uint8_t>(y * 5 + seed * 3);
                p[2] = static_cast<uint8_t>((x ^ y) * 11 + seed);
            }
        }
    };
    paint(0, 0, w, h, 1);
    Planes parts(w, h), whole(w, h);
    ConvertBgrxToI420(source.data(), stride, w, h, {0, 0, w, h}, parts.Out());
    const PixelRect changes[] = {{3, 5, 7, 9}, {60, 40, 10, 10}, {-4, -4, 9, 3}, {31, 0, 1, 48}, {0, 47, 64, 1}};
    int seed = 2;
    for (const PixelRect& c : changes) {
        paint(c.x, c.y, c.x + c.width, c.y + c.height, seed++);
        ConvertBgrxToI420(source.data(), stride, w, h, c, parts.Out());
    }
    ConvertBgrxToI420(source.data(), stride, w, h, {0, 0, w, h}, whole.Out());
    EXPECT_EQ(parts.y, whole.y);
    EXPECT_EQ(parts.u, whole.u);
    EXPECT_EQ(parts.v, whole.v);
    EXPECT_TRUE(parts.GuardsIntact());
    // An empty part changes nothing.
    Planes before = parts;
    ConvertBgrxToI420(source.data(), stride, w, h, {10, 10, 0, 0}, parts.Out());
    EXPECT_EQ(parts.y, before.y);
}

}  // namespace
}  // namespace tovra
