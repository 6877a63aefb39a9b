#pragma once

#include "vortan/errors.h"
#include "vortan/vortan_export.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <cstdint>
#include <optional>

namespace vortan {

// What a front end shows of one transfer: a plain value taken from the
// catalogue at a publication. It holds no part of the engine; copying it is
// cheap and it never changes after the fact.
struct VORTAN_EXPORT FileRow {
    Q_GADGET
public:
    enum class Status {
        queued,        // resumed, waiting for its peer or for the first block to move
        transferring,  // blocks are being requested or sent
        paused,        // stopped by the user (new offers to us start paused)
        done,          // every block is there (a download: moved to its target) or sent
        failed,        // the last attempt failed; resume tries again
    };
    Q_ENUM(Status)

    QUuid id;
    // The name as people read it (a ":" received from a peer shows as "/").
    QString name;
    std::int64_t length = 0;
    std::int64_t numberOfBlocks = 0;
    // Blocks written (a download) or whose send has completed (an offer).
    std::int64_t blockCount = 0;
    // Bytes of those blocks, never past the length.
    std::int64_t bytesDone = 0;
    // true: offered to us by `user`; false: ours, offered to `user`.
    bool download = false;
    bool paused = false;
    // The other side no longer offers it.
    bool unavailable = false;
    std::optional<VortanError> error;
    // The other person's key.
    QByteArray user;
    // Offers: the shared file; downloads: the target, once chosen.
    std::optional<QUrl> location;
    Status status = Status::queued;
    // Measured over the last few seconds; 0 while nothing moves.
    double bytesPerSecond = 0;
    // At the current rate; absent while there is no rate.
    std::optional<std::int64_t> secondsLeft;

    bool transferred() const { return blockCount == numberOfBlocks; }
    // The file is at its location on this machine: every offer, and
    // downloads moved into place (not one whose final move failed).
    bool local() const { return !download || status == Status::done; }
    bool inProgress() const { return blockCount > 0 && blockCount < numberOfBlocks; }
    // 0 to 1; 1 for an empty file.
    double fraction() const { return numberOfBlocks > 0 ? double(blockCount) / double(numberOfBlocks) : 1.0; }
    // Resumed and not finished: queued or transferring.
    bool active() const { return status == Status::queued || status == Status::transferring; }

    friend bool operator==(const FileRow&, const FileRow&) = default;
};

// "queued", "transferring", "paused", "done", "failed".
VORTAN_EXPORT QString statusName(FileRow::Status status);

}  // namespace vortan
