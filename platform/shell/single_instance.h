// Keeps one running editor per user: a second start hands its project paths to the first over a local socket.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;
class QLocalSocket;

namespace tovra::shell {

// Wire format, UTF-8 lines ending in '\n':
//   ACTIVATE             bring the running window to the front
//   OPEN <path>          open a project; the absolute path percent-encoded (so it may hold any character)
//   <empty line>         end of request
// The running instance answers "OK\n" once it has taken the whole request.
class SingleInstanceGuard : public QObject {
    Q_OBJECT
public:
    // "e-Learning editor-<uid>": one name per user, so two users' editors never meet.
    static QString ServerName();

    explicit SingleInstanceGuard(QObject* parent = nullptr);
    // serverName as QLocalServer takes it: a bare name (placed in the temp folder) or an absolute socket path.
    explicit SingleInstanceGuard(const QString& serverName, QObject* parent = nullptr);
    ~SingleInstanceGuard() override;

    // True when a running instance took the request to come to the front and to open each path
    // (relative paths are made absolute against the current folder first); the caller then ends.
    // Runs a local event loop for at most timeoutMs.
    bool HandOffToRunning(const QStringList& projectPaths, int timeoutMs = 2000);

    // Becomes the running instance. A socket left behind by a crashed instance is removed;
    // false when a live instance owns the name or the socket cannot be created.
    bool Listen();
    bool IsListening() const;

    // How long a connected client may take to send its request (milliseconds).
    void SetClientTimeoutMs(int ms);

signals:
    void activateRequested();
    void openRequested(const QString& absolutePath);

private:
    void OnNewConnection();
    void OnClientData(QLocalSocket* client);
    void DropClient(QLocalSocket* client);

    QString serverName_;
    QLocalServer* server_ = nullptr;
    int clientTimeoutMs_ = 5000;
};

}  // namespace tovra::shell
