// Request windows between two controllers over a delayed link: a relay on
// 127.0.0.1 between Bea and Ada that holds each direction for half the round
// trip.

#include "tests/controller/controllertestsupport.h"
#include "tests/support/delayproxy.h"
#include "vortan/peer/messages.h"

#include <QFile>

#include <gtest/gtest.h>

namespace vortan {
namespace {

using namespace std::chrono_literals;
using test::DelayProxy;
using test::LogCapture;
using test::Node;
using test::waitFor;

constexpr std::int64_t kGrown = 16;  // blocks: well above the floor

// Ada offers, Bea downloads; Bea reaches Ada only through the proxy.
struct DelayedPair : test::Pair {
    DelayedPair() : proxy(*a->me()->port, DelayProxy::linkOf(40e6, 40ms), 60s)
    {
        User ada = a.card();
        ada.port = proxy.port();
        b->addUsers({ada});  // the same user, at the proxy
    }

    // Offers a file of this size to Bea and resumes its download.
    QUuid download(qint64 size, int seed = 1)
    {
        const QUuid id = a.share(QStringLiteral("%1.bin").arg(seed), size, {b.key()}, seed);
        EXPECT_TRUE(waitFor([&] { return b.file(id) != nullptr; }));
        b->resume({{id, std::nullopt}});
        return id;
    }
    std::int64_t window(const QUuid& id)
    {
        const auto w = b->requestWindow(id);
        return w ? w->size() : 0;
    }
    bool grown(const QUuid& id)
    {
        return waitFor([&] { return window(id) >= kGrown; }, 5000);
    }
    QByteArray received(int seed) { return test::readFile(b.downloadsPath(QStringLiteral("%1.bin").arg(seed))); }

    DelayProxy proxy;
};

TEST(RequestWindowLinkTest, GrowsUnderDelayAndFallsToTheFloorWhenTheLinkStalls)
{
    LogCapture log;
    DelayedPair pair;
    ASSERT_TRUE(pair.connect());
    const qint64 size = 12 << 20;
    const QUuid id = pair.download(size);
    ASSERT_TRUE(pair.grown(id));
    // One want asked for several blocks: more than one per block received.
    const QStringList wants = log.startingWith("send want: ");
    EXPECT_TRUE(std::any_of(wants.begin() + 1, wants.end(), [](const QString& w) { return w.contains(".."); }));

    pair.proxy.setPaused(true);
    ASSERT_TRUE(waitFor([&] { return pair.window(id) == ControllerPrivate::kOutstandingRequests; }, 3000));
    EXPECT_EQ(log.startingWith(QStringLiteral("Request window of %1 stalled").arg(idText(id))).size(), 1);
    pair.proxy.setPaused(false);

    ASSERT_TRUE(pair.b.finishedCount(1, 20000));
    EXPECT_EQ(pair.received(1), test::generatedBytes(size, 1));
    EXPECT_FALSE(pair.b->requestWindow(id));
    EXPECT_EQ(log.startingWith(QStringLiteral("Request window of %1 at the end").arg(idText(id))).size(), 1);
}

TEST(RequestWindowLinkTest, RemovingWithBlocksOnTheWayLeavesNoPartialFile)
{
    LogCapture log;
    DelayedPair pair;
    ASSERT_TRUE(pair.connect());
    // Large enough that the grown window is still full when it is caught
    // (a window that jumps to the link's product asks for a small file's
    // last blocks at once).
    const QUuid id = pair.download(64 << 20);
    ASSERT_TRUE(waitFor(
        [&] {
            const File* file = pair.b.file(id);
            return file && file->wantBlocks.count() > ControllerPrivate::kOutstandingRequests;
        },
        10000));
    const File removed = *pair.b.file(id);
    const std::int64_t onTheWay = removed.wantBlocks.count();
    pair.b->removeFiles({id}, pair.a.key());
    EXPECT_FALSE(QFile::exists(removed.partialPath()));

    // Every block on its way arrives and is dropped.
    ASSERT_TRUE(waitFor([&] { return log.startingWith("no matching file").size() >= onTheWay; }, 5000));
    EXPECT_FALSE(QFile::exists(removed.partialPath()));
    EXPECT_FALSE(QFile::exists(removed.location()->toLocalFile()));
    EXPECT_FALSE(pair.b.file(id));
}

TEST(RequestWindowLinkTest, DownloadsFromOneUserShareTheConnectionsLimit)
{
    DelayedPair pair;
    pair.b.maxConnectionWindow = 24;
    pair.b.restart();
    ASSERT_TRUE(pair.connect());
    const qint64 size = 8 << 20;
    const QUuid first = pair.download(size, 1);
    const QUuid second = pair.download(size, 2);
    std::int64_t largestTogether = 0;
    ASSERT_TRUE(waitFor(
        [&] {
            const auto one = pair.b->requestWindow(first), two = pair.b->requestWindow(second);
            if (one && two)
                largestTogether = std::max({largestTogether, one->size(), two->size()});
            return !pair.b.reports.finished.isEmpty();
        },
        20000));
    EXPECT_GT(largestTogether, 5);
    EXPECT_LE(largestTogether, 12);
    // The sender serves both in turn: the other one is far along too.
    const QUuid other = pair.b.reports.finished.first().id == first ? second : first;
    EXPECT_GE(pair.b.file(other)->fractionDownloaded(), 0.5);
    ASSERT_TRUE(pair.b.finishedCount(2, 20000));
    EXPECT_EQ(pair.received(2), test::generatedBytes(size, 2));
}

}  // namespace
}  // namespace vortan
