#include "control/heldoffers.h"

#include "vortan/privatefiles.h"
#include "vortan/wholefile.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include <algorithm>

namespace brenvo::control {

namespace {

// 100 000 ids, far more than one user may offer.
constexpr qint64 kMaxFileSize = 4 * 1024 * 1024;

QString pathIn(const QString& supportDirectory)
{
    return QDir(supportDirectory).filePath(QString::fromLatin1(kHeldOffersFileName));
}

}  // namespace

QSet<QUuid> readHeldOffers(const QString& supportDirectory)
{
    QSet<QUuid> ids;
    const vortan::WholeFile file = vortan::readWholeRegularFile(pathIn(supportDirectory), kMaxFileSize, false);
    if (!file.ok())
        return ids;
    for (const QByteArray& line : file.bytes.split('\n')) {
        const QUuid id = QUuid::fromString(QLatin1String(line.trimmed()));
        if (!id.isNull())
            ids.insert(id);
    }
    return ids;
}

QString writeHeldOffers(const QString& supportDirectory, const QSet<QUuid>& ids)
{
    const QString path = pathIn(supportDirectory);
    if (ids.isEmpty()) {
        if (QFile::exists(path) && !QFile::remove(path))
            return QStringLiteral("cannot remove %1").arg(path);
        return {};
    }
    QList<QUuid> sorted(ids.cbegin(), ids.cend());
    std::sort(sorted.begin(), sorted.end(), [](const QUuid& a, const QUuid& b) { return a.toString() < b.toString(); });
    QByteArray bytes;
    for (const QUuid& id : std::as_const(sorted))
        bytes += id.toByteArray(QUuid::WithoutBraces) + '\n';
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !vortan::restrictToOwner(file) || file.write(bytes) != bytes.size()
        || !file.commit())
        return QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
    return {};
}

}  // namespace brenvo::control
