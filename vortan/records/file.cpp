#include "vortan/records/file.h"

#include <limits>

namespace vortan {

File::File() : m_buffer(std::make_shared<TransferBuffer>()) {}

File::File(File2 file, QByteArray user)
    : file(std::move(file)), download(false), paused(false), unavailable(false), user(std::move(user)),
      m_id(QUuid::createUuid()), m_buffer(std::make_shared<TransferBuffer>())
{
}

File::File(File2 file, QUuid id, QByteArray user)
    : file(std::move(file)), download(true), paused(true), unavailable(false), user(std::move(user)), m_id(id),
      m_buffer(std::make_shared<TransferBuffer>())
{
}

File::File(QString name, std::optional<QUrl> location, std::int64_t length, QByteArray user)
    : file(std::move(name), std::move(location), length), download(true), paused(false), unavailable(false),
      user(std::move(user)), m_id(QUuid::createUuid()), m_buffer(std::make_shared<TransferBuffer>())
{
}

QString File::displayName() const
{
    QString shown = file.name();
    shown.replace(QLatin1Char(':'), QLatin1Char('/'));
    return shown;
}

std::int64_t File::sizeDownloaded() const
{
    std::int64_t size;
    if (__builtin_mul_overflow(blocks.count(), blockSize, &size))
        return std::numeric_limits<std::int64_t>::max();
    return size;
}

QString File::partialPath() const
{
    if (!file.location || !file.location->isLocalFile())
        return {};
    return file.location->toLocalFile() + QStringLiteral(".downloading");
}

void File::writeBlock(const QByteArray& data, std::int64_t block)
{
    const QString path = partialPath();
    if (path.isEmpty())
        throw IoError(QStringLiteral("no download location for %1").arg(file.name()));
    if (block < 0 || block > maxBlockNumber)
        throw IoError(QStringLiteral("block %1 is out of range").arg(block));
    m_buffer->writeAt(path, blocks.empty(), data, block * blockSize);
}

}  // namespace vortan
