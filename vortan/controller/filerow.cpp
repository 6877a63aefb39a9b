#include "vortan/controller/filetable.h"
#include "vortan/filerow.h"

#include <QMetaEnum>

#include <algorithm>
#include <cmath>

namespace vortan {

QString statusName(FileRow::Status status)
{
    return QString::fromLatin1(QMetaEnum::fromType<FileRow::Status>().valueToKey(int(status)));
}

namespace {

// Bytes of the blocks present: whole blocks, with the last one at its own size.
std::int64_t bytesOf(const File& file)
{
    const std::int64_t count = file.blocks.count();
    if (count == 0)
        return 0;
    std::int64_t bytes = count * blockSize;
    if (file.blocks.contains(file.numberOfBlocks() - 1))
        bytes -= file.numberOfBlocks() * blockSize - file.length();
    return std::clamp<std::int64_t>(bytes, 0, file.length());
}

FileRow::Status statusOf(const File& file)
{
    if (isComplete(file))
        return FileRow::Status::done;
    if (file.error)
        return FileRow::Status::failed;
    if (file.paused)
        return FileRow::Status::paused;
    if (!file.wantBlocks.empty() || file.sending)
        return FileRow::Status::transferring;
    return FileRow::Status::queued;
}

}  // namespace

FileRow FileTable::rowOf(const File& file)
{
    FileRow row;
    row.id = file.id();
    row.name = file.displayName();
    row.length = file.length();
    row.numberOfBlocks = file.numberOfBlocks();
    row.blockCount = file.blocks.count();
    row.bytesDone = bytesOf(file);
    row.download = file.download;
    row.paused = file.paused;
    row.unavailable = file.unavailable;
    row.error = file.error;
    row.user = file.user;
    row.location = file.location();
    row.status = statusOf(file);
    // An offer's send loop ends each time the peer's wants are served and
    // starts again with the next ones: between them, blocks that went out
    // within the rate's window still make it transferring, with its rate.
    const bool offerBetweenWants = !file.download && row.status == FileRow::Status::queued && row.bytesDone > 0;
    if (row.status == FileRow::Status::transferring || offerBetweenWants) {
        row.bytesPerSecond = m_rates.sample(row.id, row.bytesDone, m_clock.now(), m_previousUpdate);
        if (row.bytesPerSecond > 0) {
            row.status = FileRow::Status::transferring;
            m_settling = m_settling || offerBetweenWants;
            row.secondsLeft = std::llround(double(row.length - row.bytesDone) / row.bytesPerSecond);
        } else if (offerBetweenWants && m_rates.measured(row.id)) {
            // Nothing went out for a while: nobody asks for it.
            m_rates.forget(row.id);
        }
    } else {
        m_rates.forget(row.id);
    }
    return row;
}

}  // namespace vortan
