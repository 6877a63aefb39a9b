#include "app/update/anchors.h"

#include <vortan/wholefile.h>

#include <QDir>

using vortan::WholeFile;
using vortan::readWholeRegularFile;

namespace brenvo {

QList<QSslCertificate> loadAnchors(const QString& directory)
{
    constexpr qint64 kMaxFileSize = qint64{1} << 20;
    QList<QSslCertificate> anchors;
    const QStringList names = QDir(directory).entryList({QStringLiteral("*.crt")}, QDir::Files, QDir::Name);
    for (const QString& name : names) {
        const WholeFile file = readWholeRegularFile(QDir(directory).filePath(name), kMaxFileSize, true);
        if (!file.ok())
            continue;
        for (const QSslCertificate& certificate : QSslCertificate::fromData(file.bytes, QSsl::Pem)) {
            if (!certificate.isNull())
                anchors.append(certificate);
        }
    }
    return anchors;
}

}  // namespace brenvo
