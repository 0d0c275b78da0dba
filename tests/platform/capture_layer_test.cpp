// The capture layer's own pieces: stream capabilities from device caps, and the format dialog.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include "platform/capture/capture_filter.h"
#include "platform/capture/format_dialog.h"
#include "tests/support/qt_test_application.h"

static ::testing::Environment* const kQtApp =
    ::testing::AddGlobalTestEnvironment(new tovra::testing_support::QtApplicationEnvironment<QApplication>);

namespace tovra::capture {
namespace {

DeviceStreamConfig ConfigOf(const char* caps) {
    gst_init(nullptr, nullptr);
    return DeviceStreamConfig(gst_caps_from_string(caps));
}

TEST(DeviceStreamConfig, OffersEachSizeAndRateAndSetsOnlyWhatTheDeviceHas) {
    DeviceStreamConfig config = ConfigOf(
        "video/x-raw,format=YUY2,width=[160,1280],height=[120,720],framerate=[1/1,30/1];"
        "image/jpeg,width=1280,height=720,framerate={30/1,15/1}");
    int count = 0;
    ASSERT_EQ(config.GetNumberOfCapabilities(count), S_OK);
    // A range offers the six standard sizes at 30 and 15 frames/s; the list its two rates.
    ASSERT_EQ(count, 14);
    VideoMediaType first, last;
    ASSERT_EQ(config.GetStreamCaps(0, first), S_OK);
    EXPECT_EQ(first.subtype, "video/x-raw:YUY2");
    EXPECT_EQ(first.biWidth, 720);
    EXPECT_EQ(first.biHeight, 576);
    EXPECT_EQ(first.biBitCount, 16);
    EXPECT_EQ(first.avgTimePerFrame, 333333);
    ASSERT_EQ(config.GetStreamCaps(13, last), S_OK);
    EXPECT_EQ(last.subtype, "image/jpeg");
    EXPECT_EQ(last.avgTimePerFrame, 666666);
    EXPECT_EQ(config.GetStreamCaps(14, last), S_FALSE);

    VideoMediaType wanted = first;
    wanted.biWidth = 300;
    wanted.biHeight = 200;
    EXPECT_EQ(config.SetFormat(wanted), VFW_E_INVALIDMEDIATYPE);
    wanted.biWidth = 320;
    wanted.biHeight = 240;
    wanted.avgTimePerFrame = 10000000 / 15;
    ASSERT_EQ(config.SetFormat(wanted), S_OK);
    VideoMediaType current;
    ASSERT_EQ(config.GetFormat(current), S_OK);
    EXPECT_EQ(current.biWidth, 320);
    EXPECT_EQ(current.avgTimePerFrame, 666666);  // the nearest rate the device has
    GstCaps* caps = config.CurrentCaps();
    GstCaps* expected = gst_caps_from_string("video/x-raw,format=YUY2,width=320,height=240,framerate=15/1");
    EXPECT_TRUE(gst_caps_is_equal(caps, expected)) << gst_caps_to_string(caps);
    gst_caps_unref(caps);
    gst_caps_unref(expected);

    // A device with no caps has no format.
    DeviceStreamConfig empty = ConfigOf("EMPTY");
    EXPECT_EQ(empty.GetFormat(current), VFW_E_NOT_CONNECTED);
    EXPECT_FALSE(empty.HasPropertyPages());
}

TEST(FormatDialog, ListsTheCapabilitiesAndSetsTheChosenOne) {
    DeviceStreamConfig config = ConfigOf("video/x-raw,format=YUY2,width={640,320},height={480,240},framerate=30/1");
    int count = 0;
    config.GetNumberOfCapabilities(count);
    ASSERT_EQ(count, 4);  // a list pairs every width with every height

    QStringList items;
    QString title, ok;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        title = dialog->windowTitle();
        auto* list = dialog->findChild<QListWidget*>();
        for (int i = 0; i < list->count(); ++i) items << list->item(i)->text();
        EXPECT_EQ(list->currentRow(), 0);  // the current format is marked
        ok = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->text();
        list->setCurrentRow(3);
        dialog->accept();
    });
    EXPECT_TRUE(ShowFormatDialog(nullptr, QPoint(30, 30), config, {QStringLiteral("Camera Format"),
                                                                   QStringLiteral("OK"), QStringLiteral("Cancel")}));
    EXPECT_EQ(title, QStringLiteral("Camera Format"));
    EXPECT_EQ(ok, QStringLiteral("OK"));
    EXPECT_EQ(items, (QStringList{QStringLiteral("640 \u00D7 480   30 fps   YUY2"), QStringLiteral("640 \u00D7 240   30 fps   YUY2"),
                                  QStringLiteral("320 \u00D7 480   30 fps   YUY2"), QStringLiteral("320 \u00D7 240   30 fps   YUY2")}));
    VideoMediaType current;
    config.GetFormat(current);
    EXPECT_EQ(current.biWidth, 320);
    EXPECT_EQ(current.biHeight, 240);

    // Cancel changes nothing.
    QTimer::singleShot(0, [] { qobject_cast<QDialog*>(QApplication::activeModalWidget())->reject(); });
    EXPECT_FALSE(ShowFormatDialog(nullptr, QPoint(30, 30), config, {}));
    config.GetFormat(current);
    EXPECT_EQ(current.biWidth, 320);
}

}  // namespace
}  // namespace tovra::capture
