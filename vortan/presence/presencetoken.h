#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <cstdint>

namespace vortan {

// The days since 1970-01-01 in UTC.
std::int64_t utcDayNumber(const QDateTime& time);

// The name under which the holder of publicKey (its raw 32 bytes) announces
// itself on the local network on the given UTC day: 16 lowercase base32
// characters. Empty when the key is not 32 bytes.
QString presenceToken(const QByteArray& publicKey, std::int64_t utcDay);

}  // namespace vortan
