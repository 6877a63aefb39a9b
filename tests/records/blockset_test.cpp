#include "vortan/records/blockset.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <random>
#include <set>
#include <stdexcept>

namespace vortan {
namespace {

using Runs = std::vector<BlockSet::Run>;

// The runs a std::set of numbers should have.
Runs runsOf(const std::set<std::int64_t>& numbers)
{
    Runs runs;
    for (auto n : numbers) {
        if (!runs.empty() && runs.back().end() == n)
            ++runs.back().length;
        else
            runs.push_back({n, 1});
    }
    return runs;
}

// Random operations checked against std::set on a small range, so that every
// overlap and adjacency case comes up: runs kept maximal and sorted, runs
// joined, swallowed and split, removals reaching below zero, union and
// difference, and the lowest missing blocks of a download (holes first, never
// past the file's end, none wanted or an empty file: with this seed the
// rounds include n = 0 and total = 0).
TEST(BlockSetTest, MatchesAPlainSet)
{
    std::mt19937 random(12345);
    auto number = [&] { return std::int64_t(random() % 64); };
    for (int round = 0; round < 300; ++round) {
        BlockSet a, b;
        std::set<std::int64_t> ma, mb;
        for (int op = 0; op < 40; ++op) {
            BlockSet& s = op % 2 ? a : b;
            auto& m = op % 2 ? ma : mb;
            std::int64_t first = number();
            std::int64_t length = std::int64_t(random() % 6);
            if (random() % 3 == 0) {
                first -= 4;
                s.remove(first, length);
                for (std::int64_t n = first; n < first + length; ++n)
                    m.erase(n);
            } else {
                s.insert(first, length);
                for (std::int64_t n = first; n < first + length; ++n)
                    m.insert(n);
            }
            ASSERT_EQ(s.runs(), runsOf(m));
            ASSERT_EQ(s.count(), std::int64_t(m.size()));
            ASSERT_EQ(s.first(), m.empty() ? std::nullopt : std::optional<std::int64_t>(*m.begin()));
            ASSERT_EQ(s.last(), m.empty() ? std::nullopt : std::optional<std::int64_t>(*m.rbegin()));
        }
        std::set<std::int64_t> mu = ma, md = ma;
        mu.insert(mb.begin(), mb.end());
        for (auto n : mb)
            md.erase(n);
        ASSERT_EQ(a.united(b).runs(), runsOf(mu));
        ASSERT_EQ(a.united(b).count(), std::int64_t(mu.size()));
        ASSERT_EQ(a.subtracted(b).runs(), runsOf(md));
        ASSERT_EQ(a.subtracted(b).count(), std::int64_t(md.size()));

        std::int64_t total = number();
        std::int64_t n = std::int64_t(random() % 8);
        std::set<std::int64_t> missing;
        for (std::int64_t k = 0; k < total && std::int64_t(missing.size()) < n; ++k) {
            if (!mu.count(k))
                missing.insert(k);
        }
        ASSERT_EQ(BlockSet::lowestMissing(n, total, a, b).runs(), runsOf(missing));
        for (std::int64_t k = 0; k < 64; ++k)
            ASSERT_EQ(a.contains(k), ma.count(k) == 1);
    }
}

TEST(BlockSetTest, RefusesNumbersOutsideItsRange)
{
    BlockSet set;
    EXPECT_THROW(set.insert(-1), std::out_of_range);
    EXPECT_THROW(set.insert(5, -1), std::out_of_range);
    EXPECT_THROW(set.insert(std::numeric_limits<std::int64_t>::max()), std::out_of_range);
    EXPECT_THROW(set.insert(10, std::numeric_limits<std::int64_t>::max() - 5), std::out_of_range);
    EXPECT_THROW(BlockSet::fromRuns({{0, 1}, {-3, 1}}), std::out_of_range);
    EXPECT_TRUE(set.empty());

    // The largest member works and the count does not overflow.
    const std::int64_t max = std::numeric_limits<std::int64_t>::max();
    set.insert(0, max);
    EXPECT_EQ(set.count(), max);
    EXPECT_EQ(set.last(), max - 1);
    EXPECT_TRUE(set.contains(max - 1));
    set.remove(0, max);
    EXPECT_TRUE(set.empty());
}

// Sizes of a 100 GiB file (800,000 blocks) and beyond: these finish at once
// only because nothing walks the blocks one by one.
TEST(BlockSetTest, LargeSets)
{
    const std::int64_t blocks = 800000;
    BlockSet have;
    for (std::int64_t b = 0; b < blocks; ++b)
        have.insert(b);  // a download in order stays one run
    EXPECT_EQ(have.runs().size(), 1u);
    EXPECT_EQ(have.count(), blocks);

    BlockSet even;
    for (std::int64_t b = 0; b < blocks; b += 2)
        even.insert(b);
    EXPECT_EQ(even.runs().size(), std::size_t(blocks / 2));
    EXPECT_EQ(have.subtracted(even).count(), blocks / 2);
    EXPECT_EQ(even.united(have.subtracted(even)), have);
    // The odd numbers, inserted from the top down, fill every gap.
    for (std::int64_t b = blocks - 1; b > 0; b -= 2)
        even.insert(b);
    EXPECT_EQ(even, have);

    const std::int64_t huge = std::int64_t(1) << 46;
    BlockSet most = BlockSet::range(0, huge - 10);
    most.remove(huge / 2);
    EXPECT_EQ(BlockSet::lowestMissing(5, huge, most, BlockSet::range(huge - 10, 2)),
              BlockSet::fromRuns({{huge / 2, 1}, {huge - 8, 4}}));
    EXPECT_EQ(most.count(), huge - 11);
}

}  // namespace
}  // namespace vortan
