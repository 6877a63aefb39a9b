// The download and send engine's bookkeeping: what is saved without a stop,
// what a pause keeps, which target a download gets and when a send loop ends.

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

// Bea downloads from a raw peer that sends blocks only when told to.
struct Slow {
    explicit Slow(qint64 size, const QString& name = QStringLiteral("x.bin"))
        : b(QStringLiteral("Bea")), sender(QStringLiteral("Sam")), bytes(test::generatedBytes(size, 7)),
          x(File2(name, std::nullopt, size), QUuid::createUuid(), sender.key())
    {
        b.saveDelay = 20ms;
        b.maxRequestWindow = 5;
        b.create();
        b.listen();
        b->addUsers({sender.card()});
    }
    bool connect(const QList<File>& list)
    {
        sender.answerWith = list;
        return sender.connectTo(b) && waitFor([&] { return b.file(list.last().id()) != nullptr; });
    }
    void send(std::int64_t block) { sender.peer->sendData(bytes.mid(block * blockSize, blockSize), block, x.id(), {}); }
    bool hasBlocks(std::int64_t count) { return waitFor([&] { return b.file(x.id())->blocks.count() == count; }); }

    Node b;
    RawPeer sender;
    QByteArray bytes;
    File x;
};

TEST(ControllerEngineTest, ASavePendingAtDestructionIsWritten)
{
    Node a(QStringLiteral("Ada"));
    a.start();
    const QString path = test::makeFile(a.downloads.path(), QStringLiteral("f.bin"), 10);
    a->shareFiles({File2::at(path)}, {QByteArray(32, 'z')});
    ASSERT_TRUE(a->savePending());
    a.shutDown(false);  // no stop(): the destructor writes what is pending
    QFile file(a.supportPath(QStringLiteral("transfers.plist")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(fromBytes<QList<File>>(file.readAll()).size(), 1);
}

TEST(ControllerEngineTest, AShortLastBlockSurvivesPauseAndResume)
{
    Slow s(2 * blockSize + 7);
    ASSERT_TRUE(s.connect({s.x}));
    s.b->resume({{s.x.id(), std::nullopt}});
    ASSERT_TRUE(waitFor([&] { return !s.sender.wants.isEmpty(); }));
    s.send(0);
    s.send(2);  // the short one
    ASSERT_TRUE(s.hasBlocks(2));
    s.b->pause({s.x.id()});
    s.b->resume({{s.x.id(), std::nullopt}});
    EXPECT_EQ(s.b.file(s.x.id())->blocks, BlockSet::range(0, 1).united(BlockSet::range(2, 1)));
    s.send(1);
    ASSERT_TRUE(waitFor([&] { return s.b.delegate.finished.size() == 1; }));
    EXPECT_EQ(test::readFile(s.b.downloadsPath(QStringLiteral("x.bin"))), s.bytes);
}

TEST(ControllerEngineTest, ANameLikeAnotherDownloadsPartialFileGetsItsOwnTarget)
{
    Slow s(blockSize);
    const File twin(File2(QStringLiteral("x.bin.downloading"), std::nullopt, blockSize), QUuid::createUuid(),
                    s.sender.key());
    ASSERT_TRUE(s.connect({s.x, twin}));
    s.b->resume({{s.x.id(), std::nullopt}, {twin.id(), std::nullopt}});
    const File& first = *s.b.file(s.x.id());
    const File& second = *s.b.file(twin.id());
    ASSERT_TRUE(first.location() && second.location());
    const QStringList paths{first.location()->toLocalFile(), first.partialPath(), second.location()->toLocalFile(),
                            second.partialPath()};
    EXPECT_EQ(QSet<QString>(paths.begin(), paths.end()).size(), 4) << paths.join(' ').toStdString();
}

TEST(ControllerEngineTest, PausingAnOfferEndsItsSendLoop)
{
    Node a(QStringLiteral("Ada"));
    a.listen();
    RawPeer peer(QStringLiteral("Pia"));
    a->addUsers({peer.card()});
    const QString path = test::makeFile(a.downloads.path(), QStringLiteral("big.bin"), 64 * blockSize);
    a->shareFiles({File2::at(path)}, {peer.key()});
    const QUuid id = a->files().first().id();
    ASSERT_TRUE(peer.connectTo(a));
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
    EXPECT_FALSE(a->files().first().sending);
}

TEST(ControllerEngineTest, OnlyStopWaitsForTheGateway)
{
    Node a(QStringLiteral("Ada"));
    a.listen();
    a->setSettings(true, true);
    ASSERT_EQ(a.mapper.mapped.size(), 1u);
    a->setSettings(true, false);  // the mapping goes, in the background
    User card = *a->me();
    card.port = test::freePort();
    a->setSettings(true, true);
    a->editMe(card);  // a new port: the old mapping goes, in the background
    EXPECT_EQ(a.mapper.blockingUnmaps, 0);
    EXPECT_EQ(a.mapper.unmaps, 2);
    a->stop();
    EXPECT_EQ(a.mapper.blockingUnmaps, 1);
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
    const QString path = test::makeFile(a.downloads.path(), QStringLiteral("f.bin"), 10);
    a->shareFiles({File2::at(path)}, {QByteArray(32, 'z')});
    ASSERT_TRUE(waitFor([&] { return !warnings.isEmpty(); }));
    EXPECT_TRUE(warnings.first().startsWith(QStringLiteral("Could not save transfers.plist"))) << warnings.first().toStdString();
    a->shareFiles({File2::at(path)}, {QByteArray(32, 'y')});
    ASSERT_TRUE(waitFor([&] { return !a->savePending(); }));
    EXPECT_EQ(warnings.size(), 1);

    ASSERT_TRUE(QDir(stored).removeRecursively());
    a->removeFiles({a->files().first().id()}, QByteArray(32, 'z'));
    ASSERT_TRUE(waitFor([&] { return QFileInfo(stored).isFile(); }));
    EXPECT_EQ(warnings.size(), 1);
}

}  // namespace
}  // namespace vortan
