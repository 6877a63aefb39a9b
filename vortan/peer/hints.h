#pragma once

#include "vortan/keys/keyhelper.h"

#include <QByteArray>
#include <QList>

namespace vortan {

// The direct endpoints one end tells the other on a connection through Tor,
// so that both can try to reach each other without it. A property list: an
// array of dictionaries, each with "host" (a numeric address) and "port".
struct Hints {
    // The most taken from one message; the rest are ignored.
    static constexpr qsizetype kMax = 8;

    QList<Endpoint> endpoints;
    // Entries beyond kMax, and entries that are not an endpoint.
    qsizetype ignored = 0;

    // At most kMax endpoints.
    static QByteArray encode(const QList<Endpoint>& endpoints);
    // Throws DecodeError when the payload is no property list holding an
    // array; entries that are not an endpoint are counted, not taken. A
    // numeric host is taken in its usual form (QHostAddress::toString(), an
    // IPv4-mapped address as IPv4): one address, one endpoint.
    static Hints decode(const QByteArray& payload);
};

}  // namespace vortan
