#pragma once

#include <QSet>
#include <QString>
#include <QUuid>

namespace brenvo::control {

// Offers to us that the user paused before they ever started. Such a pause
// changes nothing in the stored records (new offers start paused), so
// brenvo-cli keeps these ids in a small file of its own in the support
// directory, "brenvo-cli-held.txt", one id per line, so that
// `run --accept` leaves them alone; the process that carries out the pause
// (remotecommands.h) keeps it up to date. A download paused after it started
// needs no entry: its place or its blocks tell that it was resumed once.
inline constexpr const char* kHeldOffersFileName = "brenvo-cli-held.txt";

// The ids in the file; nothing when it is missing. Lines that are no id are
// skipped; a file too large to be ours is ignored as a whole.
QSet<QUuid> readHeldOffers(const QString& supportDirectory);

// Replaces the file atomically (removes it when ids is empty). Returns an
// empty text, or why it could not be written.
QString writeHeldOffers(const QString& supportDirectory, const QSet<QUuid>& ids);

}  // namespace brenvo::control
