#pragma once

#include "vortan/vortan_export.h"

#include <QString>
#include <QUrl>
#include <QUuid>

#include <cstdint>
#include <limits>
#include <optional>

namespace vortan {

// Files travel in blocks of exactly this many bytes; only a file's last block
// may be shorter. Block b starts at byte b * blockSize.
inline constexpr std::int64_t blockSize = 131072;

// The largest block number whose offset fits a signed 64-bit file offset.
inline constexpr std::int64_t maxBlockNumber = std::numeric_limits<std::int64_t>::max() / blockSize;

// Blocks of a file of length bytes: the whole blocks plus one for a shorter
// tail. 0 for an empty file (and for a negative length).
constexpr std::int64_t numberOfBlocksFor(std::int64_t length)
{
    if (length <= 0)
        return 0;
    return length / blockSize + (length % blockSize != 0 ? 1 : 0);
}

// The description of one offered file.
class VORTAN_EXPORT File2 {
public:
    File2() = default;
    File2(QString name, std::optional<QUrl> location, std::int64_t length);

    // Describes the file at a local file URL (or path): its last path
    // component as the name, the URL as the location and the size of the
    // file. A symbolic link is followed to its target (the bytes that will be
    // read) but keeps the link's name. Throws PosixError when the status
    // query fails and IoError when the target is not a regular file or the
    // URL is not a local file.
    static File2 at(const QUrl& url);
    static File2 at(const QString& path);

    const QString& name() const { return m_name; }
    std::int64_t length() const { return m_length; }
    std::int64_t numberOfBlocks() const { return m_numberOfBlocks; }

    // Where the bytes are: the shared file on the offering side, the download
    // target once chosen on the receiving side; absent in lists sent to peers.
    std::optional<QUrl> location;

    friend bool operator==(const File2&, const File2&) = default;

private:
    QString m_name;
    std::int64_t m_length = 0;
    std::int64_t m_numberOfBlocks = 0;
};

// One entry of a file list message: the sender's record id and its file.
struct FileProxy {
    QUuid id;
    File2 file;

    friend bool operator==(const FileProxy&, const FileProxy&) = default;
};

}  // namespace vortan
