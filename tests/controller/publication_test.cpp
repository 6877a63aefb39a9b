// What a front end's item model sees: each publication names the rows it
// inserted, removed and updated, rows keep their identity and order, and a
// row carries the status, progress and rate of its record.
#include "tests/controller/controllertestsupport.h"
#include "tests/controller/manualclock.h"
#include "vortan/controller/recordlist.h"

#include <QSignalSpy>

#include <algorithm>
#include <functional>
#include <memory>

#include <gtest/gtest.h>

namespace vortan {
namespace {

using namespace std::chrono_literals;
using test::ManualClock;
using test::Node;

struct Published {
    explicit Published(Controller& c)
    {
        QObject::connect(&c, &Controller::filesChanged, [this](const FileChanges& changes) { all.append(changes); });
    }
    FileChanges last() const { return all.isEmpty() ? FileChanges{} : all.last(); }
    QList<FileChanges> all;
};

TEST(ControllerPublicationTest, ChangesAreReportedByRowIdentity)
{
    ManualClock clock;
    Node node(QStringLiteral("n"), &clock);
    node.start();
    const QByteArray peer(32, 'p');
    Controller& c = *node.controller;
    // Users are reported one by one.
    QSignalSpy usersChanged(&c, &Controller::userChanged);
    const User q(QStringLiteral("Q"), std::nullopt, std::nullopt, QByteArray(32, 'q'));
    c.addUsers({User(QStringLiteral("P"), std::nullopt, std::nullopt, peer), q});
    ASSERT_EQ(usersChanged.size(), 2);
    Published published(c);

    c.shareFiles({File2(QStringLiteral("a"), QUrl::fromLocalFile(QStringLiteral("/x/a")), 10),
                  File2(QStringLiteral("b"), QUrl::fromLocalFile(QStringLiteral("/x/b")), 300000),
                  File2(QStringLiteral("c"), QUrl::fromLocalFile(QStringLiteral("/x/c")), 0)},
                 {peer});
    clock.advance(100ms);
    ASSERT_EQ(c.fileRows().size(), 3);
    const QUuid a = c.fileRows()[0].id, b = c.fileRows()[1].id, cc = c.fileRows()[2].id;
    EXPECT_EQ(published.last().inserted,
              (QList<std::pair<qsizetype, QUuid>>{{0, a}, {1, b}, {2, cc}}));
    EXPECT_EQ(c.fileRow(b), 1);
    EXPECT_EQ(c.file(b)->numberOfBlocks, 3);
    EXPECT_EQ(c.file(b)->status, FileRow::Status::queued);
    EXPECT_EQ(c.file(cc)->status, FileRow::Status::done);  // an empty offer has nothing to send

    // Only the paused record is reported, and only once per publication.
    c.pause({b});
    clock.advance(100ms);
    EXPECT_TRUE(published.last().inserted.isEmpty());
    EXPECT_TRUE(published.last().removed.isEmpty());
    EXPECT_EQ(published.last().updated, QList<QUuid>{b});
    EXPECT_EQ(c.file(b)->status, FileRow::Status::paused);

    // A removal names the row it had; the rows after it move up.
    const qsizetype before = published.all.size();
    c.removeFiles({a}, peer);
    clock.advance(100ms);
    ASSERT_GT(published.all.size(), before);
    EXPECT_EQ(published.last().removed, (QList<std::pair<qsizetype, QUuid>>{{0, a}}));
    EXPECT_EQ(c.fileRow(a), -1);
    EXPECT_EQ(c.fileRow(b), 0);
    EXPECT_EQ(c.fileRow(cc), 1);

    // A publication with nothing visible changed reports nothing.
    node->publishNow();
    EXPECT_TRUE(published.last().isEmpty());

    User renamed = q;
    renamed.name = QStringLiteral("Quinn");
    usersChanged.clear();
    c.editUsers({renamed});
    ASSERT_EQ(usersChanged.size(), 1);
    EXPECT_EQ(usersChanged[0][0].toByteArray(), q.key);
}

// Every publication during real transfers, compared with rows built afresh
// from the records and with a full comparison of the previous rows: the rows
// follow each change of their records, and the reported changes are exactly
// the rows that came, went or show something else.
TEST(ControllerPublicationTest, RowsFollowEveryChangeOfTheirRecords)
{
    // Time moves between polls only, so a row built afresh in the handler
    // samples its rate at the publication's own time.
    ManualClock clockA, clockB;
    test::Pair pair(&clockA, &clockB);
    Node &a = pair.a, &b = pair.b;
    pair.tick = [&] {
        clockA.advance(20ms);
        clockB.advance(20ms);
    };
    const auto until = [&](const std::function<bool()>& condition) {
        return test::waitFor([&] { pair.tick(); return condition(); }, 20000);
    };
    ASSERT_TRUE(pair.connect());

    int publications = 0;
    bool consistent = true;
    for (Node* node : {&a, &b}) {
        auto previous = std::make_shared<QList<FileRow>>();
        QObject::connect(node->controller.get(), &Controller::filesChanged,
                         [node, previous, &publications, &consistent](const FileChanges& changes) {
            FileTable& table = node->engine().fileTable();
            const QList<FileRow>& rows = table.rows();
            bool ok = rows.size() == table.size();
            for (qsizetype i = 0; ok && i < rows.size(); ++i)
                ok = rows[i] == table.rowOf(table[i]) && table.row(rows[i].id) == i;
            FileChanges expected;
            for (qsizetype old = previous->size() - 1; old >= 0; --old) {
                if (table.row((*previous)[old].id) < 0)
                    expected.removed.append({old, (*previous)[old].id});
            }
            for (qsizetype row = 0; row < rows.size(); ++row) {
                const auto old = std::find_if(previous->cbegin(), previous->cend(),
                                              [&](const FileRow& r) { return r.id == rows[row].id; });
                if (old == previous->cend())
                    expected.inserted.append({row, rows[row].id});
                else if (!(*old == rows[row]))
                    expected.updated.append(rows[row].id);
            }
            ok = ok && changes.removed == expected.removed && changes.inserted == expected.inserted
                && changes.updated == expected.updated;
            EXPECT_TRUE(ok) << node->name.toStdString() << " publication " << publications;
            consistent = consistent && ok;
            *previous = rows;
            ++publications;
        });
    }

    const QList<QUuid> first = pair.offer({160 * blockSize, 30 * blockSize + 5, 7});
    b->resume({{first[0], std::nullopt}, {first[1], std::nullopt}, {first[2], std::nullopt}});
    ASSERT_TRUE(until([&] { return b.file(first[0])->blocks.count() > 2; }));
    b->pause({first[1]});
    const QList<QUuid> second = pair.offer({20 * blockSize});  // a record comes while others move
    b->resume({{second[0], std::nullopt}});
    b->removeFiles({first[1]}, a.key());
    EXPECT_TRUE(until([&] {
        return isComplete(*b.file(first[0])) && isComplete(*b.file(first[2]))
            && isComplete(*b.file(second[0]));
    }));
    a->publishNow();
    b->publishNow();
    EXPECT_TRUE(consistent);
    EXPECT_GT(publications, 10);
}

// A transfer that stalls while other records change: its record stays the
// same, yet each publication rebuilds its row, so the rate falls to nothing.
TEST(ControllerPublicationTest, AStalledTransferLosesItsRate)
{
    ManualClock clock;
    test::OneDownload d(4 * blockSize, QStringLiteral("x.bin"), [&](Node& n) { n.clock = &clock; });
    Node& b = d.node;
    const File& x = d.x;
    ASSERT_TRUE(d.request());
    clock.advance(100ms);
    d.send(0);
    ASSERT_TRUE(d.hasBlocks(1));
    clock.advance(100ms);
    b->publishNow();
    const FileRow moving = *b.controller->file(x.id());
    ASSERT_EQ(moving.status, FileRow::Status::transferring);
    EXPECT_GT(moving.bytesPerSecond, 0);
    EXPECT_TRUE(moving.secondsLeft);

    Published published(*b.controller);
    clock.advance(RateMeter::kWindow + 1000ms);
    b->publishNow();
    const FileRow stalled = *b.controller->file(x.id());
    EXPECT_EQ(stalled.blockCount, 1);
    EXPECT_EQ(stalled.bytesPerSecond, 0);
    EXPECT_FALSE(stalled.secondsLeft);
    EXPECT_TRUE(published.last().updated.contains(x.id()));

    // Standing still, its row is left alone; the block that ends the stall
    // is measured from the last publication, not from before the stall.
    clock.advance(5s);
    b->publishNow();
    EXPECT_FALSE(published.last().updated.contains(x.id()));
    d.send(1);
    ASSERT_TRUE(d.hasBlocks(2));
    clock.advance(100ms);  // its publication is due
    EXPECT_TRUE(published.last().updated.contains(x.id()));
    EXPECT_NEAR(b.controller->file(x.id())->bytesPerSecond, blockSize / 0.1, blockSize / 10);
}

// The sending side: blocks that went out between the peer's wants keep the
// offer's row transferring with its rate; once nobody asks, a publication of
// its own tells it waiting.
TEST(ControllerPublicationTest, AnOfferShowsItsRateBetweenWantsUntilNobodyAsks)
{
    ManualClock clock;
    test::NodeAndPeer pair([&](Node& n) { n.clock = &clock; });
    Node& node = pair.node;
    ASSERT_TRUE(pair.connect());
    const QUuid id = node.share(QStringLiteral("x.bin"), 8 * blockSize, {pair.peer.key()});
    for (std::int64_t block = 0; block < 3; ++block) {
        pair.peer.peer->sendWant(BlockSet::range(block, 1), id);
        ASSERT_TRUE(test::waitFor([&] { return node.file(id)->blocks.count() == block + 1 && !node.file(id)->sending; }));
        clock.advance(200ms);
        node->publishNow();
    }
    const FileRow sent = *node.controller->file(id);
    EXPECT_EQ(sent.status, FileRow::Status::transferring);
    EXPECT_GT(sent.bytesPerSecond, 0);
    EXPECT_TRUE(sent.secondsLeft);

    clock.advance(RateMeter::kWindow + 200ms);
    const FileRow waiting = *node.controller->file(id);
    EXPECT_EQ(waiting.status, FileRow::Status::queued);
    EXPECT_EQ(waiting.bytesPerSecond, 0);
}

// The writer thread holds a snapshot of the records while this thread goes on
// changing them: only the chunks changed since are copied, the snapshot keeps
// what it saw, and removal keeps the order across chunk boundaries.
TEST(RecordListTest, ASnapshotSharesTheChunksLeftAlone)
{
    constexpr qsizetype chunk = RecordList::kChunk;
    QList<File> records;
    for (qsizetype i = 0; i < 2 * chunk + 7; ++i)
        records.append(File(File2(QString::number(i), std::nullopt, 1), QUuid::createUuid(), QByteArray(32, 'u')));
    const auto ids = [](const auto& list) {
        QList<QUuid> out;
        for (const File& record : list)
            out.append(record.id());
        return out;
    };
    RecordList list;
    list.append(records.first(chunk + 3));
    list.append(records.sliced(chunk + 3));
    ASSERT_EQ(list.size(), records.size());
    EXPECT_EQ(ids(list), ids(records));

    const RecordList::Chunks snapshot = list.chunks();
    list.edit(chunk + 1).paused = false;
    list.append(File(File2(QStringLiteral("late"), std::nullopt, 1), QUuid::createUuid(), QByteArray(32, 'u')));
    EXPECT_EQ(snapshot[0].constData(), list.chunks()[0].constData());
    EXPECT_NE(snapshot[1].constData(), list.chunks()[1].constData());
    EXPECT_TRUE(snapshot[1][1].paused);
    EXPECT_FALSE(list[chunk + 1].paused);
    EXPECT_EQ(snapshot[2].size(), 7);
    EXPECT_EQ(list.size(), records.size() + 1);

    QList<QUuid> seen, kept;
    const qsizetype removed = list.removeIf([&](const File& record) {
        seen.append(record.id());
        if (seen.size() % 3 == 0)
            return true;
        kept.append(record.id());
        return false;
    });
    EXPECT_EQ(seen.size(), records.size() + 1);
    EXPECT_EQ(removed, seen.size() / 3);
    EXPECT_EQ(ids(list), kept);
    EXPECT_EQ(list.chunks()[0].size(), chunk);
    EXPECT_EQ(snapshot[0][2].id(), records[2].id());
}

}  // namespace
}  // namespace vortan
