#pragma once

#include "vortan/records/file.h"

#include <QList>
#include <QSet>
#include <QUuid>

#include <cstddef>
#include <iterator>
#include <utility>
#include <vector>

namespace vortan {

// The controller's working catalogue: the records in their stable order, and
// what happened to them since the last publication. Reading is free; every
// write goes through edit(), append(), removeIf() or clear(), so a
// publication rebuilds only the rows of records that may have changed and
// keeps its id index while no record came or went.
//
// The records are held in chunks of kChunk, each shared on copy: a snapshot
// (for the writer thread) costs a pointer per chunk, and a change made while
// a snapshot is held copies the one chunk it touches, not every record.
class RecordList {
public:
    static constexpr qsizetype kChunkBits = 10;
    static constexpr qsizetype kChunk = qsizetype(1) << kChunkBits;
    using Chunks = QList<QList<File>>;

    class const_iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = File;
        using difference_type = std::ptrdiff_t;
        using pointer = const File*;
        using reference = const File&;

        const_iterator() = default;
        const_iterator(const Chunks* chunks, qsizetype index) : m_chunks(chunks), m_index(index) {}
        reference operator*() const { return (*m_chunks)[m_index >> kChunkBits][m_index & (kChunk - 1)]; }
        pointer operator->() const { return &**this; }
        const_iterator& operator++()
        {
            ++m_index;
            return *this;
        }
        const_iterator operator++(int)
        {
            const_iterator before = *this;
            ++m_index;
            return before;
        }
        friend bool operator==(const const_iterator& a, const const_iterator& b) { return a.m_index == b.m_index; }

    private:
        const Chunks* m_chunks = nullptr;
        qsizetype m_index = 0;
    };

    // Every record, as they are now; shares the chunks.
    const Chunks& chunks() const { return m_chunks; }
    qsizetype size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }
    const File& operator[](qsizetype index) const { return m_chunks[index >> kChunkBits][index & (kChunk - 1)]; }
    const_iterator begin() const { return const_iterator(&m_chunks, 0); }
    const_iterator end() const { return const_iterator(&m_chunks, m_size); }

    // The record at index, to change: its row is rebuilt at the next publication.
    File& edit(qsizetype index)
    {
        File& record = m_chunks[index >> kChunkBits][index & (kChunk - 1)];
        m_edited.insert(record.id());
        return record;
    }
    void append(const QList<File>& records)
    {
        for (const File& record : records)
            push(File(record));
        m_membershipChanged = true;
    }
    void append(File&& record)
    {
        push(std::move(record));
        m_membershipChanged = true;
    }
    // A record removed counts as edited too: one added again under its id
    // before the next publication gets a new row. The predicate sees each
    // record once, in order.
    template <typename Predicate> qsizetype removeIf(Predicate predicate)
    {
        std::vector<bool> gone(std::size_t(m_size), false);
        qsizetype removed = 0;
        for (qsizetype i = 0; i < m_size; ++i) {
            const File& record = (*this)[i];
            if (predicate(record)) {
                m_edited.insert(record.id());
                gone[std::size_t(i)] = true;
                ++removed;
            }
        }
        if (removed == 0)
            return 0;
        // The records move on into full chunks; those of a chunk that a
        // snapshot still holds are copied.
        Chunks before = std::exchange(m_chunks, Chunks());
        m_size = 0;
        std::size_t i = 0;
        for (QList<File>& chunk : before) {
            const bool own = chunk.isDetached();
            for (qsizetype k = 0; k < chunk.size(); ++k, ++i) {
                if (!gone[i])
                    push(own ? std::move(chunk.data()[k]) : File(chunk.at(k)));
            }
        }
        m_membershipChanged = m_removed = true;
        return removed;
    }
    void clear()
    {
        for (const File& record : *this)
            m_edited.insert(record.id());
        m_chunks.clear();
        m_size = 0;
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
    void push(File&& record)
    {
        if (m_size % kChunk == 0) {
            // The first chunk grows as records come; a catalogue that
            // fills one takes whole chunks from then on.
            m_chunks.append(QList<File>());
            if (m_size > 0)
                m_chunks.last().reserve(kChunk);
        }
        m_chunks.last().append(std::move(record));
        ++m_size;
    }

    Chunks m_chunks;
    qsizetype m_size = 0;
    QSet<QUuid> m_edited;
    bool m_membershipChanged = true;
    bool m_removed = true;
};

}  // namespace vortan
