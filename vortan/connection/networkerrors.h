#pragma once

#include "vortan/errors.h"

#include <QAbstractSocket>
#include <QString>

namespace vortan {

// A readable form of a network error for the diagnostic lines, e.g.
// "POSIX error 111 (ECONNREFUSED): Connection refused" or
// "DNS error -2: Name or service not known".
QString describe(const NetworkError& error);

// The POSIX error closest to a socket error Qt reports without its number.
// Used only where the number itself is out of reach (a listening socket's
// bind and listen, which Qt performs).
NetworkError networkErrorFor(QAbstractSocket::SocketError error);

// The POSIX error behind a failure Qt reported on an established stream. Qt
// keeps the number to itself but words the failure with strerror's text, so
// that text leads back to the number; when it does not, the closest
// networkErrorFor() mapping is used.
NetworkError streamErrorFor(QAbstractSocket::SocketError error, const QString& text);

}  // namespace vortan
