#pragma once

#include "vortan/filerow.h"
#include "vortan/file2.h"

#include <QUrl>

namespace vortan::test {

// Sets how many blocks a row has, with the bytes and the status that follow.
inline void setBlocks(FileRow& row, std::int64_t count)
{
    row.blockCount = count;
    row.bytesDone = std::min(row.length, count * blockSize);
    if (count == row.numberOfBlocks)
        row.status = FileRow::Status::done;
    else if (row.paused)
        row.status = FileRow::Status::paused;
    else
        row.status = count > 0 || row.download ? FileRow::Status::transferring : FileRow::Status::queued;
}

// A resumed download (location set) or an offer of `blocks` full blocks.
inline FileRow makeRow(const QString& name, std::int64_t blocks, const QByteArray& user, bool download,
                       const QString& path, std::int64_t done = 0)
{
    FileRow row;
    row.id = QUuid::createUuid();
    row.name = name;
    row.length = blocks * blockSize;
    row.numberOfBlocks = blocks;
    row.download = download;
    row.user = user;
    row.location = QUrl::fromLocalFile(path);
    setBlocks(row, done);
    return row;
}

}  // namespace vortan::test
