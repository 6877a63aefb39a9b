#pragma once

#include "vortan/tor/torreply.h"

#include <QByteArray>
#include <QLocalSocket>
#include <QObject>
#include <QString>

#include <deque>
#include <functional>

namespace vortan {

// A client of tor's control port on a Unix-domain socket: authenticates
// (with the cookie file tor names, or none when tor asks for none), then
// sends commands one after the other and hands each reply to its handler.
// Asynchronous events (650) are signalled. Nothing here waits.
class TorControl : public QObject {
    Q_OBJECT
public:
    using ReplyHandler = std::function<void(const TorReply& reply)>;

    explicit TorControl(QString socketPath, QObject* parent = nullptr);
    ~TorControl() override;

    // Connects and authenticates; ready() or failed() follows.
    void start();
    bool isReady() const { return m_ready; }
    // Queues one command line (without CRLF). Before ready() or after
    // failed() the handler gets status 0 later.
    void send(const QByteArray& command, ReplyHandler handler = {});

signals:
    void ready();
    // The connection failed or tor closed it; nothing more follows.
    void failed(const QString& reason);
    void event(const TorReply& event);

private:
    struct Pending {
        QByteArray command;
        ReplyHandler handler;
    };
    void write(const QByteArray& command, ReplyHandler handler);
    void readAvailable();
    void authenticate(const TorReply& protocolInfo);
    void fail(const QString& reason);

    QString m_socketPath;
    QLocalSocket m_socket;
    TorReplyParser m_parser;
    std::deque<ReplyHandler> m_waiting;   // sent, in order
    std::deque<Pending> m_queued;         // before ready
    bool m_ready = false;
    bool m_failed = false;
};

}  // namespace vortan
