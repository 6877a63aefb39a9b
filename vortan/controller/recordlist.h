#pragma once

#include "vortan/records/file.h"

#include <QList>
#include <QSet>
#include <QUuid>

#include <utility>

namespace vortan {

// The controller's working catalogue: the records in their stable order, and
// what happened to them since the last publication. Reading is free; every
// write goes through edit(), append(), removeIf() or clear(), so a
// publication rebuilds only the rows of records that may have changed and
// keeps its id index while no record came or went.
class RecordList {
public:
    const QList<File>& list() const { return m_records; }
    qsizetype size() const { return m_records.size(); }
    bool isEmpty() const { return m_records.isEmpty(); }
    const File& operator[](qsizetype index) const { return m_records[index]; }
    QList<File>::const_iterator begin() const { return m_records.cbegin(); }
    QList<File>::const_iterator end() const { return m_records.cend(); }

    // The record at index, to change: its row is rebuilt at the next publication.
    File& edit(qsizetype index)
    {
        File& record = m_records[index];
        m_edited.insert(record.id());
        return record;
    }
    void append(const QList<File>& records)
    {
        m_records.append(records);
        m_membershipChanged = true;
    }
    void append(File&& record)
    {
        m_records.append(std::move(record));
        m_membershipChanged = true;
    }
    // A record removed counts as edited too: one added again under its id
    // before the next publication gets a new row.
    template <typename Predicate> qsizetype removeIf(Predicate predicate)
    {
        const qsizetype removed = m_records.removeIf([&](const File& record) {
            if (!predicate(record))
                return false;
            m_edited.insert(record.id());
            return true;
        });
        if (removed > 0)
            m_membershipChanged = m_removed = true;
        return removed;
    }
    void clear()
    {
        for (const File& record : std::as_const(m_records))
            m_edited.insert(record.id());
        m_records.clear();
        m_membershipChanged = m_removed = true;
    }

    // Ids of the records edited or removed since the last takeChanges().
    const QSet<QUuid>& edited() const { return m_edited; }
    // Whether records were added or removed since the last takeChanges().
    bool membershipChanged() const { return m_membershipChanged; }
    // Whether records were removed (or the list started over) since then;
    // when not, the records of the last publication are still the first
    // ones, in their order, and any others were appended after them.
    bool removed() const { return m_removed; }
    // Starts over after a publication.
    void takeChanges()
    {
        m_edited.clear();
        m_membershipChanged = m_removed = false;
    }

private:
    QList<File> m_records;
    QSet<QUuid> m_edited;
    bool m_membershipChanged = true;
    bool m_removed = true;
};

}  // namespace vortan
