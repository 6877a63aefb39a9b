#pragma once

#include <QByteArray>
#include <QList>
#include <QLocalSocket>
#include <QObject>
#include <QString>

#include <deque>
#include <functional>

namespace vortan {

// One reply of tor's control port: its status (250 for success) and its
// lines without status and separator; a data block ("250+key=" … ".") is
// joined to its line with "\n".
struct TorReply {
    int status = 0;
    QList<QByteArray> lines;

    bool ok() const { return status == 250; }
    // "key=value" lines: the value of the first with this key.
    QByteArray value(const QByteArray& key) const;
    // What tor said, for a log line or a reason (bounded, printable).
    QString text() const;
};

// Splits the bytes of the control port into replies. tor's bytes are
// untrusted: a line longer than kMaxLine or a reply longer than kMaxReply,
// or a line that is not "NNN<sep>text", ends the parse with an error.
class TorReplyParser {
public:
    static constexpr qsizetype kMaxLine = 16 * 1024;
    static constexpr qsizetype kMaxReply = 256 * 1024;

    // Takes bytes; returns the replies they complete. After an error it
    // takes nothing more.
    QList<TorReply> input(QByteArrayView bytes);
    bool failed() const { return !m_error.isEmpty(); }
    const QString& error() const { return m_error; }

private:
    bool takeLine(const QByteArray& line, QList<TorReply>& done);

    QByteArray m_buffer;
    TorReply m_reply;
    qsizetype m_replySize = 0;
    bool m_inData = false;
    QString m_error;
};

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
