// When `run --exit-when-done` may end, and when it has failed.

#include "cli/donecheck.h"
#include "cli/runtally.h"
#include "tests/cli/rows.h"

#include <gtest/gtest.h>

#include <QHash>
#include <QUrl>

using namespace brenvo::cli;
using vortan::FileRow;
using vortan::test::setBlocks;
using vortan::User;

namespace {

const QByteArray kBo(32, 'b');
const QByteArray kCy(32, 'c');

struct World {
    QList<FileRow> files;
    QList<User> users{User("Bo", std::nullopt, std::nullopt, kBo), User("Cy", std::nullopt, std::nullopt, kCy)};
    QHash<QByteArray, PeerRunStatus> status;
    QSet<QUuid> delivered;
    QSet<QUuid> missingTargets;
    QSet<QByteArray> connect;
    QSet<QByteArray> accept;
    bool acceptAll = false;
    QSet<QUuid> held;
    QSet<QByteArray> heldBack;  // users with offers refused for the limit still to come

    DoneState evaluate() const
    {
        DoneInputs in;
        in.files = files;
        in.users = users;
        in.connectUsers = connect;
        in.acceptUsers = accept;
        in.acceptAll = acceptAll;
        in.heldOffers = held;
        in.runStatus = [this](const QByteArray& key) { return status.value(key); };
        in.offerDelivered = [this](const FileRow& f) { return delivered.contains(f.id); };
        in.targetPresent = [this](const FileRow& f) { return !missingTargets.contains(f.id); };
        in.offersHeldBack = [this](const QByteArray& key) { return heldBack.contains(key); };
        return evaluateDone(in);
    }

    // A download of 4 blocks from user, resumed, with `done` blocks in.
    FileRow& download(const QByteArray& user, std::int64_t done)
    {
        files.append(vortan::test::makeRow("in.bin", 4, user, true, "/dl/in.bin", done));
        return files.last();
    }

    FileRow& offer(const QByteArray& user, std::int64_t sent)
    {
        files.append(vortan::test::makeRow("out.bin", 4, user, false, "/src/out.bin", sent));
        return files.last();
    }

    void answered(const QByteArray& key) { status[key] = PeerRunStatus{true, true, 0}; }
};

TEST(DoneCheck, NamedUsersMustConnectAndAnswer)
{
    World w;
    EXPECT_EQ(w.evaluate().kind, DoneState::Kind::done);  // nothing to wait for
    w.connect.insert(kBo);
    DoneState s = w.evaluate();
    EXPECT_EQ(s.kind, DoneState::Kind::pending);
    EXPECT_EQ(s.waitingFor, QStringList{"Bo to connect"});
    EXPECT_FALSE(s.onlyDisconnects);
    QHash<QByteArray, QString> lastErrors{{kBo, "connection refused"}};
    DoneInputs in;
    in.users = w.users;
    in.connectUsers = w.connect;
    in.runStatus = [](const QByteArray&) { return PeerRunStatus{}; };
    in.offerDelivered = [](const FileRow&) { return false; };
    in.lastError = [&](const QByteArray& key) { return lastErrors.value(key); };
    EXPECT_EQ(evaluateDone(in).waitingFor, QStringList{"Bo to connect (last error: connection refused)"});
    w.status[kBo].connected = true;
    EXPECT_EQ(w.evaluate().waitingFor, QStringList{"the list of Bo"});
    w.status[kBo].answeredList = true;
    EXPECT_EQ(w.evaluate().kind, DoneState::Kind::done);
}

TEST(DoneCheck, AcceptedDownloadsMustBeCompleteAtTheirPlace)
{
    World w;
    w.accept.insert(kBo);
    w.answered(kBo);
    w.download(kBo, 3);
    w.download(kCy, 0);  // not accepted: not waited for
    EXPECT_EQ(w.evaluate().waitingFor, QStringList{"in.bin from Bo (3/4 blocks)"});
    FileRow& mine = w.files.first();
    setBlocks(mine, 4);
    w.missingTargets.insert(mine.id);
    EXPECT_EQ(w.evaluate().kind, DoneState::Kind::pending);
    w.missingTargets.clear();
    EXPECT_EQ(w.evaluate().kind, DoneState::Kind::done);

    // Accepting everybody waits for Cy's too (and Cy need not be named).
    w.acceptAll = true;
    EXPECT_EQ(w.evaluate().waitingFor, QStringList{"in.bin from Cy (0/4 blocks)"});

    // Not waited for: what Cy no longer offers (declined, and named once by
    // the caller), a download paused after it started, a new one held back.
    FileRow& gone = w.files.last();
    gone.unavailable = true;
    DoneState s = w.evaluate();
    EXPECT_EQ(s.kind, DoneState::Kind::done);
    EXPECT_EQ(s.removedOffers, QList<QUuid>{gone.id});
    FileRow& paused = w.download(kBo, 2);
    paused.paused = true;
    EXPECT_EQ(w.evaluate().kind, DoneState::Kind::done);
    FileRow& held = w.download(kBo, 0);
    held.paused = true;
    held.location.reset();
    EXPECT_EQ(w.evaluate().kind, DoneState::Kind::pending) << "a new offer is resumed by --accept";
    w.held.insert(held.id);
    EXPECT_EQ(w.evaluate().kind, DoneState::Kind::done);

    // Everything kept is in, but an accepted user offered more than is kept
    // at once: the rest is still to come.
    w.heldBack = {kBo, kCy};
    w.acceptAll = false;
    EXPECT_EQ(w.evaluate().waitingFor, QStringList{"the offers of Bo that did not fit at once"});

    // Thousands waited for: the first few in words, all of them counted.
    for (int i = 0; i < 10; ++i)
        w.download(kBo, 1);
    s = w.evaluate();
    EXPECT_EQ(s.waiting, 11);
    EXPECT_EQ(s.waitingFor.size(), DoneState::kNamed);
}

TEST(DoneCheck, OffersMustBeSentAndTheirUsersGone)
{
    World w;
    FileRow& offer = w.offer(kCy, 2);
    DoneState s = w.evaluate();
    EXPECT_EQ(s.waitingFor, (QStringList{"Cy to connect", "out.bin to Cy (2/4 blocks sent)"}));
    w.answered(kCy);
    setBlocks(offer, 4);
    s = w.evaluate();
    EXPECT_EQ(s.waitingFor, QStringList{"Cy to disconnect after out.bin"});
    EXPECT_TRUE(s.onlyDisconnects);
    EXPECT_EQ(s.awaitedDisconnects, QList<QByteArray>{kCy});
    w.delivered.insert(offer.id);
    EXPECT_EQ(w.evaluate().kind, DoneState::Kind::done);

    // A disconnect awaited beside other work is not alone.
    w.delivered.clear();
    w.accept.insert(kCy);
    w.download(kCy, 1);
    s = w.evaluate();
    EXPECT_EQ(s.kind, DoneState::Kind::pending);
    EXPECT_FALSE(s.onlyDisconnects);

    // A paused offer is not waited for.
    World v;
    v.offer(kCy, 0).paused = true;
    EXPECT_EQ(v.evaluate().kind, DoneState::Kind::done);
}

TEST(DoneCheck, ErrorsThatStopARecordFailTheRun)
{
    World w;
    w.accept.insert(kBo);
    w.answered(kBo);
    FileRow& in = w.download(kBo, 1);
    in.error = vortan::VortanError::other("No space left on device");
    DoneState s = w.evaluate();
    EXPECT_EQ(s.kind, DoneState::Kind::failed);
    EXPECT_EQ(s.failure, "in.bin from Bo: No space left on device");

    // A network error of an offer ends with its connection: not a failure.
    World v;
    v.answered(kCy);
    v.offer(kCy, 1).error = vortan::VortanError::network(vortan::NetworkError::posix(ECONNRESET));
    EXPECT_EQ(v.evaluate().kind, DoneState::Kind::pending);
    v.files.last().error = vortan::VortanError::other("Input/output error");
    EXPECT_EQ(v.evaluate().kind, DoneState::Kind::failed);

    // A download from someone not accepted is none of this run's business.
    World u;
    u.download(kCy, 0).error = vortan::VortanError::other("x");
    EXPECT_EQ(u.evaluate().kind, DoneState::Kind::done);
}

// The run's bookkeeping from the controller's reports: an offer is delivered
// once it has been sent whole (an empty one: listed) and its user has left.
TEST(RunTally, OffersAreDeliveredOnceSentAndTheirUserHasLeft)
{
    FileRow full = vortan::test::makeRow("full.bin", 4, kCy, false, "/src/full.bin", 4);
    FileRow old = vortan::test::makeRow("old.bin", 4, kCy, false, "/src/old.bin", 4);
    FileRow partial = vortan::test::makeRow("part.bin", 4, kCy, false, "/src/part.bin", 2);
    FileRow empty = vortan::test::makeRow("empty", 0, kCy, false, "/src/empty", 0);
    FileRow lateEmpty = vortan::test::makeRow("late", 0, kCy, false, "/src/late", 0);
    FileRow download = vortan::test::makeRow("in.bin", 4, kCy, true, "/dl/in.bin", 4);
    RunTally t;
    EXPECT_TRUE(t.offerDelivered(old));  // complete before the run
    EXPECT_FALSE(t.offerDelivered(empty)) << "never listed";
    EXPECT_FALSE(t.offerDelivered(partial));
    EXPECT_FALSE(t.offerDelivered(download));

    const QList<FileRow> rows{full, old, partial, empty, download};
    t.peerReady(kCy, rows);
    t.rowsInserted({lateEmpty});  // shared while Cy is connected: listed
    t.offerSent(full.id);
    for (const FileRow& row : {full, empty, lateEmpty})
        EXPECT_FALSE(t.offerDelivered(row)) << row.name.toStdString();
    EXPECT_TRUE(t.offerDelivered(old));
    t.listReceived(kCy);
    EXPECT_TRUE(t.status(kCy).connected);
    EXPECT_TRUE(t.status(kCy).answeredList);
    EXPECT_EQ(t.status(kCy).disconnects, 0);

    t.peerDisconnected(kBo, rows);  // someone else leaving changes nothing
    EXPECT_FALSE(t.offerDelivered(full));
    t.peerDisconnected(kCy, rows + QList<FileRow>{lateEmpty});
    for (const FileRow& row : {full, empty, lateEmpty, old})
        EXPECT_TRUE(t.offerDelivered(row)) << row.name.toStdString();
    EXPECT_FALSE(t.offerDelivered(partial));
    EXPECT_EQ(t.status(kCy).disconnects, 1);
    EXPECT_FALSE(t.status(kBo).connected);

    // An empty offer shared while its user is away waits for the next connection.
    FileRow away = vortan::test::makeRow("away", 0, kCy, false, "/src/away", 0);
    t.rowsInserted({away});
    EXPECT_FALSE(t.offerDelivered(away));
}

}  // namespace
