// The catalogue: offers, list requests and answers, removal, restarts.

#include "tests/controller/controllertestsupport.h"
#include "vortan/connection/connection.h"
#include "vortan/listener/listener.h"
#include "vortan/peer/messages.h"

#include <QDir>
#include <QFile>
#include <QSet>

#include <gtest/gtest.h>

#include <algorithm>

namespace vortan {
namespace {

using test::listed;
using test::LogCapture;
using test::namesOf;
using test::Node;
using test::NodeAndPeer;
using test::RawPeer;
using test::waitFor;

TEST(ControllerCatalogueTest, OfferingTwoFilesToThreeUsersMakesSixRecords)
{
    LogCapture log;
    test::Pair pair;
    Node &a = pair.a, &b = pair.b;
    ASSERT_TRUE(pair.connect());
    // Listening off keeps the connection: the offer still reaches Bea.
    a->setSettings(false, false);
    ASSERT_TRUE(waitFor([&] { return a->listenerState() == ListenerState::stopped(); }));
    const QByteArray cy(32, 'c'), di(32, 'd');
    const QString f1 = test::makeFile(a.downloads.path(), QStringLiteral("one.txt"), 10);
    const QString f2 = test::makeFile(a.downloads.path(), QStringLiteral("two.txt"), 200000);

    log.clear();
    a->shareFiles({File2::at(f1), File2::at(f2)}, {cy, b.key(), di, cy});
    ASSERT_EQ(a.engine().files().size(), 6);
    QSet<QUuid> ids;
    for (const File& file : a.engine().files())
        ids.insert(file.id());
    EXPECT_EQ(ids.size(), 6);
    EXPECT_EQ(log.startingWith("send files: ").size(), 1);  // only Bea is connected

    ASSERT_TRUE(waitFor([&] { return b.reports.received.size() == 1; }));
    const QList<FileRow>& received = b.reports.received.first();
    EXPECT_EQ(namesOf(received), (QStringList{"one.txt", "two.txt"}));
    for (const FileRow& file : received) {
        EXPECT_TRUE(file.download);
        EXPECT_TRUE(file.paused);
        EXPECT_FALSE(file.location);  // our paths never travel
        EXPECT_EQ(file.user, a.key());
    }
    EXPECT_EQ(b.reports.senders.first().key, a.key());
    EXPECT_EQ(b.engine().files().size(), 2);
}

TEST(ControllerCatalogueTest, ListsLeaveOutCompletelySentOffers)
{
    NodeAndPeer setup;
    auto& [a, peer] = setup;
    a.share("small", 1000, {peer.key()});
    a.share("large", 300000, {peer.key()});
    a.restart();  // offers made before a restart are listed and sent alike
    ASSERT_TRUE(setup.connect());

    // The answer to the list request the peer made at ready, and its end.
    ASSERT_TRUE(waitFor([&] { return peer.lists.size() == 2; }));
    ASSERT_EQ(namesOf(peer.lists[0]), (QStringList{"small", "large"}));
    EXPECT_TRUE(peer.lists[1].isEmpty());
    const QUuid smallId = peer.lists[0][0].id(), largeId = peer.lists[0][1].id();

    peer.peer->sendWant(BlockSet::range(0, 1), smallId);
    peer.peer->sendWant(BlockSet::range(0, 1), largeId);
    // The sender's records count a block once the peer's TCP has it.
    ASSERT_TRUE(waitFor([&] {
        return a.file(smallId)->transferred() && a.file(largeId)->blocks.count() == 1 && peer.data.size() == 2;
    }));
    EXPECT_EQ(peer.data[1].data, test::generatedBytes(300000).left(blockSize));
    peer.peer->sendListRequest();
    ASSERT_TRUE(waitFor([&] { return peer.lists.size() == 4; }));
    EXPECT_EQ(namesOf(peer.lists[2]), (QStringList{"large"}));

    // A completely sent offer still answers wants.
    peer.peer->sendWant(BlockSet::range(0, 1), smallId);
    ASSERT_TRUE(waitFor([&] { return peer.data.size() == 3; }));
    EXPECT_EQ(peer.data[2].data, test::generatedBytes(1000));
}

TEST(ControllerCatalogueTest, ReceivedListsAddOnlyNewRecordsThatWereNotRemoved)
{
    NodeAndPeer setup;
    auto& [b, sender] = setup;
    const File x = listed("x.bin", 300000, sender.key()), y = listed("y.bin", 10, sender.key());
    QList<QByteArray> lists;
    QObject::connect(b.controller.get(), &Controller::listReceived, [&](const QByteArray& key) { lists.append(key); });
    ASSERT_TRUE(setup.connect({x, y}));
    ASSERT_EQ(b.reports.received.size(), 1);
    EXPECT_EQ(namesOf(b.reports.received.first()), (QStringList{"x.bin", "y.bin"}));
    EXPECT_EQ(b.reports.senders.first().name, "Raw");
    EXPECT_EQ(lists, QList<QByteArray>{sender.key()});

    sender.peer->sendList({x, y});  // the same list again
    ASSERT_TRUE(waitFor([&] { return lists.size() == 2; }));
    EXPECT_EQ(b.engine().files().size(), 2);
    EXPECT_EQ(b.reports.received.size(), 1);

    b->removeFiles({x.id()}, sender.key());
    sender.peer->sendList({x, y});
    ASSERT_TRUE(waitFor([&] { return lists.size() == 3; }));
    ASSERT_EQ(b.engine().files().size(), 1);
    EXPECT_EQ(b.engine().files().first().id(), y.id());
    EXPECT_EQ(b.reports.received.size(), 1);
    EXPECT_TRUE(sender.wants.isEmpty());  // paused downloads ask for nothing
}

TEST(ControllerCatalogueTest, RemovingDownloadsDeletesOnlyTheirPartialFiles)
{
    NodeAndPeer setup;
    auto& [b, sender] = setup;
    const QByteArray xBytes = test::generatedBytes(300000, 3), zBytes = test::generatedBytes(100, 4);
    const File x = listed("x.bin", xBytes.size(), sender.key()), z = listed("z.bin", zBytes.size(), sender.key());
    ASSERT_TRUE(setup.connect({x, z}));

    b->resume({{x.id(), std::nullopt}, {z.id(), std::nullopt}});
    ASSERT_TRUE(waitFor([&] { return sender.wants.size() == 2; }));
    sender.peer->sendData(xBytes.left(blockSize), 0, x.id(), {});
    sender.peer->sendData(zBytes, 0, z.id(), {});
    ASSERT_TRUE(waitFor([&] { return b.reports.finished.size() == 1 && b.file(x.id())->blocks.count() == 1; }));
    const QString partial = b.downloadsPath("x.bin.downloading");
    const QString finished = b.downloadsPath("z.bin");
    ASSERT_TRUE(QFile::exists(partial));
    ASSERT_EQ(test::readFile(finished), zBytes);

    b->removeFiles({z.id(), x.id(), QUuid::createUuid()}, sender.key());
    EXPECT_TRUE(b.engine().files().isEmpty());
    EXPECT_FALSE(QFile::exists(partial));
    EXPECT_TRUE(QFile::exists(finished));
    const QList<QUuid> removed = b.engine().catalogue().deletedFileIDs().value(sender.key());
    EXPECT_EQ(QSet<QUuid>(removed.cbegin(), removed.cend()), (QSet<QUuid>{x.id(), z.id()}));
}

TEST(ControllerCatalogueTest, DownloadsLeftOutOfACompleteAnswerAreUnavailableUntilListedAgain)
{
    NodeAndPeer setup;
    auto& [b, sender] = setup;
    const QByteArray m = sender.key(), doneBytes = test::generatedBytes(100, 7);
    const File kept = listed("kept.bin", 10, m), gone = listed("gone.bin", 10, m), done = listed("done.bin", 100, m),
               later = listed("later.bin", 10, m);
    const QUuid upload = b.share("up.txt", 10, {m});
    const auto unavailable = [&](const QUuid& id) {
        const std::optional<FileRow> row = b.controller->file(id);
        return row && row->unavailable;
    };

    // A peer that has never ended an answer with an empty list answers in
    // one message.
    sender.serving.insert(done.id(), doneBytes);
    ASSERT_TRUE(setup.connect({kept, gone, done}));
    ASSERT_EQ(b.engine().files().size(), 4);
    b->resume({{done.id(), std::nullopt}});
    ASSERT_TRUE(b.finishedCount(1));
    sender.close();

    // So is the next one: what it leaves out is withdrawn (the finished
    // download keeps its state). A list naming one again lifts the mark; an
    // empty one then shows that this peer ends its answers.
    ASSERT_TRUE(setup.connect({later}));
    ASSERT_EQ(b.engine().files().size(), 5);
    EXPECT_TRUE(b.file(kept.id())->unavailable);
    sender.peer->sendList({kept});
    sender.peer->sendList({});
    ASSERT_TRUE(waitFor([&] { return !b.file(kept.id())->unavailable; }));
    ASSERT_TRUE(unavailable(gone.id()));
    for (const QUuid& id : {kept.id(), done.id(), later.id(), upload})
        EXPECT_FALSE(b.file(id)->unavailable) << idText(id).toStdString();

    // Resumed, it waits for its peer to offer it again without asking.
    b->resume({{gone.id(), std::nullopt}, {kept.id(), std::nullopt}});
    ASSERT_TRUE(waitFor([&] { return !sender.wants.isEmpty(); }));
    for (const RawPeer::Want& want : std::as_const(sender.wants))
        EXPECT_NE(want.fileID, gone.id());
    EXPECT_FALSE(b.file(gone.id())->paused);
    sender.close();

    // The mark is kept; a list naming the record again lifts it, and the
    // resumed download goes on.
    b.restart();
    EXPECT_TRUE(b.file(gone.id())->unavailable);
    sender.wants.clear();
    ASSERT_TRUE(setup.connect({gone}));
    ASSERT_TRUE(waitFor([&] {
        return !unavailable(gone.id())
            && std::any_of(sender.wants.cbegin(), sender.wants.cend(), [&](const RawPeer::Want& w) { return w.fileID == gone.id(); });
    }));
}

TEST(ControllerCatalogueTest, LongListsGoOutInSeveralMessagesUnderTheBound)
{
    LogCapture log;
    test::Pair pair;
    Node &a = pair.a, &b = pair.b;
    a.listMessageLimit = 2048;
    a.restart();
    ASSERT_TRUE(pair.connect());
    QList<File2> offered;
    for (int i = 0; i < 40; ++i) {
        const QString name = QStringLiteral("a file with a rather long name, number %1.txt").arg(i);
        offered.append(File2::at(test::makeFile(a.downloads.path(), name, i)));
    }
    log.clear();
    a->shareFiles(offered, {b.key()});
    ASSERT_TRUE(waitFor([&] { return b.engine().files().size() == 40; }));
    EXPECT_GT(log.startingWith("send files: ").size(), 1);
    EXPECT_GT(b.reports.received.size(), 1);
    for (const QList<FileRow>& part : b.reports.received) {
        QList<FileProxy> proxies;
        for (const FileRow& row : part)
            proxies.append(FileProxy{row.id, b.file(row.id)->file});
        EXPECT_LE(toBytes(proxies).size(), 2048);
    }
    // In the order offered.
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(b.engine().files()[i].length(), i);
}

TEST(ControllerCatalogueTest, ALongListIsMergedWhollyInOrderAndRefusalsAreToldAndAskedForAgain)
{
    // 5,000 entries: decoded on a worker thread and merged in slices; a short
    // list right behind it waits for the long one. Past the limit only new
    // ids are refused (the full-size version is bench/catalogue_bench).
    LogCapture log;
    NodeAndPeer n([](Node& node) { node.maxOffersPerUser = 4505; });
    ASSERT_TRUE(n.connect());
    QList<QByteArray> merges;
    QList<qsizetype> refused;
    QObject::connect(n.node.controller.get(), &Controller::listReceived, [&](const QByteArray& key) { merges.append(key); });
    QObject::connect(n.node.controller.get(), &Controller::offersRefused,
                     [&](const QByteArray&, qsizetype count) { refused.append(count); });
    QList<File> longList, shortList;
    for (int i = 0; i < 5000; ++i)
        longList.append(listed(QStringLiteral("long %1").arg(i), i + 1, n.peer.key()));
    for (int i = 0; i < 10; ++i)
        shortList.append(listed(QStringLiteral("short %1").arg(i), i + 1, n.peer.key()));
    n.peer.peer->sendList(longList);
    n.peer.peer->sendList(shortList);
    ASSERT_TRUE(waitFor([&] { return merges.size() == 2; }, 60000));
    const auto files = n.node.engine().files();
    ASSERT_EQ(files.size(), 4505);
    for (qsizetype i : {qsizetype(0), qsizetype(1999), qsizetype(2000), qsizetype(4504)})
        EXPECT_EQ(files[i].id(), longList[i].id());
    const QString most = QStringLiteral(" new list entries from Raw: 4505 unfinished offers of one user are the most kept");
    EXPECT_EQ(log.startingWith("Refused ").size(), 2);
    EXPECT_TRUE(log.contains("Refused 495" + most));
    EXPECT_TRUE(log.contains("Refused 10" + most));
    EXPECT_EQ(refused, (QList<qsizetype>{495, 10}));
    EXPECT_TRUE(n.node.controller->offersHeldBack(n.peer.key()));

    // At the limit, a list of known ids adds nothing and refuses nothing.
    QList<File> again;
    for (qsizetype i = 0; i < 30; ++i)
        again.append(File(files[i].file, files[i].id(), n.peer.key()));
    n.peer.peer->sendList(again);
    ASSERT_TRUE(waitFor([&] { return merges.size() == 3; }));
    EXPECT_EQ(n.node.engine().files().size(), 4505);
    EXPECT_EQ(log.startingWith("Refused ").size(), 2);

    // Room for the ten refused last: the list is asked for again and brings them.
    n.peer.answerWith = shortList;
    QList<QUuid> removed;
    for (qsizetype i = 0; i < 10; ++i)
        removed.append(files[i].id());
    const QString asking = QStringLiteral("Asking Raw for the list again");
    n.node->removeFiles(removed.first(9), n.peer.key());
    EXPECT_TRUE(log.startingWith(asking).isEmpty());
    n.node->removeFiles(removed.sliced(9), n.peer.key());
    EXPECT_EQ(log.startingWith(asking).size(), 1);
    EXPECT_TRUE(n.node.controller->offersHeldBack(n.peer.key())) << "asked for, not yet in";
    ASSERT_TRUE(waitFor([&] { return merges.size() == 4; }));
    EXPECT_FALSE(n.node.controller->offersHeldBack(n.peer.key()));
    EXPECT_EQ(n.node.engine().files().size(), 4505);
    EXPECT_TRUE(n.node.file(shortList.last().id()));
}

TEST(ControllerCatalogueTest, RoomMadeWhileALongAnswerIsMergedCountsAtOnce)
{
    // The first slice of a long answer holds empty files, taken and finished
    // before the second slice is merged: the room they made is there when
    // the rest is refused, so the list is asked for again at once (counted
    // from the start of the answer, the room never seemed enough).
    LogCapture log;
    NodeAndPeer n([](Node& node) { node.maxOffersPerUser = 600; });
    ASSERT_TRUE(n.connect());
    QList<File> list;
    for (int i = 0; i < 1000; ++i)
        list.append(listed(QStringLiteral("f %1").arg(i), i < 500 ? 0 : 1, n.peer.key()));
    Controller& c = *n.node.controller;
    QObject::connect(&c, &Controller::filesReceived, [&](const QList<FileRow>& rows, const User&) {
        QList<ResumeItem> empty;
        for (const FileRow& row : rows) {
            if (row.length == 0)
                empty.append(ResumeItem{row.id, DownloadLocation::downloads()});
        }
        c.resume(empty);
    });
    n.peer.answerWith = list.sliced(500);
    n.peer.peer->sendList(list);
    ASSERT_TRUE(waitFor([&] { return !log.startingWith("Asking Raw for the list again").isEmpty(); }));
    EXPECT_TRUE(log.contains("Refused 400 new list entries from Raw: 600 unfinished offers of one user are the most kept"));
    ASSERT_TRUE(waitFor([&] { return n.node.engine().files().size() == 1000; }));
}

}  // namespace
}  // namespace vortan
