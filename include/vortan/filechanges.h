#pragma once

#include <QList>
#include <QUuid>

#include <utility>

namespace vortan {

// What one publication of the catalogue changed, for an item model.
//
// Rows keep their relative order between publications: records are only
// appended and removed, never moved. Apply `removed` first (positions in the
// previous rows, highest first), then `inserted` (positions in the new rows,
// lowest first), then report `updated` as changed data.
struct FileChanges {
    // (row in the previous publication, id), by descending row.
    QList<std::pair<qsizetype, QUuid>> removed;
    // (row in this publication, id), by ascending row.
    QList<std::pair<qsizetype, QUuid>> inserted;
    // Records present before and now whose shown values changed.
    QList<QUuid> updated;

    bool isEmpty() const { return removed.isEmpty() && inserted.isEmpty() && updated.isEmpty(); }
};

}  // namespace vortan
