#include "vortan/records/blockset.h"

#include <QStringList>

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace vortan {

namespace {

constexpr std::int64_t kEndLimit = std::numeric_limits<std::int64_t>::max();

// Appends [first, end) to sorted runs, merging with the last run when they
// overlap or touch. first must not be below the last run's first.
void appendMerging(std::vector<BlockSet::Run>& runs, std::int64_t first, std::int64_t end)
{
    if (!runs.empty() && first <= runs.back().end()) {
        if (end > runs.back().end())
            runs.back().length = end - runs.back().first;
        return;
    }
    runs.push_back({first, end - first});
}

std::int64_t total(const std::vector<BlockSet::Run>& runs)
{
    std::int64_t sum = 0;
    for (const auto& run : runs)
        sum += run.length;
    return sum;
}

}  // namespace

void BlockSet::check(std::int64_t first, std::int64_t length)
{
    if (first < 0 || length < 0 || length > kEndLimit - first)
        throw std::out_of_range("block numbers must lie in 0 ... INT64_MAX - 1");
}

BlockSet BlockSet::range(std::int64_t first, std::int64_t length)
{
    BlockSet set;
    set.insert(first, length);
    return set;
}

BlockSet BlockSet::fromRuns(std::vector<Run> runs)
{
    for (const auto& run : runs)
        check(run.first, run.length);
    std::sort(runs.begin(), runs.end(), [](const Run& x, const Run& y) { return x.first < y.first; });
    BlockSet set;
    set.m_runs.reserve(runs.size());
    for (const auto& run : runs) {
        if (run.length > 0)
            appendMerging(set.m_runs, run.first, run.end());
    }
    set.m_runs.shrink_to_fit();
    set.m_count = total(set.m_runs);
    return set;
}

void BlockSet::insert(std::int64_t number)
{
    insert(number, 1);
}

void BlockSet::insert(std::int64_t first, std::int64_t length)
{
    check(first, length);
    if (length == 0)
        return;
    std::int64_t end = first + length;
    // [i, j) are the runs that overlap or touch [first, end).
    auto i = std::lower_bound(m_runs.begin(), m_runs.end(), first,
                              [](const Run& run, std::int64_t value) { return run.end() < value; });
    auto j = std::upper_bound(i, m_runs.end(), end, [](std::int64_t value, const Run& run) { return value < run.first; });
    if (i == j) {
        m_runs.insert(i, Run{first, length});
        m_count += length;
        return;
    }
    std::int64_t newFirst = std::min(first, i->first);
    std::int64_t newEnd = std::max(end, (j - 1)->end());
    for (auto k = i; k != j; ++k)
        m_count -= k->length;
    *i = Run{newFirst, newEnd - newFirst};
    m_count += i->length;
    m_runs.erase(i + 1, j);
}

void BlockSet::remove(std::int64_t number)
{
    remove(number, 1);
}

void BlockSet::remove(std::int64_t first, std::int64_t length)
{
    if (length <= 0)
        return;
    // Only members can be removed: clamp to 0 ... INT64_MAX - 1.
    std::int64_t end = length > kEndLimit - std::max<std::int64_t>(first, 0) ? kEndLimit : first + length;
    first = std::max<std::int64_t>(first, 0);
    if (end <= first)
        return;
    // [i, j) are the runs that overlap [first, end).
    auto i = std::upper_bound(m_runs.begin(), m_runs.end(), first,
                              [](std::int64_t value, const Run& run) { return value < run.end(); });
    auto j = std::lower_bound(i, m_runs.end(), end, [](const Run& run, std::int64_t value) { return run.first < value; });
    if (i == j)
        return;
    std::vector<Run> pieces;
    if (i->first < first)
        pieces.push_back({i->first, first - i->first});
    if ((j - 1)->end() > end)
        pieces.push_back({end, (j - 1)->end() - end});
    for (auto k = i; k != j; ++k)
        m_count -= k->length;
    for (const auto& piece : pieces)
        m_count += piece.length;
    auto at = m_runs.erase(i, j);
    m_runs.insert(at, pieces.begin(), pieces.end());
}

BlockSet BlockSet::united(const BlockSet& other) const
{
    BlockSet out;
    out.m_runs.reserve(m_runs.size() + other.m_runs.size());
    auto a = m_runs.begin();
    auto b = other.m_runs.begin();
    while (a != m_runs.end() || b != other.m_runs.end()) {
        const Run* next;
        if (b == other.m_runs.end() || (a != m_runs.end() && a->first <= b->first))
            next = &*a++;
        else
            next = &*b++;
        appendMerging(out.m_runs, next->first, next->end());
    }
    out.m_count = total(out.m_runs);
    return out;
}

BlockSet BlockSet::subtracted(const BlockSet& other) const
{
    BlockSet out;
    auto b = other.m_runs.begin();
    for (const auto& run : m_runs) {
        std::int64_t cursor = run.first;
        // Runs of other that end at or before cursor cannot cut this run or any later one.
        while (b != other.m_runs.end() && b->end() <= cursor)
            ++b;
        auto cut = b;
        while (cut != other.m_runs.end() && cut->first < run.end()) {
            if (cut->first > cursor)
                out.m_runs.push_back({cursor, cut->first - cursor});
            cursor = std::max(cursor, cut->end());
            if (cut->end() > run.end())
                break;  // it may cut the next run too: keep b on it
            ++cut;
        }
        b = cut;
        if (cursor < run.end())
            out.m_runs.push_back({cursor, run.end() - cursor});
    }
    out.m_count = total(out.m_runs);
    return out;
}

std::optional<std::int64_t> BlockSet::first() const
{
    if (m_runs.empty())
        return std::nullopt;
    return m_runs.front().first;
}

std::optional<std::int64_t> BlockSet::last() const
{
    if (m_runs.empty())
        return std::nullopt;
    return m_runs.back().end() - 1;
}

bool BlockSet::contains(std::int64_t number) const
{
    auto it = std::upper_bound(m_runs.begin(), m_runs.end(), number,
                               [](std::int64_t value, const Run& run) { return value < run.first; });
    if (it == m_runs.begin())
        return false;
    --it;
    return number < it->end();
}

BlockSet BlockSet::lowestMissing(std::int64_t n, std::int64_t total, const BlockSet& a, const BlockSet& b)
{
    BlockSet out;
    std::int64_t cursor = 0;
    auto ia = a.m_runs.begin();
    auto ib = b.m_runs.begin();
    while (n > 0 && cursor < total) {
        const Run* next = nullptr;
        if (ia != a.m_runs.end() && (ib == b.m_runs.end() || ia->first <= ib->first))
            next = &*ia++;
        else if (ib != b.m_runs.end())
            next = &*ib++;
        std::int64_t gapEnd = next ? std::min(next->first, total) : total;
        if (gapEnd > cursor) {
            std::int64_t take = std::min(n, gapEnd - cursor);
            out.m_runs.push_back({cursor, take});
            out.m_count += take;
            n -= take;
        }
        if (!next)
            break;
        cursor = std::max(cursor, next->end());
    }
    return out;
}

QString BlockSet::toString() const
{
    QStringList parts;
    parts.reserve(qsizetype(m_runs.size()));
    for (const auto& run : m_runs) {
        if (run.length == 1)
            parts.append(QString::number(run.first));
        else
            parts.append(QStringLiteral("%1..%2").arg(run.first).arg(run.end() - 1));
    }
    return QLatin1Char('[') + parts.join(QStringLiteral(", ")) + QLatin1Char(']');
}

}  // namespace vortan
