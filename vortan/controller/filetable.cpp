#include "vortan/controller/filetable.h"

#include <algorithm>
#include <iterator>

namespace vortan {

bool isComplete(const File& file)
{
    if (!file.download)
        return file.transferred();
    // A download is complete once its file is in place: every block is in
    // and no final move failed (an empty one: resumed and its file made).
    if (file.numberOfBlocks() == 0)
        return file.location().has_value() && !file.paused && !file.error;
    return file.transferred() && !file.error;
}

FileTable::FileTable(Clock& clock) : m_clock(clock)
{
    m_publishTimer = m_clock.createTimer([this] {
        // Publishes unconditionally; it does not go through update().
        m_armed = false;
        publish();
    });
    m_settleTimer = m_clock.createTimer([this] { update(); });
}

FileTable::~FileTable() = default;

void FileTable::append(const QList<File>& records)
{
    const qsizetype first = m_files.size();
    m_files.append(records);
    indexAppended(first);
}

void FileTable::append(File&& record)
{
    const qsizetype first = m_files.size();
    m_files.append(std::move(record));
    indexAppended(first);
}

void FileTable::indexAppended(qsizetype first)
{
    // A long list arrives in slices: each adds its own ids to the index
    // instead of having the whole index rebuilt.
    if (!m_indexValid)
        return;
    for (qsizetype i = first; i < m_files.size(); ++i) {
        if (!m_index.contains(m_files[i].id()))  // the first record of an id wins
            m_index.insert(m_files[i].id(), i);
    }
}

void FileTable::clear()
{
    m_files.clear();
    m_indexValid = false;
}

qsizetype FileTable::indexOf(const QUuid& id) const
{
    if (!m_indexValid || m_index.size() > m_files.size()) {
        m_index.clear();
        m_index.reserve(m_files.size());
        for (qsizetype i = 0; i < m_files.size(); ++i) {
            if (!m_index.contains(m_files[i].id()))  // the first record of an id wins
                m_index.insert(m_files[i].id(), i);
        }
        m_indexValid = true;
    }
    const auto found = m_index.constFind(id);
    if (found == m_index.cend())
        return -1;
    Q_ASSERT(*found < m_files.size() && m_files[*found].id() == id);
    return *found;
}

File* FileTable::edit(const QUuid& id)
{
    const qsizetype index = indexOf(id);
    return index < 0 ? nullptr : &m_files.edit(index);
}

const File* FileTable::find(const QUuid& id) const
{
    const qsizetype index = indexOf(id);
    return index < 0 ? nullptr : &m_files[index];
}

// ---- Publication

void FileTable::update()
{
    if (m_armed)
        return;
    const Clock::TimePoint now = m_clock.now();
    if (!m_lastUpdate || now - *m_lastUpdate >= kPublicationInterval) {
        publish();
        return;
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(kPublicationInterval - (now - *m_lastUpdate));
    m_publishTimer->startOnce(wait);
    m_armed = true;
}

void FileTable::publishNow()
{
    m_publishTimer->stop();
    m_armed = false;
    publish();
}

void FileTable::publish()
{
    m_previousUpdate = m_lastUpdate;
    m_lastUpdate = m_clock.now();
    FileChanges changes;
    m_settling = false;
    if (m_files.removed() || !republishChanged(changes))
        republishAll(changes);
    // An offer shown transferring between its peer's wants changes no
    // record once the peer stops asking: published again when its rate
    // has run out, it reads as waiting.
    if (m_settling)
        m_settleTimer->startOnce(RateMeter::kWindow + kPublicationInterval);
    else
        m_settleTimer->stop();
    m_files.takeChanges();
    emit published(changes);
}

void FileTable::republishAll(FileChanges& changes)
{
    // The new rows, and what changed since the last ones. Records keep their
    // relative order, so one walk over both lists pairs them up. A record's
    // row is a function of the record (and, while transferring, of its
    // rate), so an untouched record keeps its row. Ids are unique; should
    // they not be, every row is built afresh.
    const bool reusable = m_rowIndex.size() == m_rows.size();
    const auto build = [&](bool reuse, QList<FileRow>& rows, QHash<QUuid, qsizetype>& index, QList<bool>& fresh) {
        rows.clear();
        index.clear();
        fresh.clear();
        rows.reserve(m_files.size());
        index.reserve(m_files.size());
        fresh.reserve(m_files.size());
        for (const File& file : m_files) {
            index.insert(file.id(), rows.size());
            const qsizetype old = reuse ? m_rowIndex.value(file.id(), -1) : -1;
            if (old >= 0 && (m_rows[old].status != FileRow::Status::transferring || m_rows[old].bytesPerSecond <= 0)
                && !m_files.edited().contains(file.id())) {
                rows.append(m_rows[old]);
                fresh.append(false);
            } else {
                rows.append(rowOf(file));
                fresh.append(true);
            }
        }
    };
    QList<FileRow> rows;
    QHash<QUuid, qsizetype> index;
    QList<bool> fresh;
    build(reusable, rows, index, fresh);
    if (reusable && index.size() != rows.size())
        build(false, rows, index, fresh);

    for (qsizetype old = m_rows.size() - 1; old >= 0; --old) {
        if (!index.contains(m_rows[old].id)) {
            changes.removed.append({old, m_rows[old].id});
            m_rates.forget(m_rows[old].id);
        }
    }
    m_ratedRows.clear();
    for (qsizetype row = 0; row < rows.size(); ++row) {
        if (rows[row].bytesPerSecond > 0)
            m_ratedRows.append(row);
        if (!fresh[row])
            continue;
        const qsizetype old = m_rowIndex.value(rows[row].id, -1);
        if (old < 0)
            changes.inserted.append({row, rows[row].id});
        else if (!(m_rows[old] == rows[row]))
            changes.updated.append(rows[row].id);
    }
    m_rows = std::move(rows);
    m_rowIndex = std::move(index);
}

bool FileTable::republishChanged(FileChanges& changes)
{
    // No record went: the rows line up one to one with the first records,
    // and the records after them were appended (a long list merged in
    // slices costs each publication its slice, not every row again).
    const qsizetype kept = m_rows.size();
    if (kept > m_files.size() || m_rowIndex.size() != kept)
        return false;
    QSet<QUuid> appended;
    appended.reserve(m_files.size() - kept);
    for (qsizetype row = kept; row < m_files.size(); ++row) {
        const QUuid& id = m_files[row].id();
        if (m_rowIndex.contains(id) || appended.contains(id))
            return false;  // not unique: every row is built afresh
        appended.insert(id);
    }
    // The rows to build again: the ones with a rate (it moves), and the
    // edited ones; in row order, each once. A row without a rate changes
    // only with its record, so none of the others is looked at.
    QList<qsizetype> stale = m_ratedRows;
    const qsizetype rated = stale.size();
    for (const QUuid& id : m_files.edited()) {
        const qsizetype row = m_rowIndex.value(id, -1);
        if (row < 0 && appended.contains(id))
            continue;  // its row is made below
        if (row < 0 || m_files[row].id() != id)
            return false;
        stale.append(row);
    }
    std::sort(stale.begin() + rated, stale.end());  // the rated ones are in order already
    std::inplace_merge(stale.begin(), stale.begin() + rated, stale.end());
    stale.erase(std::unique(stale.begin(), stale.end()), stale.end());

    QList<qsizetype> ratedNow;
    for (const qsizetype row : std::as_const(stale)) {
        FileRow fresh = rowOf(m_files[row]);
        if (fresh.bytesPerSecond > 0)
            ratedNow.append(row);
        if (!(fresh == std::as_const(m_rows)[row])) {
            changes.updated.append(fresh.id);
            m_rows[row] = std::move(fresh);
        }
    }
    // No reserve() of the exact size: growing the list to it copies every
    // row each time, while append() grows it geometrically.
    for (qsizetype row = kept; row < m_files.size(); ++row) {
        FileRow fresh = rowOf(m_files[row]);
        if (fresh.bytesPerSecond > 0)
            ratedNow.append(row);
        m_rowIndex.insert(fresh.id, row);
        changes.inserted.append({row, fresh.id});
        m_rows.append(std::move(fresh));
    }
    m_ratedRows = std::move(ratedNow);
    return true;
}

}  // namespace vortan
