#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace vortan {

// An ordered set of block numbers kept as sorted, maximal, non-overlapping
// runs of consecutive numbers. Every operation costs time in the number of
// runs, never in the number of blocks: a 100 GiB file has 800,000 blocks but
// a download in progress is a handful of runs.
//
// Members are the numbers 0 ... INT64_MAX - 1; inserting anything else throws
// std::out_of_range (so a run's end and the count never overflow).
class BlockSet {
public:
    // A run of consecutive numbers: first, first + 1, ..., first + length - 1.
    struct Run {
        std::int64_t first = 0;
        std::int64_t length = 0;
        std::int64_t end() const { return first + length; }  // one past the last
        friend bool operator==(const Run&, const Run&) = default;
    };

    BlockSet() = default;
    // The numbers first ... first + length - 1 (empty when length is 0).
    static BlockSet range(std::int64_t first, std::int64_t length);
    // The union of runs given in any order, overlapping or not; O(r log r).
    // Throws std::out_of_range for a run outside the members' range.
    static BlockSet fromRuns(std::vector<Run> runs);

    void insert(std::int64_t number);
    void insert(std::int64_t first, std::int64_t length);
    void remove(std::int64_t number);
    void remove(std::int64_t first, std::int64_t length);

    BlockSet united(const BlockSet& other) const;
    BlockSet subtracted(const BlockSet& other) const;
    void unite(const BlockSet& other) { *this = united(other); }
    void subtract(const BlockSet& other) { *this = subtracted(other); }

    bool empty() const { return m_runs.empty(); }
    std::int64_t count() const { return m_count; }
    std::optional<std::int64_t> first() const;
    std::optional<std::int64_t> last() const;
    bool contains(std::int64_t number) const;
    // Whether every member lies in 0 ... limit - 1.
    bool allBelow(std::int64_t limit) const { return m_runs.empty() || m_runs.back().end() <= limit; }

    // The maximal runs in ascending order.
    const std::vector<Run>& runs() const { return m_runs; }

    // The n lowest numbers of 0 ... total - 1 that are in neither a nor b.
    static BlockSet lowestMissing(std::int64_t n, std::int64_t total, const BlockSet& a, const BlockSet& b);

    // "[]", "[7]", "[0..2, 7]": for log lines.
    QString toString() const;

    friend bool operator==(const BlockSet& x, const BlockSet& y) { return x.m_runs == y.m_runs; }

private:
    static void check(std::int64_t first, std::int64_t length);

    std::vector<Run> m_runs;
    std::int64_t m_count = 0;
};

}  // namespace vortan
