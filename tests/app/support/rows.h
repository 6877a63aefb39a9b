#pragma once

// File rows as the controller publishes them, for the tests of what the
// program makes of them.

#include "vortan/filerow.h"

namespace brenvo::test {

// A row of user's: length bytes in four blocks (none when empty), done of
// them sent or received at rate bytes a second.
inline vortan::FileRow fileRow(bool download, vortan::FileRow::Status status, std::int64_t length = 100,
                               std::int64_t done = 0, double rate = 0, const QByteArray& user = "bob")
{
    vortan::FileRow row;
    row.id = QUuid::createUuid();
    row.user = user;
    row.download = download;
    row.status = status;
    row.paused = status == vortan::FileRow::Status::paused;
    row.length = length;
    row.numberOfBlocks = length > 0 ? 4 : 0;
    row.blockCount = length > 0 ? 4 * done / length : 0;
    row.bytesDone = done;
    row.bytesPerSecond = rate;
    return row;
}

}  // namespace brenvo::test
