#include "control/serverconnection.h"

#include "control/log.h"

#include <QLocalSocket>

namespace brenvo::control {

namespace {

// What one connection may read ahead and leave unsent before it is cut off.
constexpr qint64 kReadChunk = 64 * 1024;
constexpr qint64 kMaxUnsent = 2 * (kMaxPayload + kHeaderSize);

}  // namespace

ServerConnection::ServerConnection(QLocalSocket* socket, Dispatcher dispatcher,
                                   std::chrono::milliseconds readTimeout, QObject* parent)
    : QObject(parent)
    , m_socket(socket)
    , m_dispatcher(std::move(dispatcher))
{
    m_socket->setParent(this);
    m_socket->setReadBufferSize(kReadChunk);
    m_readTimer.setSingleShot(true);
    m_readTimer.setInterval(readTimeout);
    connect(&m_readTimer, &QTimer::timeout, this, [this] {
        if (!m_closing)
            return fail(QStringLiteral("no complete message within %1 ms").arg(m_readTimer.interval()));
        // Closing after an answer that the client does not read.
        m_socket->abort();
        reportFinishedLater();
    });
    connect(m_socket, &QLocalSocket::readyRead, this, &ServerConnection::readFrames);
    connect(m_socket, &QLocalSocket::disconnected, this, &ServerConnection::reportFinishedLater);
    m_readTimer.start();
    // Bytes that came with the connection raise no readyRead of their own.
    QMetaObject::invokeMethod(this, &ServerConnection::readFrames, Qt::QueuedConnection);
}

ServerConnection::~ServerConnection() = default;

void ServerConnection::readFrames()
{
    // A dispatcher that spins an event loop must not see the next request
    // before it answered this one; the bytes wait in the socket meanwhile.
    if (m_dispatching || m_closing)
        return;
    while (!m_closing) {
        if (m_socket->bytesAvailable() > 0)
            m_reader.append(m_socket->read(kReadChunk));
        switch (m_reader.next()) {
        case FrameReader::Status::NeedMore:
            if (m_socket->bytesAvailable() > 0)
                continue;
            return;
        case FrameReader::Status::UnsupportedVersion:
            qCWarning(lcControl, "control client: %s", qUtf8Printable(m_reader.error()));
            answer(refusal(m_reader.error()));
            m_closing = true;
            m_readTimer.start();
            m_socket->disconnectFromServer();
            return;
        case FrameReader::Status::Malformed:
            return fail(m_reader.error());
        case FrameReader::Status::Frame:
            break;
        }
        const RequestDecoding decoded = decodeRequest(m_reader.payload());
        if (decoded.garbled)
            return fail(decoded.error);
        m_readTimer.start();
        if (!decoded.request) {
            qCWarning(lcControl, "control client: refused request: %s", qUtf8Printable(decoded.error));
            answer(refusal(decoded.error));
            continue;
        }
        m_dispatching = true;
        const Answer result = m_dispatcher(*decoded.request);
        m_dispatching = false;
        answer(result);
    }
}

void ServerConnection::answer(const Answer& result)
{
    if (m_closing)
        return;
    QByteArray payload = encodeAnswer(result);
    if (payload.size() > kMaxPayload)
        payload = encodeAnswer(refusal(QStringLiteral("the answer is longer than %1 bytes").arg(kMaxPayload)));
    m_socket->write(encodeFrame(payload));
    if (m_socket->bytesToWrite() > kMaxUnsent)
        fail(QStringLiteral("the client does not read its answers"));
}

void ServerConnection::fail(const QString& why)
{
    if (m_closing)
        return;
    qCWarning(lcControl, "control client closed: %s", qUtf8Printable(why));
    m_closing = true;
    m_readTimer.stop();
    m_socket->abort();
    reportFinishedLater();
}

void ServerConnection::reportFinishedLater()
{
    if (m_finishReported)
        return;
    m_finishReported = true;
    QMetaObject::invokeMethod(this, [this] { emit finished(this); }, Qt::QueuedConnection);
}

}  // namespace brenvo::control
