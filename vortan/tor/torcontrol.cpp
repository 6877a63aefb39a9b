#include "vortan/tor/torcontrol.h"

#include "vortan/log.h"

#include <QFile>
#include <QMetaObject>
#include <QPointer>

namespace vortan {
namespace {

constexpr qsizetype kCookieSize = 32;

// A value of PROTOCOLINFO's AUTH line, e.g. COOKIEFILE="/a \"b\"": the
// quoted string unescaped.
QByteArray quotedValue(const QByteArray& line, const QByteArray& key)
{
    const qsizetype at = line.indexOf(key + "=\"");
    if (at < 0)
        return {};
    QByteArray value;
    for (qsizetype i = at + key.size() + 2; i < line.size(); ++i) {
        const char c = line.at(i);
        if (c == '"')
            return value;
        if (c == '\\' && i + 1 < line.size())
            value.append(line.at(++i));
        else
            value.append(c);
    }
    return {};  // unterminated
}

}  // namespace

TorControl::TorControl(QString socketPath, QObject* parent) : QObject(parent), m_socketPath(std::move(socketPath))
{
    connect(&m_socket, &QLocalSocket::readyRead, this, &TorControl::readAvailable);
    connect(&m_socket, &QLocalSocket::errorOccurred, this,
            [this](QLocalSocket::LocalSocketError) { fail(m_socket.errorString()); });
    connect(&m_socket, &QLocalSocket::disconnected, this, [this] { fail(QStringLiteral("tor closed its control port")); });
    connect(&m_socket, &QLocalSocket::connected, this, [this] {
        write("PROTOCOLINFO 1", [this](const TorReply& reply) { authenticate(reply); });
    });
}

TorControl::~TorControl()
{
    m_socket.disconnect(this);
    m_socket.abort();
}

void TorControl::start()
{
    m_socket.connectToServer(m_socketPath);
}

void TorControl::send(const QByteArray& command, ReplyHandler handler)
{
    if (m_failed) {
        if (handler)
            QMetaObject::invokeMethod(this, [handler] { handler(TorReply{}); }, Qt::QueuedConnection);
        return;
    }
    if (!m_ready) {
        m_queued.push_back(Pending{command, std::move(handler)});
        return;
    }
    write(command, std::move(handler));
}

void TorControl::write(const QByteArray& command, ReplyHandler handler)
{
    // Our own commands never hold a line break: one would start another command.
    Q_ASSERT(!command.contains('\n') && !command.contains('\r'));
    m_waiting.push_back(std::move(handler));
    m_socket.write(command + "\r\n");
}

void TorControl::authenticate(const TorReply& protocolInfo)
{
    if (!protocolInfo.ok()) {
        fail(QStringLiteral("tor refused PROTOCOLINFO: %1").arg(protocolInfo.text()));
        return;
    }
    QByteArray auth;
    for (const QByteArray& line : protocolInfo.lines) {
        if (line.startsWith("AUTH "))
            auth = line;
    }
    const qsizetype methodsAt = auth.indexOf("METHODS=");
    const QList<QByteArray> methods =
        methodsAt < 0 ? QList<QByteArray>() : auth.mid(methodsAt + 8).split(' ').value(0).split(',');
    QByteArray command;
    if (methods.contains("NULL")) {
        command = "AUTHENTICATE";
    } else if (methods.contains("COOKIE") || methods.contains("SAFECOOKIE")) {
        QFile file(QString::fromLocal8Bit(quotedValue(auth, "COOKIEFILE")));
        if (!file.open(QIODevice::ReadOnly)) {
            fail(QStringLiteral("cannot read tor's cookie file %1: %2").arg(file.fileName(), file.errorString()));
            return;
        }
        const QByteArray cookie = file.read(kCookieSize + 1);
        if (cookie.size() != kCookieSize) {
            fail(QStringLiteral("tor's cookie file %1 is not %2 bytes long").arg(file.fileName()).arg(kCookieSize));
            return;
        }
        command = "AUTHENTICATE " + cookie.toHex();
    } else {
        fail(QStringLiteral("tor's control port asks for a password, which Brenvo does not have"));
        return;
    }
    write(command, [this](const TorReply& reply) {
        if (!reply.ok()) {
            fail(QStringLiteral("tor refused our authentication: %1").arg(reply.text()));
            return;
        }
        m_ready = true;
        std::deque<Pending> queued = std::move(m_queued);
        for (Pending& pending : queued)
            write(pending.command, std::move(pending.handler));
        emit ready();
    });
}

void TorControl::readAvailable()
{
    const QByteArray bytes = m_socket.readAll();
    const QList<TorReply> replies = m_parser.input(bytes);
    // A handler may end this object.
    const QPointer<TorControl> alive(this);
    for (const TorReply& reply : replies) {
        if (!alive || m_failed)
            return;
        if (reply.status == 650) {
            emit event(reply);
            continue;
        }
        if (m_waiting.empty()) {
            fail(QStringLiteral("tor's control port answered a command nobody sent"));
            return;
        }
        ReplyHandler handler = std::move(m_waiting.front());
        m_waiting.pop_front();
        if (handler)
            handler(reply);
    }
    if (alive && m_parser.failed())
        fail(m_parser.error());
}

void TorControl::fail(const QString& reason)
{
    if (m_failed)
        return;
    m_failed = true;
    m_ready = false;
    m_socket.disconnect(this);
    m_socket.abort();
    std::deque<ReplyHandler> waiting = std::move(m_waiting);
    for (Pending& pending : m_queued)
        waiting.push_back(std::move(pending.handler));
    m_queued.clear();
    for (ReplyHandler& handler : waiting) {
        if (handler)
            handler(TorReply{});
    }
    emit failed(reason);
}

}  // namespace vortan
