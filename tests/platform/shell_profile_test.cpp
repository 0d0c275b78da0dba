// The per-user profile: where it lives, what reads back, and the defaults.
#include "platform/shell/profile.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace tovra::shell {
namespace {

class ProfileTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, home.path());
    }
    // The bytes on disk: another QSettings in this process would also see unsaved changes.
    QByteArray IniBytes() const {
        QFile ini(home.path() + QStringLiteral("/Local AppWizard-Generated Applications/Tovra Editor.ini"));
        return ini.open(QIODevice::ReadOnly) ? ini.readAll() : QByteArray();
    }
    QTemporaryDir home;
};

TEST_F(ProfileTest, WritesReachThePerUserIniAtOnceAndReadBackNextRun) {
    {
        Profile profile;
        profile.WriteProfileInt(QStringLiteral("video"), QStringLiteral("dev"), 3);
        EXPECT_TRUE(IniBytes().contains("[video]\ndev=3\n")) << IniBytes().constData();
        profile.WriteProfileString(QStringLiteral("Settings"), QStringLiteral("Name"), QStringLiteral("课程 a=b"));
    }
    Profile next;
    EXPECT_EQ(next.GetProfileInt(QStringLiteral("video"), QStringLiteral("dev"), 0), 3);
    EXPECT_EQ(next.GetProfileString(QStringLiteral("Settings"), QStringLiteral("Name"), QString()),
              QStringLiteral("课程 a=b"));
}

TEST_F(ProfileTest, MissingOrMalformedValuesGiveTheDefault) {
    Profile profile;
    EXPECT_EQ(profile.GetProfileInt(QStringLiteral("video"), QStringLiteral("dev"), 7), 7);
    EXPECT_EQ(profile.GetProfileString(QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("d")),
              QStringLiteral("d"));
    profile.WriteProfileString(QStringLiteral("video"), QStringLiteral("dev"), QStringLiteral("camera"));
    EXPECT_EQ(profile.GetProfileInt(QStringLiteral("video"), QStringLiteral("dev"), 5), 5);
    profile.WriteProfileInt(QStringLiteral("video"), QStringLiteral("dev"), -1);
    EXPECT_EQ(profile.GetProfileInt(QStringLiteral("video"), QStringLiteral("dev"), 5), -1);
    profile.WriteProfileString(QStringLiteral("a"), QStringLiteral("b"), QString());
    EXPECT_EQ(profile.GetProfileString(QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("d")), QString())
        << "an empty string is a value, not a missing key";
}

}  // namespace
}  // namespace tovra::shell
