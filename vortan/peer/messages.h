#pragma once

#include "vortan/file2.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUuid>

#include <cstdint>
#include <optional>

namespace vortan {

// The payloads of the four message kinds, besides the property lists of list
// and want (see records/coding.h).
namespace messages {

// listRequest: the receiver ignores it.
inline const QByteArray kListRequestPayload = QByteArrayLiteral("hello");

// data: block index (int32, little-endian), the file id's 16 bytes in
// standard (RFC 4122) order, then the block's bytes.
inline constexpr qsizetype kDataHeaderSize = 20;

// The 20 bytes before the block's bytes: the sender seals the header and the
// block without joining them.
QByteArray encodeDataHeader(std::int32_t block, const QUuid& fileID);

struct DataMessage {
    std::int32_t block = 0;
    QUuid fileID;
    QByteArray data;
};
// Absent when the payload is shorter than the header. The block is the
// payload itself with the header taken off the front, without a copy when
// the payload is not shared.
std::optional<DataMessage> decodeData(QByteArray payload);

}  // namespace messages

// Readable forms for the diagnostic lines: the id in its braceless form, and
// "[FileProxy(id: …, file: File2(name: "a.txt", length: 10, numberOfBlocks: 1))]"
// (a location, when there is one, after the name).
QString idText(const QUuid& id);
QString describe(const FileProxy& proxy);
// A list of more than kDescribedEntries entries is shown as its count only:
// "[100000 entries]".
inline constexpr qsizetype kDescribedEntries = 20;
QString describe(const QList<FileProxy>& proxies);

}  // namespace vortan
