#pragma once

#include <QList>
#include <QSslCertificate>
#include <QString>

namespace brenvo {

// The certificates of the *.crt files (PEM) directly in directory, in name
// order. Unreadable or malformed files and files over 1 MiB are skipped.
QList<QSslCertificate> loadAnchors(const QString& directory);

}  // namespace brenvo
