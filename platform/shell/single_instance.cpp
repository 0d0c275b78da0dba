// Local-socket server of the running editor and the client side used by a second start.
#include "platform/shell/single_instance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <unistd.h>

namespace tovra::shell {

namespace {

constexpr qsizetype kMaxLineBytes = 64 * 1024;       // a path line never comes near this
constexpr qsizetype kMaxRequestBytes = 1024 * 1024;  // many paths, still bounded
constexpr char kBufferProperty[] = "tovraRequestBuffer";
constexpr char kActivateProperty[] = "tovraActivate";
constexpr char kPathsProperty[] = "tovraPaths";
constexpr char kTotalProperty[] = "tovraRequestBytes";

const QByteArray kActivate = QByteArrayLiteral("ACTIVATE");
const QByteArray kOpenPrefix = QByteArrayLiteral("OPEN ");
const QByteArray kReplyOk = QByteArrayLiteral("OK\n");

QByteArray EncodeRequest(const QStringList& absolutePaths) {
    QByteArray request = kActivate + '\n';
    for (const QString& path : absolutePaths) request += kOpenPrefix + QUrl::toPercentEncoding(path, "/") + '\n';
    request += '\n';
    return request;
}

QString MakeAbsolute(const QString& path) {
    if (QDir::isAbsolutePath(path)) return path;
    return QDir::cleanPath(QDir::current().absoluteFilePath(path));
}

}  // namespace

QString SingleInstanceGuard::ServerName() {
    return QStringLiteral("e-Learning editor-%1").arg(static_cast<qulonglong>(::getuid()));
}

SingleInstanceGuard::SingleInstanceGuard(QObject* parent) : SingleInstanceGuard(ServerName(), parent) {}

SingleInstanceGuard::SingleInstanceGuard(const QString& serverName, QObject* parent)
    : QObject(parent), serverName_(serverName) {}

SingleInstanceGuard::~SingleInstanceGuard() {
    if (server_) server_->close();  // removes the socket file, so the next start is not misled
}

void SingleInstanceGuard::SetClientTimeoutMs(int ms) { clientTimeoutMs_ = std::max(1, ms); }

bool SingleInstanceGuard::IsListening() const { return server_ && server_->isListening(); }

bool SingleInstanceGuard::HandOffToRunning(const QStringList& projectPaths, int timeoutMs) {
    QStringList absolute;
    for (const QString& path : projectPaths)
        if (!path.isEmpty()) absolute.append(MakeAbsolute(path));

    // A local event loop, not the blocking waitFor* calls: the running instance may live on
    // this very thread (tests do that), and it must get to answer.
    QLocalSocket socket;
    QEventLoop loop;
    QByteArray reply;
    bool taken = false;
    QTimer deadline;
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(&socket, &QLocalSocket::connected, &loop, [&] { socket.write(EncodeRequest(absolute)); });
    connect(&socket, &QLocalSocket::readyRead, &loop, [&] {
        reply += socket.readAll();
        if (reply.contains('\n') || reply.size() > 16) {
            taken = reply.startsWith(kReplyOk);
            loop.quit();
        }
    });
    connect(&socket, &QLocalSocket::errorOccurred, &loop, [&](QLocalSocket::LocalSocketError) { loop.quit(); });
    connect(&socket, &QLocalSocket::disconnected, &loop, [&] {
        reply += socket.readAll();
        taken = reply.startsWith(kReplyOk);
        loop.quit();
    });

    deadline.start(std::max(1, timeoutMs));
    socket.connectToServer(serverName_);
    // connectToServer may already have failed or succeeded synchronously.
    if (socket.state() == QLocalSocket::UnconnectedState && !taken) return false;
    if (!taken) loop.exec(QEventLoop::ExcludeUserInputEvents);
    socket.disconnect(&loop);
    socket.abort();
    return taken;
}

bool SingleInstanceGuard::Listen() {
    if (IsListening()) return true;
    auto* server = new QLocalServer(this);
    bool ok = server->listen(serverName_);
    if (!ok && server->serverError() == QAbstractSocket::AddressInUseError) {
        // Either a live instance or a leftover of a crashed one. Only a live one accepts.
        QLocalSocket probe;
        probe.connectToServer(serverName_);
        const bool live = probe.waitForConnected(500);
        probe.abort();
        if (live) {
            delete server;
            return false;
        }
        QLocalServer::removeServer(serverName_);
        ok = server->listen(serverName_);
    }
    if (!ok) {
        delete server;
        return false;
    }
    // Other users cannot connect to a socket they may not write.
    QFile::setPermissions(server->fullServerName(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    server_ = server;
    connect(server_, &QLocalServer::newConnection, this, &SingleInstanceGuard::OnNewConnection);
    return true;
}

void SingleInstanceGuard::OnNewConnection() {
    while (QLocalSocket* client = server_->nextPendingConnection()) {
        client->setParent(this);
        // Bounded reads, so a flood is seen in pieces and cut off instead of buffered whole.
        client->setReadBufferSize(kMaxLineBytes);
        QPointer<QLocalSocket> guarded(client);
        // A client that connects and never finishes its request must not hold a connection forever.
        QTimer::singleShot(clientTimeoutMs_, client, [this, guarded] {
            if (guarded) DropClient(guarded);
        });
        connect(client, &QLocalSocket::readyRead, this, [this, client] { OnClientData(client); });
        connect(client, &QLocalSocket::disconnected, this, [this, client] { DropClient(client); });
        if (client->bytesAvailable() > 0) OnClientData(client);
    }
}

void SingleInstanceGuard::DropClient(QLocalSocket* client) {
    client->disconnect(this);
    client->abort();
    client->deleteLater();
}

void SingleInstanceGuard::OnClientData(QLocalSocket* client) {
    const QByteArray incoming = client->readAll();
    const qint64 total = client->property(kTotalProperty).toLongLong() + incoming.size();
    if (total > kMaxRequestBytes) {
        DropClient(client);
        return;
    }
    QByteArray buffer = client->property(kBufferProperty).toByteArray() + incoming;
    bool activate = client->property(kActivateProperty).toBool();
    QStringList paths = client->property(kPathsProperty).toStringList();
    bool complete = false;

    qsizetype start = 0;
    for (;;) {
        const qsizetype end = buffer.indexOf('\n', start);
        if (end < 0) break;
        const QByteArray line = buffer.mid(start, end - start);
        start = end + 1;
        if (line.size() > kMaxLineBytes) {
            DropClient(client);
            return;
        }
        if (line.isEmpty()) {
            complete = true;
            break;
        }
        if (line == kActivate) {
            activate = true;
        } else if (line.startsWith(kOpenPrefix)) {
            const QString path = QUrl::fromPercentEncoding(line.mid(kOpenPrefix.size()));
            if (!QDir::isAbsolutePath(path)) {  // the sender's folder is unknown here
                DropClient(client);
                return;
            }
            paths.append(path);
        } else {
            DropClient(client);  // not one of ours: take nothing from it
            return;
        }
    }
    const QByteArray rest = buffer.mid(start);
    if (!complete) {
        if (rest.size() > kMaxLineBytes) {
            DropClient(client);
            return;
        }
        client->setProperty(kBufferProperty, rest);
        client->setProperty(kActivateProperty, activate);
        client->setProperty(kPathsProperty, paths);
        client->setProperty(kTotalProperty, total);
        return;
    }

    // Answer before acting: opening a course can take long, and the sender is waiting.
    client->write(kReplyOk);
    client->flush();
    client->disconnect(this);
    client->disconnectFromServer();
    client->deleteLater();

    QPointer<SingleInstanceGuard> self(this);
    if (activate) emit activateRequested();
    for (const QString& path : paths) {
        if (!self) return;  // a slot may end the program
        emit openRequested(path);
    }
}

}  // namespace tovra::shell
