#include "vortan/peer/messages.h"

#include <QStringList>
#include <QtEndian>

#include <cstring>

namespace vortan {
namespace messages {

QByteArray encodeDataHeader(std::int32_t block, const QUuid& fileID)
{
    QByteArray header(kDataHeaderSize, Qt::Uninitialized);
    char* out = header.data();
    qToLittleEndian<std::int32_t>(block, out);
    const QByteArray id = fileID.toRfc4122();
    std::memcpy(out + 4, id.constData(), 16);
    return header;
}

std::optional<DataMessage> decodeData(QByteArray payload)
{
    if (payload.size() < kDataHeaderSize)
        return std::nullopt;
    DataMessage message;
    message.block = qFromLittleEndian<std::int32_t>(payload.constData());
    message.fileID = QUuid::fromRfc4122(QByteArrayView(payload.constData() + 4, 16));
    payload.remove(0, kDataHeaderSize);
    message.data = std::move(payload);
    return message;
}

}  // namespace messages

QString idText(const QUuid& id)
{
    return id.toString(QUuid::WithoutBraces);
}

QString describe(const FileProxy& proxy)
{
    QString text = QStringLiteral("FileProxy(id: %1, file: File2(name: \"%2\"").arg(idText(proxy.id), proxy.file.name());
    if (proxy.file.location)
        text += QStringLiteral(", location: %1").arg(proxy.file.location->toString());
    text += QStringLiteral(", length: %1, numberOfBlocks: %2))")
                .arg(proxy.file.length())
                .arg(proxy.file.numberOfBlocks());
    return text;
}

QString describe(const QList<FileProxy>& proxies)
{
    // A long list would make one line of megabytes: it is counted instead.
    if (proxies.size() > kDescribedEntries)
        return QStringLiteral("[%1 entries]").arg(proxies.size());
    QStringList parts;
    parts.reserve(proxies.size());
    for (const FileProxy& proxy : proxies)
        parts.append(describe(proxy));
    return QLatin1Char('[') + parts.join(QStringLiteral(", ")) + QLatin1Char(']');
}

}  // namespace vortan
