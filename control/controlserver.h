#pragma once

#include "control/messages.h"

#include <QLocalServer>
#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <vector>

namespace brenvo::control {

class ServerConnection;

// The local socket of the running instance of one support directory
// (controlSocketPath). Only this user's processes get in: the socket file
// is mode 0600 and each accepted peer's uid is checked (SO_PEERCRED); any
// other peer is closed at once. Every request is answered; broken or slow
// clients are closed with a line in "brenvo.control" and cost nothing else.
class ControlServer : public QObject {
    Q_OBJECT
public:
    struct Limits {
        int maxClients = 8;                             // more are answered "busy" and closed
        std::chrono::milliseconds readTimeout{5000};    // for each complete message
        std::chrono::milliseconds probeTimeout{1000};   // asking an existing socket whether it lives
    };

    enum class ListenStatus { Listening, AlreadyRunning, Failed };
    struct ListenResult {
        ListenStatus status = ListenStatus::Failed;
        QString error;  // what went wrong, when Failed
    };

    // Answers a remote request; runs on the main thread inside the read of
    // the request, so it returns promptly, runs no event loop of its own and
    // deletes nothing of the server.
    using CommandHandler = std::function<Answer(const RemoteRequest&)>;

    explicit ControlServer(const QString& supportDir, QObject* parent = nullptr);
    ControlServer(const QString& supportDir, Limits limits, QObject* parent = nullptr);
    ~ControlServer() override;

    // Starts listening. AlreadyRunning when another instance answers on the
    // socket; a socket file nobody answers on is left over from a crash and
    // is replaced.
    ListenResult listen();
    QString socketPath() const { return m_path; }

    // Without a handler every remote request is refused.
    void setCommandHandler(CommandHandler handler) { m_commandHandler = std::move(handler); }

signals:
    // A second launch handed over its URLs and card files (none: it only
    // asks for a window); it has already been answered. Emitted from the
    // event loop, after the read that got it.
    void openRequested(const brenvo::control::OpenRequest& request);

private:
    void accept();
    Answer dispatch(const Request& request);
    void remove(ServerConnection* connection);

    QString m_path;
    Limits m_limits;
    QLocalServer m_server;
    CommandHandler m_commandHandler;
    std::vector<ServerConnection*> m_connections;  // children of this object
};

}  // namespace brenvo::control
