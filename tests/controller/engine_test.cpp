// The download and send engine's bookkeeping: what is saved without a stop,
// what a pause keeps and when a send loop ends.

#include "tests/controller/controllertestsupport.h"
#include "vortan/records/coding.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace vortan {
namespace {

using namespace std::chrono_literals;
using test::Node;
using test::RawPeer;
using test::waitFor;

TEST(ControllerEngineTest, ASavePendingAtDestructionIsWritten)
{
    Node a(QStringLiteral("Ada"));
    a.start();
    a.share("f.bin", 10, {QByteArray(32, 'z')});
    ASSERT_TRUE(a.engine().store().pending());
    a.shutDown(false);  // no stop(): the destructor writes what is pending
    EXPECT_EQ(fromBytes<QList<File>>(test::readFile(a.supportPath("transfers.plist"))).size(), 1);
}

TEST(ControllerEngineTest, AShortLastBlockSurvivesPauseAndResume)
{
    test::OneDownload s(2 * blockSize + 7);
    ASSERT_TRUE(s.request());
    s.send(0);
    s.send(2);  // the short one
    ASSERT_TRUE(s.hasBlocks(2));
    s.node->pause({s.x.id()});
    s.node->resume({{s.x.id(), std::nullopt}});
    EXPECT_EQ(s.record().blocks, BlockSet::range(0, 1).united(BlockSet::range(2, 1)));
    s.send(1);
    ASSERT_TRUE(s.node.finishedCount(1));
    EXPECT_EQ(test::readFile(s.node.downloadsPath(QStringLiteral("x.bin"))), s.bytes);
}

TEST(ControllerEngineTest, PausingAnOfferEndsItsSendLoop)
{
    test::NodeAndPeer n;
    auto& [a, peer] = n;
    const QUuid id = a.share("big.bin", 64 * blockSize, {peer.key()});
    ASSERT_TRUE(n.connect());
    test::LogCapture log;
    peer.peer->sendWant(BlockSet::range(0, 64), id);
    ASSERT_TRUE(waitFor([&] { return !peer.data.isEmpty(); }));
    a->pause({id});
    const qsizetype sent = log.startingWith(QStringLiteral("send data: ")).size();
    ASSERT_LT(sent, 64);
    // Whatever was handed over before the pause arrives; nothing follows it.
    ASSERT_TRUE(waitFor([&] { return peer.data.size() == sent; }));
    waitFor([&] { return peer.data.size() > sent; }, 200);
    EXPECT_EQ(log.startingWith(QStringLiteral("send data: ")).size(), sent);
    EXPECT_EQ(peer.data.size(), sent);
    EXPECT_FALSE(a.engine().files().first().sending);
}

// Hundreds of small offers asked for at once: each file is closed once its
// last block asked for is read, so the descriptors never pile up.
TEST(ControllerEngineTest, OffersAskedForAtOnceHoldNoFileOpen)
{
    test::NodeAndPeer n;
    auto& [a, peer] = n;
    constexpr int kFiles = 200;
    QList<QUuid> ids;
    for (int i = 0; i < kFiles; ++i)
        ids.append(a.share(QStringLiteral("f%1.bin").arg(i), 1000, {peer.key()}, i));
    ASSERT_TRUE(n.connect());
    const auto openFiles = [] { return QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files).size(); };
    const qsizetype before = openFiles();
    qsizetype most = before;
    for (const QUuid& id : std::as_const(ids))
        peer.peer->sendWant(BlockSet::range(0, 1), id);
    ASSERT_TRUE(waitFor([&] {
        most = std::max(most, openFiles());
        return peer.data.size() == kFiles;
    }));
    EXPECT_LT(most - before, 20);
    EXPECT_LT(openFiles() - before, 5);
}

TEST(ControllerEngineTest, AFailedSaveIsReportedOnceAndTriedAgain)
{
    Node a(QStringLiteral("Ada"));
    a.saveDelay = 10ms;
    a.create();
    a.start();
    QStringList warnings;
    QObject::connect(a.controller.get(), &Controller::warning, [&](const QString& w) { warnings.append(w); });
    // A folder where the file goes: writing it fails, even for root.
    const QString stored = a.supportPath(QStringLiteral("transfers.plist"));
    QFile::remove(stored);
    ASSERT_TRUE(QDir().mkpath(stored));
    a.share("f.bin", 10, {QByteArray(32, 'z')});
    ASSERT_TRUE(waitFor([&] { return !warnings.isEmpty(); }));
    EXPECT_TRUE(warnings.first().startsWith(QStringLiteral("Could not save transfers.plist"))) << warnings.first().toStdString();
    a->shareFiles({File2::at(a.downloadsPath("f.bin"))}, {QByteArray(32, 'y')});
    ASSERT_TRUE(waitFor([&] { return !a.engine().store().pending(); }));
    EXPECT_EQ(warnings.size(), 1);

    ASSERT_TRUE(QDir(stored).removeRecursively());
    a->removeFiles({a.engine().files().first().id()}, QByteArray(32, 'z'));
    ASSERT_TRUE(waitFor([&] { return QFileInfo(stored).isFile(); }));
    EXPECT_EQ(warnings.size(), 1);

    // At stop, the file that cannot be written is skipped and the others are written.
    ASSERT_TRUE(QFile::remove(stored) && QDir().mkpath(stored));
    for (const char* name : {"users.plist", "me.plist", "deleted.plist"})
        ASSERT_TRUE(QFile::remove(a.supportPath(name))) << name;
    a->stop();
    EXPECT_TRUE(QFileInfo(stored).isDir());
    EXPECT_NO_THROW(fromBytes<QList<User>>(test::readFile(a.supportPath("users.plist"))));
    EXPECT_NO_THROW(fromBytes<User>(test::readFile(a.supportPath("me.plist"))));
    EXPECT_NO_THROW(fromBytes<UuidListsByKey>(test::readFile(a.supportPath("deleted.plist"))));
}

}  // namespace
}  // namespace vortan
