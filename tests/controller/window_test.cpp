// Request windows between two controllers over a delayed link: a relay on
// 127.0.0.1 between Bea and Ada that holds each direction for half the round
// trip.

#include "tests/controller/controllertestsupport.h"
#include "tests/support/delayproxy.h"
#include "vortan/peer/messages.h"

#include <QFile>

#include <sys/socket.h>

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
    explicit DelayedPair(DelayProxy::Link link = DelayProxy::linkOf(40e6, 40ms)) : proxy(*a->me()->port, link, 60s)
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
        const auto w = b.engine().downloads().windows().find(id);
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
    // Some want after the first asks for several blocks: more than one per
    // block received. (On a loaded machine the window can grow before such a
    // want has gone out: it follows while the download runs.)
    EXPECT_TRUE(waitFor([&] {
        const QStringList wants = log.startingWith("send want: ");
        return std::any_of(wants.begin() + std::min<qsizetype>(1, wants.size()), wants.end(),
                           [](const QString& w) { return w.contains(".."); });
    }, 5000));

    pair.proxy.setPaused(true);
    ASSERT_TRUE(waitFor([&] { return pair.window(id) == RequestWindow::kFloor; }, 3000));
    EXPECT_EQ(log.startingWith(QStringLiteral("Request window of %1 stalled").arg(idText(id))).size(), 1);
    pair.proxy.setPaused(false);

    ASSERT_TRUE(pair.b.finishedCount(1, 20000));
    EXPECT_EQ(pair.received(1), test::generatedBytes(size, 1));
    EXPECT_FALSE(pair.b.engine().downloads().windows().find(id));
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
            return file && file->wantBlocks.count() > RequestWindow::kFloor;
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

TEST(RequestWindowLinkTest, BlocksTheLinkLostWhenItBrokeAreSentAgain)
{
    // A link that holds little: what Ada's kernel holds is not acknowledged.
    DelayProxy::Link link;
    link.maxHeld = 64 << 10;
    link.receiveBuffer = 16 << 10;
    DelayedPair pair(link);
    ASSERT_TRUE(pair.connect());
    const int adaSide = pair.a.engine().peers().peerFor(pair.b.key())->connection()->socketDescriptor();
    const int sendBuffer = 2 << 20;
    ASSERT_EQ(::setsockopt(adaSide, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer), 0);
    // Four downloads at once: at least four windows' worth of requests.
    const std::int64_t blocks = 60;
    QList<QUuid> ids;
    for (int seed = 1; seed <= 4; ++seed)
        ids.append(pair.download(blocks * blockSize, seed));
    const auto count = [&](Node& node) {
        std::int64_t sum = 0;
        for (const QUuid& id : ids)
            sum += node.file(id)->blocks.count();
        return sum;
    };
    ASSERT_TRUE(waitFor([&] { return count(pair.b) >= 8; }, 10000));

    // The link stops; Ada's kernel fills with blocks nobody acknowledges.
    pair.proxy.setPaused(true);
    ASSERT_TRUE(waitFor([&] { return pair.a.engine().sending().unacknowledged() >= 16; }, 5000));
    // Bea reads what the link let through before it breaks.
    for (std::int64_t seen = -1; count(pair.b) != seen;) {
        seen = count(pair.b);
        waitFor([&] { return count(pair.b) != seen; }, 300);
    }
    pair.proxy.cut();
    ASSERT_TRUE(waitFor([&] {
        return pair.a.user(pair.b.key())->state == User::State::notConnected
            && pair.b.user(pair.a.key())->state == User::State::notConnected;
    }));
    ASSERT_TRUE(waitFor([&] { return pair.a.engine().sending().unacknowledged() == 0; }));
    // What Ada counts as sent is what crossed the link (the relay holds
    // less than a block besides).
    EXPECT_LE(count(pair.a), count(pair.b) + 1);

    // Listed as not complete, the rest goes once they meet again.
    pair.proxy.setPaused(false);
    ASSERT_TRUE(pair.connect());
    ASSERT_TRUE(pair.b.finishedCount(4, 20000));
    EXPECT_EQ(pair.received(4), test::generatedBytes(blocks * blockSize, 4));
    EXPECT_TRUE(waitFor([&] { return count(pair.a) == 4 * blocks; }));
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
            const DownloadWindows& windows = pair.b.engine().downloads().windows();
            const auto one = windows.find(first), two = windows.find(second);
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
