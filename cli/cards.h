#pragma once

#include "vortan/user.h"

#include <QByteArray>
#include <QString>

namespace brenvo::cli {

// The fingerprint of a signing key as people compare it: four lower-case hex
// digits per two bytes, groups joined by single spaces ("3f0a 91c2 ...", 79
// characters for a 32-byte key; empty for an empty key).
QString fingerprint(const QByteArray& key);

// The fingerprint's hex digits without spaces (what a prefix is matched with).
QString fingerprintDigits(const QByteArray& key);

// A card file holds the binary property list of exactly one User: key, name
// and, when set, address and port. State and error are never written.
//
// Reads and decodes the card at path. Throws CliError naming the file when
// it cannot be read, is too large to be a card or does not hold a user.
vortan::User readCard(const QString& path);

// The bytes of the card file. Throws CliError when the user cannot be encoded.
QByteArray encodeCardBytes(const vortan::User& user);

// Writes the card atomically (the old file stays whole until the new one is
// complete). Throws CliError naming the file on failure.
void writeCard(const QString& path, const vortan::User& user);

// The file name a card is given: the user's name with every "/" replaced by
// ":", then ".bcard".
QString cardFileName(const vortan::User& user);

// Cards are a few hundred bytes; anything bigger is refused unread.
inline constexpr qint64 kMaxCardSize = 64 * 1024;

}  // namespace brenvo::cli
