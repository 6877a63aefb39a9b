#pragma once

#include "control/messages.h"
#include "control/wire.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>

class QLocalSocket;

namespace brenvo::control {

// One accepted client of the control socket: cuts its frames, answers each
// request through the dispatcher, and closes it on broken input or when no
// complete message arrives within the read timeout. Owns the socket.
class ServerConnection : public QObject {
    Q_OBJECT
public:
    using Dispatcher = std::function<Answer(const Request&)>;

    ServerConnection(QLocalSocket* socket, Dispatcher dispatcher, std::chrono::milliseconds readTimeout,
                     QObject* parent = nullptr);
    ~ServerConnection() override;

signals:
    // The client is gone or was closed; emitted once, later than the call
    // that closed it. The owner deletes the connection.
    void finished(brenvo::control::ServerConnection* connection);

private:
    void readFrames();
    void answer(const Answer& answer);
    void fail(const QString& why);
    void reportFinishedLater();

    QLocalSocket* m_socket;
    Dispatcher m_dispatcher;
    FrameReader m_reader;
    QTimer m_readTimer;
    bool m_dispatching = false;
    bool m_closing = false;
    bool m_finishReported = false;
};

}  // namespace brenvo::control
