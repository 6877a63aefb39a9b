#pragma once

#include "vortan/user.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace brenvo {

// Card files on disk: reading a batch of untrusted files, writing one card,
// and the texts shown about them.

// Groups of four lower-case hex digits joined by spaces ("0a1b 2c3d …").
QString keyFingerprint(const QByteArray& key);

// The name a card is written under: the user's name with every "/" made ":",
// then ".bcard".
QString cardFileName(const QString& userName);

// A person's name as shown anywhere: without bidirectional controls (which
// could make it read as another name) and at most 80 characters, the rest
// elided, so that a hostile card cannot stretch a dialog.
QString displayName(const QString& name);

// The port typed in a field: a decimal number in 0..65535, else none.
std::optional<std::uint16_t> portFromText(const QString& text);

struct CardFailure {
    QString path;
    QString description;  // why, as a sentence fragment ("Not a regular file")
};

struct CardBatch {
    QList<vortan::User> users;  // decoded, in file order, one per key
    QList<CardFailure> failures;
};

// Reads and decodes each file (whole, at most kMaxCardSize bytes, never
// waiting on a FIFO or device). A card carrying ownKey is refused as a
// failure; a key met twice keeps one entry, the later card's fields.
CardBatch readCardFiles(const QStringList& paths, const QByteArray& ownKey);

// The alert about a batch's failures: title and message. Empty title when
// there was none.
struct AlertText {
    QString title;
    QString message;
};
AlertText importFailureAlert(const QList<CardFailure>& failures);

// Encodes user and writes the card to path, replacing any file there
// atomically. Returns the error's description, or nothing on success.
std::optional<QString> writeCardFile(const vortan::User& user, const QString& path);

// Writes the card into directory (created first when missing) under
// cardFileName(). Returns the path written, or the error's description.
struct WrittenCard {
    QString path;
    QString error;  // non-empty on failure
};
WrittenCard writeCardInto(const vortan::User& user, const QString& directory);

}  // namespace brenvo
