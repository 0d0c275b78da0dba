// The camera's I420 pictures made into the .wmv's 24-bit bottom-up frames, and taken by the
// companion as they are.
#include "media/picture_converter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "media/companion_writer.h"
#include "tests/support/shell_output.h"
#include "tests/support/temp_dir.h"

namespace tovra {
namespace {

using testing::TempDir;
using testing_support::Shell;

// A width x height I420 picture: red above the middle, blue below; the top half's Y plane a
// one-pixel checkerboard of two levels around red's when fine is set.
std::vector<uint8_t> RedOverBlue(int width, int height, bool fine = false) {
    std::vector<uint8_t> frame(capture::I420Size(width, height));
    const int cw = capture::I420ChromaWidth(width), ch = capture::I420ChromaHeight(height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool top = y < height / 2;
            uint8_t luma = top ? 81 : 41;
            if (top && fine) luma = (x + y) % 2 ? 121 : 41;  // mean 81
            frame[static_cast<size_t>(y) * width + x] = luma;
        }
    }
    uint8_t* u = frame.data() + static_cast<size_t>(width) * height;
    uint8_t* v = u + static_cast<size_t>(cw) * ch;
    for (int y = 0; y < ch; ++y) {
        for (int x = 0; x < cw; ++x) {
            const bool top = y < ch / 2;
            u[y * cw + x] = top ? 90 : 240;
            v[y * cw + x] = top ? 240 : 110;
        }
    }
    return frame;
}

TEST(PictureConverter, MakesTheWmvFrameFromAVgaI420PictureUprightAndAveraged) {
    const wmf::BitmapInfoHeader to = wmf::BitmapInfoHeader{40, 320, 240, 1, 24, 0, 320 * 240 * 3};
    PictureConverter converter(I420PictureFormat(640, 480), to);
    const std::vector<uint8_t> vga = RedOverBlue(640, 480, true);
    std::vector<uint8_t> dib;
    ASSERT_TRUE(converter.Convert(vga.data(), static_cast<uint32_t>(vga.size()), dib));
    ASSERT_EQ(dib.size(), 320u * 240 * 3);
    // The DIB's last row is the picture's top: red, and the checkerboard's mean, not one of its
    // two levels (a nearest-pixel shrink would keep one of them, 40 levels off).
    const uint8_t* top = &dib[(239 * 320 + 160) * 3];
    EXPECT_LT(top[0], 40);
    EXPECT_GT(top[2], 215);
    EXPECT_NEAR(top[1], 0, 20);
    const uint8_t* bottom = &dib[(0 * 320 + 160) * 3];  // the picture's bottom: blue
    EXPECT_GT(bottom[0], 215);
    EXPECT_LT(bottom[2], 40);

    // A short picture, or a kind it does not take, is refused.
    EXPECT_FALSE(converter.Convert(vga.data(), static_cast<uint32_t>(vga.size() - 1), dib));
    wmf::BitmapInfoHeader rgb16 = to;
    rgb16.bitCount = 16;
    PictureConverter wrong(rgb16, to);
    EXPECT_FALSE(wrong.Convert(vga.data(), static_cast<uint32_t>(vga.size()), dib));
}

TEST(PictureConverter, TheCompanionTakesI420PicturesAsTheyCome) {
    TempDir dir;
    const std::string webm = dir / "video001.webm";
    CompanionWriter writer;
    ASSERT_TRUE(writer.Start(webm, dir / "video001.js", I420PictureFormat(640, 480), 15, nullptr));
    const std::vector<uint8_t> frame = RedOverBlue(640, 480);
    EXPECT_FALSE(writer.WriteVideo(0, frame.data(), static_cast<uint32_t>(frame.size() - 1)));
    for (int i = 0; i < 15; ++i) ASSERT_TRUE(writer.WriteVideo(i * 1000 / 15, frame.data(), static_cast<uint32_t>(frame.size())));
    ASSERT_TRUE(writer.Close());
    EXPECT_EQ(Shell("ffprobe -v error -show_entries stream=codec_name,width,height -of csv=p=0 " + webm), "vp8,640,480\n");
    // Top red, bottom blue: I420 rows run top-down and were not turned over.
    const std::string pixels = Shell("ffmpeg -v error -i " + webm +
                                     " -frames:v 1 -vf 'crop=2:2:320:20,format=rgb24' -f rawvideo - ; ffmpeg -v error -i " +
                                     webm + " -frames:v 1 -vf 'crop=2:2:320:460,format=rgb24' -f rawvideo -");
    ASSERT_EQ(pixels.size(), 24u);
    EXPECT_GT(static_cast<uint8_t>(pixels[0]), 200);
    EXPECT_LT(static_cast<uint8_t>(pixels[2]), 60);
    EXPECT_LT(static_cast<uint8_t>(pixels[12]), 60);
    EXPECT_GT(static_cast<uint8_t>(pixels[14]), 200);
}

}  // namespace
}  // namespace tovra
