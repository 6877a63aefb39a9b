#pragma once

#include "vortan/user.h"
#include "vortan/vortan_export.h"

#include <QByteArray>
#include <QString>

#include <stdexcept>

namespace vortan {

// A user card: what people exchange to connect, the binary property list of
// one User (key, name, and the address and port when known).

// The largest card file read.
inline constexpr qsizetype kMaxCardSize = 64 * 1024;

// A card that cannot be read or written; message() says why.
class VORTAN_EXPORT CardError : public std::runtime_error {
public:
    explicit CardError(const QString& message);
    const QString& message() const { return m_message; }

private:
    QString m_message;
};

VORTAN_EXPORT QByteArray encodeCard(const User& user);
// Decodes untrusted bytes: anything over kMaxCardSize, malformed, or with a
// key that is not 32 bytes is refused. The user comes back not connected.
VORTAN_EXPORT User decodeCard(const QByteArray& bytes);

}  // namespace vortan
