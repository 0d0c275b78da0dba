// The recent-file list: its order, its menu captions and its storage in the profile.
#include "platform/shell/recent_files.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace tovra::shell {
namespace {

TEST(RecentFileListTest, NewestFirstRepeatsMovedCaseKeptApartAtMostFour) {
    RecentFileList list;
    EXPECT_EQ(list.Size(), 4);
    for (const char* path : {"/c/1.lsn", "/c/2.lsn", "/c/3.lsn", "/c/4.lsn", "/c/5.lsn", "/c/3.lsn", ""})
        list.Add(QString::fromLatin1(path));
    EXPECT_EQ(list.Entries(), (QStringList{"/c/3.lsn", "/c/5.lsn", "/c/4.lsn", "/c/2.lsn"}));
    list.Add(QStringLiteral("/c/5.LSN"));
    EXPECT_EQ(list.Entries(), (QStringList{"/c/5.LSN", "/c/3.lsn", "/c/5.lsn", "/c/4.lsn"}));
    list.Remove(1);
    list.Remove(-1);
    list.Remove(3);
    EXPECT_EQ(list.Entries(), (QStringList{"/c/5.LSN", "/c/5.lsn", "/c/4.lsn"}));
}

TEST(RecentFileListTest, DisplayNameIsANumberedMenuCaptionOfTheFileName) {
    EXPECT_EQ(RecentFileList::DisplayName(0, QStringLiteral("/home/t/Physics/week1.lsn")),
              QStringLiteral("&1 week1.lsn"));
    EXPECT_EQ(RecentFileList::DisplayName(3, QStringLiteral("/x/R&D & more.lsn")),
              QStringLiteral("&4 R&&D && more.lsn"));
    EXPECT_EQ(RecentFileList::DisplayName(9, QStringLiteral("/x/ten.lsn")), QStringLiteral("1&0 ten.lsn"));
    EXPECT_EQ(RecentFileList::DisplayName(10, QStringLiteral("/x/e.lsn")), QStringLiteral("11 e.lsn"));
}

TEST(RecentFileListTest, StoredUnderFileKeysRewrittenWholeAndLoadedWithoutGaps) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QSettings settings(dir.path() + QStringLiteral("/profile.ini"), QSettings::IniFormat);
    RecentFileList list;
    for (const char* path : {"/1", "/2", "/3", "/home/t/My Course/4.lsn"}) list.Add(QString::fromLatin1(path));
    list.Save(settings);
    EXPECT_EQ(settings.value(QStringLiteral("Recent File List/File1")).toString(),
              QStringLiteral("/home/t/My Course/4.lsn"));
    EXPECT_EQ(settings.value(QStringLiteral("Recent File List/File4")).toString(), QStringLiteral("/1"));
    RecentFileList loaded;
    loaded.Load(settings);
    EXPECT_EQ(loaded.Entries(), list.Entries());

    list.Remove(0);
    list.Remove(0);
    list.Save(settings);
    EXPECT_FALSE(settings.contains(QStringLiteral("Recent File List/File3"))) << "dropped entries must not come back";
    loaded.Load(settings);
    EXPECT_EQ(loaded.Entries(), (QStringList{"/2", "/1"}));

    settings.setValue(QStringLiteral("Recent File List/File1"), QString());
    settings.setValue(QStringLiteral("Recent File List/File3"), QStringLiteral("/1"));  // a repeat
    settings.setValue(QStringLiteral("Recent File List/File4"), QStringLiteral("/four"));
    settings.setValue(QStringLiteral("Recent File List/File5"), QStringLiteral("/five"));
    loaded.Load(settings);  // replaces what was there
    EXPECT_EQ(loaded.Entries(), (QStringList{"/1", "/four"}));
}

}  // namespace
}  // namespace tovra::shell
