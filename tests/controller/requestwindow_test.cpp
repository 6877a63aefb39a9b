// The request window against a simulated link: wants take half the round trip
// to the sender, which sends the blocks one after the other at the link's
// rate, and they take the other half back.

#include "vortan/controller/requestwindow.h"
#include "vortan/file2.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>

namespace vortan {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class Link {
public:
    Link(RequestWindow& window, Clock::duration roundTrip, double bytesPerSecond)
        : m_window(window), m_roundTrip(roundTrip), m_blockTime(std::chrono::duration_cast<Clock::duration>(
                                                        std::chrono::duration<double>(double(blockSize) / bytesPerSecond)))
    {
        topUp();
    }

    // Delivers every block due within `span`, asking for more as the window
    // says. Returns the bytes delivered.
    std::int64_t run(Clock::duration span)
    {
        const Clock::time_point end = m_now + span;
        std::int64_t bytes = 0;
        while (!m_arrivals.empty() && m_arrivals.begin()->first <= end) {
            const auto [at, block] = *m_arrivals.begin();
            m_arrivals.erase(m_arrivals.begin());
            m_now = at;
            m_changes.push_back(m_window.received(block, blockSize, m_now));
            bytes += blockSize;
            topUp();
        }
        m_now = end;
        return bytes;
    }

    // Nothing arrives for `span`; what was on its way comes afterwards.
    void stall(Clock::duration span)
    {
        std::multimap<Clock::time_point, std::int64_t> later;
        for (const auto& [at, block] : m_arrivals)
            later.emplace(at + span, block);
        m_arrivals = std::move(later);
        m_lastDeparture += span;
    }

    Clock::time_point now() const { return m_now; }
    bool saw(RequestWindow::Change change) const { return std::find(m_changes.begin(), m_changes.end(), change) != m_changes.end(); }

private:
    void topUp()
    {
        const std::int64_t n = m_window.size() - m_window.outstanding();
        if (n <= 0)
            return;
        m_window.asked(BlockSet::range(m_next, n), m_now);
        for (std::int64_t i = 0; i < n; ++i) {
            m_lastDeparture = std::max(m_lastDeparture, m_now + m_roundTrip / 2) + m_blockTime;
            m_arrivals.emplace(m_lastDeparture + m_roundTrip / 2, m_next++);
        }
    }

    RequestWindow& m_window;
    Clock::duration m_roundTrip;
    Clock::duration m_blockTime;
    Clock::time_point m_now{24h};
    Clock::time_point m_lastDeparture{24h};
    std::int64_t m_next = 0;
    std::multimap<Clock::time_point, std::int64_t> m_arrivals;
    std::vector<RequestWindow::Change> m_changes;
};

double blocksFor(double bytesPerSecond, Clock::duration roundTrip)
{
    return bytesPerSecond * std::chrono::duration<double>(roundTrip).count() / double(blockSize);
}

TEST(RequestWindowTest, FollowsRateTimesRoundTripWithinItsCap)
{
    struct Case {
        Clock::duration roundTrip;
        double rate;
        std::int64_t cap;
    };
    const Case cases[] = {
        {1ms, 500e6, 256},   // short link: stays near the floor
        {20ms, 100e6, 256},  // 15 blocks per round trip
        {100ms, 100e6, 256},  // 76 blocks per round trip
        {50ms, 1e9, 256},    // 381 blocks per round trip: the cap holds
        {100ms, 100e6, 5},   // pinned to five: today's five per round trip
        {300ms, 125e6, 1024},  // 1 Gbit/s across 300 ms: 286 blocks per round trip
        {1ms, 1.25e9, 1024},   // 10 Gbit/s across a LAN
        {20ms, 1.25e9, 1024},  // 10 Gbit/s across 20 ms: 191 blocks per round trip
    };
    for (const Case& c : cases) {
        const double bdp = blocksFor(c.rate, c.roundTrip);
        SCOPED_TRACE(testing::Message() << "round trip " << std::chrono::duration<double>(c.roundTrip).count() << " s, "
                                        << c.rate / 1e6 << " MB/s, cap " << c.cap);
        RequestWindow window(c.cap);
        EXPECT_EQ(window.size(), std::min<std::int64_t>(5, c.cap));
        Link link(window, c.roundTrip, c.rate);
        // The first round trip's train of five blocks tells the link's rate:
        // the window holds the link's product from the second round trip on.
        link.run(3 * c.roundTrip);
        EXPECT_GE(double(window.size()), std::min(bdp, double(c.cap)));
        link.run(37 * c.roundTrip);
        const double delivered = double(link.run(20 * c.roundTrip));
        const double reached = delivered / std::chrono::duration<double>(20 * c.roundTrip).count();

        EXPECT_LE(window.size(), c.cap);
        EXPECT_LE(window.largest(), c.cap);
        if (bdp + 5 <= double(c.cap)) {
            // Settled on the link: at least its product, at most twice it
            // (a round trip includes the block's own time on the link) plus the floor.
            EXPECT_FALSE(window.growing());
            EXPECT_TRUE(link.saw(RequestWindow::Change::settled));
            EXPECT_GE(double(window.size()), bdp);
            EXPECT_LE(double(window.size()), 2 * (bdp + 1) + 6);
            EXPECT_LE(double(window.largest()), 4 * (bdp + 1) + 6);  // the growing phase overshoots little
            EXPECT_GE(reached, 0.95 * c.rate);
        } else {
            // The cap limits: the rate is what the cap carries per round trip.
            EXPECT_EQ(window.size(), c.cap);
            EXPECT_GE(reached, 0.95 * std::min(c.rate, double(c.cap * blockSize) / std::chrono::duration<double>(c.roundTrip).count()));
        }
        ASSERT_TRUE(window.roundTrip());
        EXPECT_GE(*window.roundTrip(), c.roundTrip);
        EXPECT_LE(*window.roundTrip(), c.roundTrip + 2ms);
    }
}

TEST(RequestWindowTest, AStallSendsItBackToTheFloorOnceAndItGrowsAgain)
{
    RequestWindow window(256);
    Link link(window, 20ms, 100e6);
    link.run(1s);
    const std::int64_t settled = window.size();
    ASSERT_GT(settled, 20);
    ASSERT_TRUE(window.watching());

    link.stall(2s);
    link.run(499ms);
    EXPECT_EQ(window.check(link.now()), RequestWindow::Change::none);
    link.run(1ms);
    EXPECT_EQ(window.check(link.now()), RequestWindow::Change::stalled);
    EXPECT_EQ(window.size(), 5);
    EXPECT_TRUE(window.growing());
    EXPECT_FALSE(window.watching());
    link.run(100ms);
    EXPECT_EQ(window.check(link.now()), RequestWindow::Change::none);  // reported once

    link.run(2s);  // what was on its way arrives, then the window regrows
    EXPECT_GE(window.size(), settled / 2);
    EXPECT_EQ(window.largest(), std::max(window.largest(), settled));
}

TEST(RequestWindowTest, ALowerCapLimitsAtOnceAndTheFloorStays)
{
    RequestWindow window(256);
    Link link(window, 50ms, 200e6);
    link.run(2s);
    ASSERT_GT(window.size(), 64);
    window.setCap(64);  // a second download shares the connection
    EXPECT_EQ(window.size(), 64);
    window.setCap(2);
    EXPECT_EQ(window.size(), 2);
    window.setCap(0);
    EXPECT_EQ(window.size(), 1);
}

TEST(RequestWindowTest, BlocksItNeverAskedForCountOnlyAsDelivered)
{
    RequestWindow window(256);
    const Clock::time_point t{24h};
    EXPECT_EQ(window.received(3, blockSize, t), RequestWindow::Change::none);
    EXPECT_FALSE(window.roundTrip());
    EXPECT_EQ(window.size(), 5);
    EXPECT_EQ(window.check(t + 10s), RequestWindow::Change::none);  // nothing outstanding
}

}  // namespace
}  // namespace vortan
