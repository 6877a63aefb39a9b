#include "vortan/controller/heldusers.h"

#include "vortan/log.h"
#include "vortan/privatefiles.h"
#include "vortan/wholefile.h"

#include <QFile>
#include <QList>
#include <QSaveFile>

#include <algorithm>

namespace vortan {

namespace {
constexpr qint64 kMaxSize = 1 << 20;
constexpr qsizetype kKeySize = 32;
}  // namespace

QSet<QByteArray> readHeldUsers(const QString& path)
{
    QSet<QByteArray> keys;
    const WholeFile file = readWholeRegularFile(path, kMaxSize, false);
    if (!file.ok()) {
        if (file.outcome != WholeFile::Outcome::missing)
            logWarning(lcController(), QStringLiteral("Could not read %1: %2").arg(path, file.problem(kMaxSize)));
        return keys;
    }
    for (const QByteArray& line : file.bytes.split('\n')) {
        const QByteArray key = QByteArray::fromHex(line.trimmed());
        if (key.size() == kKeySize && key.toHex() == line.trimmed().toLower())
            keys.insert(key);
    }
    return keys;
}

bool writeHeldUsers(const QString& path, const QSet<QByteArray>& keys)
{
    if (keys.isEmpty())
        return !QFile::exists(path) || QFile::remove(path);
    QList<QByteArray> lines;
    for (const QByteArray& key : keys)
        lines.append(key.toHex());
    std::sort(lines.begin(), lines.end());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !restrictToOwner(file) || file.write(lines.join('\n') + '\n') < 0
        || !file.commit()) {
        logWarning(lcController(), QStringLiteral("Could not write %1: %2").arg(path, file.errorString()));
        return false;
    }
    return true;
}

}  // namespace vortan
