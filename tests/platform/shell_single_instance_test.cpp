// The single-instance guard: hand-off between two guards, stale sockets and clients that misbehave.
#include "platform/shell/single_instance.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include "tests/support/qt_test_application.h"

// The shell binary's application object (the default-handler call needs a GUI application).
static ::testing::Environment* const kQtApp =
    ::testing::AddGlobalTestEnvironment(new tovra::testing_support::QtApplicationEnvironment<QGuiApplication>);

namespace tovra::shell {
namespace {

using testing_support::WaitUntil;

class SingleInstanceTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString Name() const { return dir.path() + QStringLiteral("/guard.sock"); }
    // Makes guard the running instance and records what it is asked to do.
    void Run(SingleInstanceGuard& guard) {
        ASSERT_TRUE(guard.Listen());
        QObject::connect(&guard, &SingleInstanceGuard::activateRequested, [this] { ++activations; });
        QObject::connect(&guard, &SingleInstanceGuard::openRequested, [this](const QString& p) { opened.append(p); });
    }
    // Sends raw bytes as a misbehaving client would; true when the server hangs up in time.
    bool ServerHangsUpOn(const QByteArray& bytes, int timeoutMs) {
        QLocalSocket client;
        client.connectToServer(Name());
        if (!client.waitForConnected(1000)) return false;
        client.write(bytes);
        client.flush();
        return WaitUntil([&] { return client.state() == QLocalSocket::UnconnectedState; }, timeoutMs);
    }
    QTemporaryDir dir;
    int activations = 0;
    QStringList opened;
};

TEST(SingleInstanceNameTest, NameIsFixedPerUser) {
    const QString name = SingleInstanceGuard::ServerName();
    EXPECT_EQ(name, SingleInstanceGuard::ServerName());
    EXPECT_TRUE(name.startsWith(QStringLiteral("e-Learning editor"))) << name.toStdString();
    EXPECT_TRUE(name.endsWith(QString::number(::getuid()))) << name.toStdString();
}

TEST_F(SingleInstanceTest, SecondStartHandsItsPathsToTheRunningInstance) {
    SingleInstanceGuard alone(Name());
    EXPECT_FALSE(alone.HandOffToRunning({QStringLiteral("/a.lsn")}, 500)) << "nobody runs yet";

    SingleInstanceGuard running(Name());
    Run(running);
    const QString odd = QStringLiteral("/tmp/课程 one/a%20b\nline 2.lsn");
    EXPECT_TRUE(SingleInstanceGuard(Name()).HandOffToRunning({QStringLiteral("rel/dir/x.lsn"), odd}));
    ASSERT_TRUE(WaitUntil([&] { return opened.size() == 2; }));
    EXPECT_EQ(activations, 1);
    EXPECT_EQ(opened, (QStringList{QDir::current().absoluteFilePath(QStringLiteral("rel/dir/x.lsn")), odd}));

    EXPECT_TRUE(SingleInstanceGuard(Name()).HandOffToRunning({}));
    ASSERT_TRUE(WaitUntil([&] { return activations == 2; }));
    EXPECT_EQ(opened.size(), 2) << "a start without arguments only activates";
}

TEST_F(SingleInstanceTest, ListenRefusesWhileAnotherInstanceIsAliveAndCleansUpOnExit) {
    {
        SingleInstanceGuard running(Name());
        Run(running);
        EXPECT_FALSE(QFile::permissions(Name()) & (QFileDevice::WriteGroup | QFileDevice::WriteOther));
        SingleInstanceGuard intruder(Name());
        EXPECT_FALSE(intruder.Listen());
        EXPECT_TRUE(SingleInstanceGuard(Name()).HandOffToRunning({QStringLiteral("/b.lsn")}))
            << "the first instance must still own the socket";
        ASSERT_TRUE(WaitUntil([&] { return opened.size() == 1; }));
    }
    EXPECT_FALSE(QFile::exists(Name()));
}

TEST_F(SingleInstanceTest, SocketLeftByACrashedInstanceIsReplaced) {
    // A bound socket that nobody listens on any more, as a killed process leaves it.
    const QByteArray path = QFile::encodeName(Name());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(static_cast<size_t>(path.size()), sizeof(address.sun_path));
    std::memcpy(address.sun_path, path.constData(), path.size());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ::close(fd);
    ASSERT_TRUE(QFile::exists(Name()));

    EXPECT_FALSE(SingleInstanceGuard(Name()).HandOffToRunning({}, 500)) << "a dead socket is not a running editor";
    SingleInstanceGuard fresh(Name());
    Run(fresh);
    EXPECT_TRUE(SingleInstanceGuard(Name()).HandOffToRunning({}));
    EXPECT_TRUE(WaitUntil([&] { return activations == 1; }));
}

TEST_F(SingleInstanceTest, ServerSurvivesJunkHugeLinesPiecesAndEarlyHangUps) {
    SingleInstanceGuard running(Name());
    running.SetClientTimeoutMs(60000);  // refused for what they send, not for being slow
    Run(running);
    EXPECT_TRUE(ServerHangsUpOn(QByteArray("\x00\xff\xfeGARBAGE\n\n", 12), 1500));
    EXPECT_TRUE(ServerHangsUpOn(QByteArray(200 * 1024, 'A'), 1500));
    EXPECT_TRUE(ServerHangsUpOn("OPEN /" + QByteArray(100 * 1024, 'a') + "\n\n", 1500));
    EXPECT_TRUE(ServerHangsUpOn("OPEN relative/path.lsn\n\n", 1500)) << "the sender's folder is unknown";
    running.SetClientTimeoutMs(300);
    EXPECT_TRUE(ServerHangsUpOn("ACTIVATE\nOPEN /half", 3000)) << "an unfinished request times out";
    {
        QLocalSocket quitter;  // half a request, then gone
        quitter.connectToServer(Name());
        ASSERT_TRUE(quitter.waitForConnected(1000));
        quitter.write("ACTIVATE\nOPEN /quit.lsn\n");
        quitter.flush();
    }
    WaitUntil([] { return false; }, 400);
    EXPECT_EQ(activations, 0) << "no partial request may be acted on";
    EXPECT_TRUE(opened.isEmpty());

    QLocalSocket slow;  // a whole request in pieces is assembled
    slow.connectToServer(Name());
    ASSERT_TRUE(slow.waitForConnected(1000));
    for (const char* piece : {"ACTI", "VATE\nOP", "EN /pie", "ces.lsn\n", "\n"}) {
        slow.write(piece);
        slow.flush();
        WaitUntil([] { return false; }, 30);
    }
    QByteArray reply;
    EXPECT_TRUE(WaitUntil([&] { return (reply += slow.readAll()).contains('\n'); }));
    EXPECT_EQ(reply, QByteArray("OK\n"));
    ASSERT_TRUE(WaitUntil([&] { return opened.size() == 1; }));
    EXPECT_EQ(opened[0], QStringLiteral("/pieces.lsn"));
    EXPECT_EQ(activations, 1);
}

TEST_F(SingleInstanceTest, HandOffFailsOnASilentOrWrongAnswer) {
    QLocalServer other;
    ASSERT_TRUE(other.listen(Name()));
    bool answer = false;
    QObject::connect(&other, &QLocalServer::newConnection, [&] {
        QLocalSocket* s = other.nextPendingConnection();
        if (answer) s->write("NO\n");
    });
    EXPECT_FALSE(SingleInstanceGuard(Name()).HandOffToRunning({QStringLiteral("/a.lsn")}, 300));
    answer = true;
    EXPECT_FALSE(SingleInstanceGuard(Name()).HandOffToRunning({}, 1000));
}

}  // namespace
}  // namespace tovra::shell
