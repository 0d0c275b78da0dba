// Toolbar, colour swatch, page tree and clapper pictures: present, exact where colours matter, and
// visible on light and dark toolbars whether or not the desktop theme has icons.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <vector>

#include "app/command_ids.h"
#include "app/toolbar_icons.h"
#include "tests/support/temp_dir.h"

namespace tovra {
namespace {

const QColor kLightToolbar(240, 240, 240);
const QColor kDarkToolbar(43, 43, 43);

// Buttons with a picture of their own, in toolbar order; the colours come after the pen.
const std::vector<int> kPicturedCommands = {
    cmd::kFileNew,     cmd::kFileOpen,    cmd::kFileSave,   cmd::kEditHtml, cmd::kPrevPage, cmd::kNextPage,
    cmd::kRecordStart, cmd::kRecordPause, cmd::kRecordStop, cmd::kPen,      cmd::kAppAbout,
};

std::vector<int> AllToolbarCommands() {
    std::vector<int> ids = kPicturedCommands;
    for (int id = cmd::kPenColourFirst; id <= cmd::kPenColourLast; ++id) ids.push_back(id);
    return ids;
}

QImage Render(const QIcon& icon, int size) {
    return icon.pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32);
}

// Share of pixels that are at least half opaque.
double Coverage(const QImage& image) {
    if (image.isNull()) return 0;
    int opaque = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) opaque += qAlpha(image.pixel(x, y)) >= 128 ? 1 : 0;
    }
    return static_cast<double>(opaque) / (image.width() * image.height());
}

QImage Over(const QImage& image, const QColor& background) {
    QImage out(image.size(), QImage::Format_ARGB32);
    out.fill(background);
    QPainter painter(&out);
    painter.drawImage(0, 0, image);
    return out;
}

// Pixels of the picture, laid on the background, that differ from it by at least minDiff in some channel.
int VisiblePixels(const QImage& image, const QColor& background, int minDiff) {
    const QImage laid = Over(image, background);
    int visible = 0;
    for (int y = 0; y < laid.height(); ++y) {
        for (int x = 0; x < laid.width(); ++x) {
            const QRgb p = laid.pixel(x, y);
            const int diff = std::max({std::abs(qRed(p) - background.red()), std::abs(qGreen(p) - background.green()),
                                       std::abs(qBlue(p) - background.blue())});
            visible += diff >= minDiff ? 1 : 0;
        }
    }
    return visible;
}

// Puts the icon theme and its search paths back after a test changes them.
class ThemeGuard {
public:
    ThemeGuard() : name_(QIcon::themeName()), paths_(QIcon::themeSearchPaths()) {}
    ~ThemeGuard() {
        QIcon::setThemeSearchPaths(paths_);
        QIcon::setThemeName(name_);
    }
    ThemeGuard(const ThemeGuard&) = delete;
    ThemeGuard& operator=(const ThemeGuard&) = delete;

private:
    QString name_;
    QStringList paths_;
};

class IconTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // Another test file of this binary may already have made the application.
        if (QCoreApplication::instance() == nullptr) {
            static int argc = 1;
            static char name[] = "app_test";
            static char* argv[] = {name, nullptr};
            static QApplication* app = new QApplication(argc, argv);
            (void)app;
        }
        SetIconFolderForTesting(QStringLiteral(TOVRA_PROGRAM_DIR "/icons"));
    }
    static void TearDownTestSuite() { SetIconFolderForTesting(QString()); }
};

using ToolbarIconTest = IconTest;
using PenSwatchTest = IconTest;
using TreeIconTest = IconTest;
using ClapperPictureTest = IconTest;

TEST_F(ToolbarIconTest, EveryButtonHasAVisiblePicture) {
    for (int id : AllToolbarCommands()) {
        const QIcon icon = ToolbarIcon(id);
        ASSERT_FALSE(icon.isNull()) << id;
        EXPECT_GE(Coverage(Render(icon, 20)), 0.10) << id;
    }
}

TEST_F(ToolbarIconTest, ProgramPicturesStandInWhenTheThemeHasNone) {
    ThemeGuard guard;
    QIcon::setThemeName(QStringLiteral("no-such-theme"));
    for (int id : kPicturedCommands) {
        const QString file = ToolbarIconFile(id);
        ASSERT_TRUE(QFileInfo::exists(file)) << id << " " << file.toStdString();
        const QImage own = Render(QIcon(file), 20);
        EXPECT_GE(Coverage(own), 0.10) << file.toStdString();

        const QIcon icon = ToolbarIcon(id);
        ASSERT_FALSE(icon.isNull()) << id;
        EXPECT_EQ(Render(icon, 20), own) << id;
    }
}

TEST_F(ToolbarIconTest, ProgramPicturesShowOnLightAndDarkToolbars) {
    std::vector<QString> files;
    for (int id : kPicturedCommands) files.push_back(ToolbarIconFile(id));
    for (const char* name : {"course.svg", "page.svg"}) files.push_back(IconFolder() + "/" + name);
    for (const QString& file : files) {
        for (int size : {20, 40}) {
            const QImage image = Render(QIcon(file), size);
            const int needed = size * size / 12;  // about 8 % of the button
            EXPECT_GE(VisiblePixels(image, kLightToolbar, 60), needed) << file.toStdString() << " light " << size;
            EXPECT_GE(VisiblePixels(image, kDarkToolbar, 60), needed) << file.toStdString() << " dark " << size;
        }
    }
}

void WriteThemeIcon(const testing::TempDir& dir, const char* name, const char* fill) {
    testing::WriteBytes(dir / (std::string("tovra-test-theme/scalable/") + name + ".svg"),
                        std::string("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"16\" height=\"16\" "
                                    "viewBox=\"0 0 16 16\"><rect width=\"16\" height=\"16\" fill=\"") +
                            fill + "\"/></svg>");
}

TEST_F(ToolbarIconTest, ThemeIconComesFirstButNotAGenericNameForASpecificButton) {
    testing::TempDir dir;
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(dir / "tovra-test-theme/scalable")));
    testing::WriteBytes(dir / "tovra-test-theme/index.theme",
                        "[Icon Theme]\nName=Tovra Test\nDirectories=scalable\n\n"
                        "[scalable]\nSize=16\nMinSize=8\nMaxSize=256\nType=Scalable\n");
    WriteThemeIcon(dir, "document-new", "#ff00ff");
    WriteThemeIcon(dir, "accessories-text-editor", "#00ffff");
    WriteThemeIcon(dir, "media", "#ffff00");  // what cutting "media-record" at its dashes would find

    ThemeGuard guard;
    QIcon::setThemeSearchPaths({QString::fromStdString(dir.path())});
    QIcon::setThemeName(QStringLiteral("tovra-test-theme"));

    EXPECT_EQ(Render(ToolbarIcon(cmd::kFileNew), 20).pixelColor(10, 10), QColor(255, 0, 255));
    // The theme has no "document-edit": the second name is taken.
    EXPECT_EQ(Render(ToolbarIcon(cmd::kEditHtml), 20).pixelColor(10, 10), QColor(0, 255, 255));
    // The generic "media" picture must not stand for recording: the program's red dot does.
    const QImage record = Render(ToolbarIcon(cmd::kRecordStart), 20);
    EXPECT_NE(record.pixelColor(10, 10), QColor(255, 255, 0));
    EXPECT_EQ(record, Render(QIcon(ToolbarIconFile(cmd::kRecordStart)), 20));
}

TEST_F(ToolbarIconTest, UnknownCommandsHaveNoPicture) {
    for (int id : {0, -1, cmd::kFileNew + 2, cmd::kAppExit, cmd::kShowMode, cmd::kBrowse, cmd::kVideoSourceLast,
                   cmd::kPenColourFirst - 1, cmd::kPenColourLast + 1}) {
        EXPECT_TRUE(ToolbarIcon(id).isNull()) << id;
        EXPECT_TRUE(ToolbarIconFile(id).isEmpty()) << id;
    }
    EXPECT_TRUE(ToolbarIconFile(cmd::kPenColourFirst).isEmpty());  // swatches are drawn, not loaded
}

TEST_F(ToolbarIconTest, MissingPictureFilesGiveNullPictures) {
    testing::TempDir empty;
    ThemeGuard guard;
    QIcon::setThemeName(QStringLiteral("no-such-theme"));
    SetIconFolderForTesting(QString::fromStdString(empty.path()));
    EXPECT_TRUE(ToolbarIcon(cmd::kFileOpen).isNull());
    EXPECT_TRUE(TreeIcon(kTreeImageCourse).isNull());
    EXPECT_TRUE(ClapperPicture(128).isNull());
    EXPECT_FALSE(ToolbarIcon(cmd::kPenColourFirst).isNull());  // drawn, needs no file
    SetIconFolderForTesting(QStringLiteral(TOVRA_PROGRAM_DIR "/icons"));
}

// The pen colours as course files expect them; the dark shades are 132 and 130.
constexpr std::array<std::array<int, 3>, 16> kExpectedColours{{
    {0, 0, 0},
    {255, 255, 255},
    {128, 128, 128},
    {192, 192, 192},
    {132, 0, 0},
    {255, 0, 0},
    {132, 130, 0},
    {255, 255, 0},
    {0, 130, 0},
    {0, 255, 0},
    {0, 130, 132},
    {0, 255, 255},
    {0, 0, 132},
    {0, 0, 255},
    {132, 0, 132},
    {255, 0, 255},
}};

TEST_F(PenSwatchTest, TableAndSwatchCentresHoldTheExactColours) {
    ASSERT_EQ(PenColourCount(), 16);
    for (int i = 0; i < 16; ++i) {
        const QColor expected(kExpectedColours[i][0], kExpectedColours[i][1], kExpectedColours[i][2]);
        EXPECT_EQ(PenColour(i), expected) << i;
        const QIcon swatch = ToolbarIcon(cmd::kPenColourFirst + i);
        for (int size : {20, 40}) {
            const QImage image = Render(swatch, size);
            ASSERT_EQ(image.size(), QSize(size, size)) << i;
            EXPECT_EQ(image.pixelColor(size / 2, size / 2), expected) << "command " << cmd::kPenColourFirst + i;
        }
    }
    EXPECT_EQ(Render(ToolbarIcon(32841), 20).pixelColor(10, 10), QColor(0, 255, 0));
    EXPECT_EQ(Render(ToolbarIcon(32836), 20).pixelColor(10, 10), QColor(132, 0, 0));
    EXPECT_FALSE(PenColour(-1).isValid());
    EXPECT_FALSE(PenColour(16).isValid());
}

TEST_F(PenSwatchTest, DrawnForBothScalesNotScaledUp) {
    const QList<QSize> sizes = ToolbarIcon(cmd::kPenColourFirst).availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(20, 20)));
    EXPECT_TRUE(sizes.contains(QSize(40, 40)));
}

TEST_F(PenSwatchTest, EveryColourIsOutlinedOnLightAndDarkToolbars) {
    // White on a light toolbar and black on a dark one show only through their rim.
    for (int i = 0; i < PenColourCount(); ++i) {
        const QImage image = Render(ToolbarIcon(cmd::kPenColourFirst + i), 20);
        EXPECT_GE(VisiblePixels(image, kLightToolbar, 50), 30) << "light, colour " << i;
        EXPECT_GE(VisiblePixels(image, kDarkToolbar, 50), 30) << "dark, colour " << i;
    }
}

TEST_F(TreeIconTest, CourseAndPageAreDistinctPictures) {
    const QImage course = Render(TreeIcon(kTreeImageCourse), 16);
    const QImage page = Render(TreeIcon(kTreeImagePage), 16);
    EXPECT_GE(Coverage(course), 0.2);
    EXPECT_GE(Coverage(page), 0.2);
    EXPECT_NE(course, page);
    EXPECT_TRUE(TreeIcon(2).isNull());
    EXPECT_TRUE(TreeIcon(-1).isNull());
}

TEST_F(ClapperPictureTest, RendersAtTheAskedSize) {
    const QPixmap picture = ClapperPicture(128);
    ASSERT_FALSE(picture.isNull());
    const QImage image = picture.toImage().convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(image.size(), QSize(128, 128));
    EXPECT_GE(Coverage(image), 0.3);
    EXPECT_GE(VisiblePixels(image, kLightToolbar, 60), 128 * 128 / 5);
    EXPECT_GE(VisiblePixels(image, kDarkToolbar, 60), 128 * 128 / 20);

    EXPECT_EQ(ClapperPicture(48).size(), QSize(48, 48));
    EXPECT_TRUE(ClapperPicture(0).isNull());
}

}  // namespace
}  // namespace tovra
