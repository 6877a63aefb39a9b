#include "vortan/connection/socksconnector.h"

#include "vortan/log.h"

#include <QMetaObject>

#include <sys/socket.h>
#include <sys/un.h>

#include <cerrno>
#include <cstring>

namespace vortan {
namespace {

constexpr char kVersion = 0x05;

struct ReplyMeaning {
    quint8 code;
    int error;
    const char* text;
};

// RFC 1928's codes, then tor's extended ones (SocksPort … ExtendedErrors).
constexpr ReplyMeaning kReplies[] = {
    {0x01, ECONNABORTED, "general failure"},
    {0x02, EACCES, "not allowed"},
    {0x03, ENETUNREACH, "network unreachable"},
    {0x04, EHOSTUNREACH, "host unreachable"},
    {0x05, ECONNREFUSED, "connection refused"},
    {0x06, ETIMEDOUT, "timed out"},
    {0x07, EPROTO, "command not supported"},
    {0x08, EPROTO, "address type not supported"},
    {0xF0, EHOSTUNREACH, "onion service not found"},
    {0xF1, EPROTO, "onion service descriptor is invalid"},
    {0xF2, EHOSTUNREACH, "onion service introduction failed"},
    {0xF3, EHOSTUNREACH, "onion service rendezvous failed"},
    {0xF4, EACCES, "onion service needs client authorization"},
    {0xF5, EACCES, "onion service refused our client authorization"},
    {0xF6, EINVAL, "onion address is invalid"},
    {0xF7, ETIMEDOUT, "onion service introduction timed out"},
};

}  // namespace

int SocksConnector::errorForReply(quint8 reply)
{
    for (const ReplyMeaning& meaning : kReplies) {
        if (meaning.code == reply)
            return meaning.error;
    }
    return EPROTO;
}

QString SocksConnector::describeReply(quint8 reply)
{
    for (const ReplyMeaning& meaning : kReplies) {
        if (meaning.code == reply)
            return QString::fromLatin1(meaning.text);
    }
    return QStringLiteral("unknown reply %1").arg(reply);
}

SocksConnector::SocksConnector(QString proxyPath, QString host, quint16 port, ConnectedHandler onConnected,
                               FailedHandler onFailed, QObject* parent)
    : Dialer(std::move(onConnected), std::move(onFailed), parent),
      m_proxyPath(std::move(proxyPath)),
      m_host(std::move(host)),
      m_port(port)
{
    m_timeout.setSingleShot(true);
    connect(&m_timeout, &QTimer::timeout, this, [this] { fail(NetworkError::posix(ETIMEDOUT)); });
}

SocksConnector::~SocksConnector() = default;

void SocksConnector::start()
{
    // Results come from the event loop, also a failure found at once.
    QMetaObject::invokeMethod(this, &SocksConnector::openSocket, Qt::QueuedConnection);
}

void SocksConnector::openSocket()
{
    const QByteArray path = m_proxyPath.toLocal8Bit();
    const QByteArray host = m_host.toUtf8();
    sockaddr_un address{};
    if (path.isEmpty() || std::size_t(path.size()) >= sizeof address.sun_path) {
        fail(NetworkError::posix(ENAMETOOLONG));
        return;
    }
    if (host.isEmpty() || host.size() > 255) {
        fail(NetworkError::posix(EINVAL));
        return;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));
    m_socket.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!m_socket) {
        fail(NetworkError::posix(errno));
        return;
    }
    int result;
    do {
        result = ::connect(m_socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        // A Unix-domain connect completes at once or not at all (EAGAIN:
        // the proxy's backlog is full).
        fail(NetworkError::posix(errno));
        return;
    }
    m_timeout.start(kTimeoutMs);
    m_notifier = std::make_unique<QSocketNotifier>(m_socket.get(), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &SocksConnector::readable);
    // No authentication.
    sendAll(QByteArray("\x05\x01\x00", 3));
}

bool SocksConnector::sendAll(const QByteArray& bytes)
{
    // A few hundred bytes on a fresh local socket: the kernel takes them at once.
    const ssize_t n = ::send(m_socket.get(), bytes.constData(), std::size_t(bytes.size()), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n != bytes.size()) {
        fail(NetworkError::posix(n < 0 ? errno : EPROTO));
        return false;
    }
    return true;
}

qsizetype SocksConnector::needed() const
{
    if (m_step == Step::greeting)
        return 2;
    // VER REP RSV ATYP, then the bound address: its first byte tells a
    // name's length.
    if (m_received.size() < 5)
        return 5;
    switch (m_received[3]) {
    case 0x01:
        return 4 + 4 + 2;
    case 0x04:
        return 4 + 16 + 2;
    case 0x03:
        return 4 + 1 + quint8(m_received[4]) + 2;
    default:
        return 5;  // checked by the caller
    }
}

void SocksConnector::readable()
{
    // Exactly what the reply still lacks: the peer's first bytes may follow
    // it at once and stay in the kernel for the connection.
    char buffer[262];
    const qsizetype want = needed() - m_received.size();
    const ssize_t n = ::recv(m_socket.get(), buffer, std::size_t(want), MSG_DONTWAIT);
    if (n < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            fail(NetworkError::posix(errno));
        return;
    }
    if (n == 0) {
        fail(NetworkError::posix(EPROTO));  // the proxy closed the stream
        return;
    }
    m_received.append(buffer, n);
    if (m_received.size() < needed())
        return;

    if (m_step == Step::greeting) {
        if (m_received[0] != kVersion || m_received[1] != 0x00) {
            fail(NetworkError::posix(EPROTO));
            return;
        }
        m_received.clear();
        m_step = Step::request;
        const QByteArray host = m_host.toUtf8();
        QByteArray request("\x05\x01\x00\x03", 4);
        request.append(char(host.size()));
        request.append(host);
        request.append(char(m_port >> 8));
        request.append(char(m_port & 0xff));
        sendAll(request);
        return;
    }
    const auto reply = quint8(m_received[1]);
    if (m_received[0] != kVersion) {
        fail(NetworkError::posix(EPROTO));
        return;
    }
    if (reply != 0x00) {
        logInfo(lcConnection(), QStringLiteral("tor could not reach %1:%2: %3").arg(m_host).arg(m_port).arg(describeReply(reply)));
        fail(NetworkError::posix(errorForReply(reply)));
        return;
    }
    const char type = m_received[3];
    if (type != 0x01 && type != 0x03 && type != 0x04) {
        fail(NetworkError::posix(EPROTO));
        return;
    }
    if (m_received.size() < needed())
        return;  // a name's bytes still to come
    m_step = Step::done;
    m_timeout.stop();
    m_notifier.reset();
    succeed(std::move(m_socket));
}

void SocksConnector::fail(const NetworkError& error)
{
    if (m_step == Step::done)
        return;
    m_step = Step::done;
    m_timeout.stop();
    m_notifier.reset();
    m_socket.reset();
    finishWithError(error);
}

}  // namespace vortan
