#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>

namespace vortan {

// The users disconnected by hand, kept across restarts in a small file of
// their own in the support directory (one key in hex a line, mode 0600), so
// that the stored users stay as they are. A missing or unreadable file holds
// no one; lines that are not a key are skipped.
QSet<QByteArray> readHeldUsers(const QString& path);
// Replaces the file (removes it when no one is held). Returns whether it worked.
bool writeHeldUsers(const QString& path, const QSet<QByteArray>& keys);

}  // namespace vortan
