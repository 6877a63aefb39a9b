#include "vortan/controller/controller_p.h"
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
    if (ControllerPrivate::isComplete(file))
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

FileRow ControllerPrivate::rowOf(const File& file)
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
    if (row.status == FileRow::Status::transferring) {
        row.bytesPerSecond = m_rates.sample(row.id, row.bytesDone, m_clock.now());
        if (row.bytesPerSecond > 0)
            row.secondsLeft = std::llround(double(row.length - row.bytesDone) / row.bytesPerSecond);
    } else {
        m_rates.forget(row.id);
    }
    return row;
}

}  // namespace vortan
