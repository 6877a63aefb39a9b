#include "vortan/connection/networkerrors.h"

#include <netdb.h>

#include <cerrno>
#include <cstring>

namespace vortan {

QString describe(const NetworkError& error)
{
    switch (error.kind) {
    case NetworkError::Kind::posix: {
        const char* name = ::strerrorname_np(error.code);
        return QStringLiteral("POSIX error %1 (%2): %3")
            .arg(error.code)
            .arg(QString::fromLatin1(name ? name : "unknown"))
            .arg(QString::fromLocal8Bit(std::strerror(error.code)));
    }
    case NetworkError::Kind::dns:
        return QStringLiteral("DNS error %1: %2").arg(error.code).arg(QString::fromLocal8Bit(::gai_strerror(error.code)));
    case NetworkError::Kind::tls:
        return QStringLiteral("TLS error %1: %2").arg(error.code).arg(error.text);
    }
    return QStringLiteral("network error");
}

NetworkError networkErrorFor(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::AddressInUseError:
        return NetworkError::posix(EADDRINUSE);
    case QAbstractSocket::SocketAccessError:
        return NetworkError::posix(EACCES);
    case QAbstractSocket::SocketAddressNotAvailableError:
        return NetworkError::posix(EADDRNOTAVAIL);
    case QAbstractSocket::SocketResourceError:
        return NetworkError::posix(EMFILE);
    case QAbstractSocket::UnsupportedSocketOperationError:
        return NetworkError::posix(EOPNOTSUPP);
    case QAbstractSocket::ConnectionRefusedError:
        return NetworkError::posix(ECONNREFUSED);
    case QAbstractSocket::RemoteHostClosedError:
        return NetworkError::posix(ECONNRESET);
    case QAbstractSocket::HostNotFoundError:
        return NetworkError::dns(EAI_NONAME);
    case QAbstractSocket::SocketTimeoutError:
        return NetworkError::posix(ETIMEDOUT);
    case QAbstractSocket::NetworkError:
        return NetworkError::posix(ENETDOWN);
    case QAbstractSocket::TemporaryError:
        return NetworkError::posix(EAGAIN);
    default:
        return NetworkError::posix(EIO);
    }
}

NetworkError streamErrorFor(QAbstractSocket::SocketError error, const QString& text)
{
    for (const int code : {ETIMEDOUT, EHOSTUNREACH, ENETUNREACH, ENETDOWN, ECONNRESET, EPIPE, ECONNABORTED, ENOBUFS,
                           ENOMEM, EIO}) {
        if (text == QString::fromLocal8Bit(std::strerror(code)))
            return NetworkError::posix(code);
    }
    return networkErrorFor(error);
}

}  // namespace vortan
