#include "vortan/records/file.h"

#include <algorithm>
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

bool isBidiControl(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 0x202a && u <= 0x202e) || (u >= 0x2066 && u <= 0x2069) || u == 0x200e || u == 0x200f || u == 0x061c;
}

QString withoutBidiControls(const QString& text)
{
    if (std::none_of(text.cbegin(), text.cend(), isBidiControl))
        return text;
    QString clean;
    clean.reserve(text.size());
    for (const QChar c : text) {
        if (!isBidiControl(c))
            clean.append(c);
    }
    return clean;
}

QString File::displayName() const
{
    // Also for names stored before received names were cleaned of them.
    QString shown = withoutBidiControls(file.name());
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
