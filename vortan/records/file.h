#pragma once

#include "vortan/records/blockset.h"
#include "vortan/bidi.h"
#include "vortan/errors.h"
#include "vortan/file2.h"
#include "vortan/records/transferbuffer.h"

#include <QByteArray>
#include <QString>
#include <QUuid>

#include <memory>
#include <optional>

namespace vortan {

// The controller's record of one transfer between the local user and one
// other user. A value: copies share one TransferBuffer, so opening, closing
// and the read window are seen by every copy.
class File {
public:
    // An empty record with a null id, for containers that need a default.
    File();
    // A file the local user offers to user: new random id, not a download.
    File(File2 file, QByteArray user);
    // An entry of a list received from user: the sender's id, a paused download.
    File(File2 file, QUuid id, QByteArray user);
    // A download (not paused) of a file described by its name, location and length.
    File(QString name, std::optional<QUrl> location, std::int64_t length, QByteArray user);

    const QUuid& id() const { return m_id; }
    const std::shared_ptr<TransferBuffer>& buffer() const { return m_buffer; }

    File2 file;
    // Downloading side: blocks written to disk; offering side: blocks whose
    // sending has completed.
    BlockSet blocks;
    // true: offered to us by user; false: our file offered to user.
    bool download = false;
    bool paused = false;
    // Stored and coded; nothing sets it.
    bool unavailable = false;
    // The other party's 32-byte public signing key.
    QByteArray user;
    // Downloading side: requested and not yet received; offering side: asked
    // for and not yet sent. In memory only.
    BlockSet wantBlocks;
    // Offering side: a send loop runs for this record. In memory only.
    bool sending = false;
    // The last failure of this transfer. In memory only.
    std::optional<VortanError> error;

    // Derived values.
    const QString& name() const { return file.name(); }
    // The name with every ":" shown as "/" and without bidirectional
    // controls (see withoutBidiControls()).
    QString displayName() const;
    const std::optional<QUrl>& location() const { return file.location; }
    std::int64_t length() const { return file.length(); }
    std::int64_t numberOfBlocks() const { return file.numberOfBlocks(); }
    bool transferred() const { return blocks.count() == numberOfBlocks(); }
    bool local() const { return !download || transferred(); }
    bool inProgress() const { return !blocks.empty() && blocks.count() < numberOfBlocks(); }
    // Whole blocks: count * blockSize, even when the last block is shorter
    // (saturating at INT64_MAX).
    std::int64_t sizeDownloaded() const;
    // count / numberOfBlocks; NaN for an empty file.
    double fractionDownloaded() const { return double(blocks.count()) / double(numberOfBlocks()); }

    // The partial download file: the location's path with ".downloading"
    // appended; empty when there is no local location.
    QString partialPath() const;

    // Writes one received block at block * blockSize into the partial file,
    // opening it on first use (created 0644, truncated when no block has been
    // written yet). Throws PosixError when opening or writing fails and
    // IoError when the record has no local location or the block number is
    // out of range.
    void writeBlock(const QByteArray& data, std::int64_t block);

private:
    QUuid m_id;
    std::shared_ptr<TransferBuffer> m_buffer;
};

}  // namespace vortan
