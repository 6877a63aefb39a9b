#pragma once

#include "vortan/clock.h"
#include "vortan/controller/ratemeter.h"
#include "vortan/controller/recordlist.h"
#include "vortan/filechanges.h"
#include "vortan/filerow.h"
#include "vortan/records/file.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QUuid>

#include <chrono>
#include <memory>
#include <optional>

namespace vortan {

// Whether a record needs no more transfer: every block is there (or sent).
// An empty download is complete once it has been resumed and its empty file
// made.
bool isComplete(const File& file);

// The working records, one per file and other user, found by id through an
// index; and their published rows, rebuilt from the changed records at most
// every kPublicationInterval, with the rows inserted, removed and updated.
class FileTable : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kPublicationInterval{100};

    explicit FileTable(Clock& clock);
    ~FileTable() override;

    // ---- The records
    // Every record as it is now, to hand to another thread (see RecordList).
    const RecordList::Chunks& chunks() const { return m_files.chunks(); }
    qsizetype size() const { return m_files.size(); }
    const File& operator[](qsizetype index) const { return m_files[index]; }
    RecordList::const_iterator begin() const { return m_files.begin(); }
    RecordList::const_iterator end() const { return m_files.end(); }
    // The record at index, to change: its row is rebuilt at the next publication.
    File& edit(qsizetype index) { return m_files.edit(index); }
    // By id (the first record of an id): its position, or -1.
    qsizetype indexOf(const QUuid& id) const;
    const File* find(const QUuid& id) const;
    File* edit(const QUuid& id);
    void append(const QList<File>& records);
    void append(File&& record);
    template <typename Predicate> qsizetype removeIf(Predicate predicate)
    {
        const qsizetype removed = m_files.removeIf(predicate);
        m_indexValid = false;
        return removed;
    }
    void clear();

    // ---- Publication
    // Publishes now, or schedules it for the end of the interval.
    void update();
    // Publishes at once, cancelling a scheduled publication.
    void publishNow();
    const QList<FileRow>& rows() const { return m_rows; }
    qsizetype row(const QUuid& id) const { return m_rowIndex.value(id, -1); }
    // The value a front end sees of a record now (samples its rate).
    FileRow rowOf(const File& file);

signals:
    // rows() has just been replaced.
    void published(const vortan::FileChanges& changes);

private:
    // Adds the records from `first` on to a valid index.
    void indexAppended(qsizetype first);
    void publish();
    // The rows of every record, reusing the published row of each record
    // that was not edited and is not transferring (whose rate moves).
    void republishAll(FileChanges& changes);
    // The rows of the edited and the transferring records, in place; false
    // (nothing done) when the rows do not line up with the records.
    bool republishChanged(FileChanges& changes);

    Clock& m_clock;
    RecordList m_files;
    mutable QHash<QUuid, qsizetype> m_index;  // id -> position in m_files
    mutable bool m_indexValid = false;
    // The published rows, one per record in the same order, and their index.
    QList<FileRow> m_rows;
    QHash<QUuid, qsizetype> m_rowIndex;
    // The published rows with a rate, ascending: rebuilt at every
    // publication, for it. A row without one changes only with its record
    // (thousands of files wait for their first block).
    QList<qsizetype> m_ratedRows;
    RateMeter m_rates;
    std::unique_ptr<Timer> m_publishTimer;
    // Publishes again once the rate of an offer between wants has run out.
    std::unique_ptr<Timer> m_settleTimer;
    bool m_settling = false;  // a row of this publication is such an offer
    bool m_armed = false;
    std::optional<Clock::TimePoint> m_lastUpdate;  // absent: the distant past
    // The publication before the running one: a transferring row it did not
    // rebuild stood still then.
    std::optional<Clock::TimePoint> m_previousUpdate;
};

}  // namespace vortan
