// A controller against a peer that does what the protocol asks and nothing
// more (one list message per request, no end marker, no asking again for
// what a list leaves out), both ways: what such a peer is served, and what
// is made of what it sends.

#include "tests/controller/controllertestsupport.h"
#include "tests/controller/manualclock.h"
#include "tests/framer/framertestsupport.h"
#include "tests/support/delayproxy.h"
#include "vortan/framer/framer.h"
#include "vortan/peer/messages.h"
#include "vortan/records/coding.h"

#include <QFile>
#include <QTcpSocket>

#include <gtest/gtest.h>

namespace vortan {
namespace {

using test::generatedBytes;
using test::listed;
using test::LogCapture;
using test::Node;
using test::NodeAndPeer;
using test::PlainPeer;
using test::waitFor;

bool completed(const PlainPeer& peer, const QUuid& id)
{
    const auto found = peer.downloads.constFind(id);
    return found != peer.downloads.cend() && found->complete();
}

// Both ways, files arrive whole under their own names.
TEST(PlainPeer, FilesArriveWholeBothWays)
{
    const struct {
        const char* name;
        qint64 size;
    } files[] = {{"Über café.txt", 1}, {"ひらがな 1.bin", blockSize}, {"zwölf.bin", 3 * blockSize + 17}};
    for (const auto& f : files) {
        SCOPED_TRACE(f.name);
        const QString name = QString::fromUtf8(f.name);
        // From the plain peer.
        test::OneDownload d(f.size, name);
        ASSERT_TRUE(d.start());
        ASSERT_TRUE(d.node.finishedCount(1));
        EXPECT_EQ(d.target(), d.node.downloadsPath(name));
        EXPECT_EQ(test::readFile(d.target()), d.bytes);

        // To the plain peer.
        Node ada(QStringLiteral("Ada"));
        ada.listen();
        PlainPeer pat(QStringLiteral("Pat"));
        pat.takeOffers = true;
        ada->addUsers({pat.card()});
        const QUuid id = ada.share(name, f.size, {pat.key()});
        ASSERT_TRUE(pat.connectTo(ada.card()));
        ASSERT_TRUE(waitFor([&] { return completed(pat, id); }));
        EXPECT_EQ(pat.downloads.value(id).record.name(), name);
        EXPECT_EQ(pat.downloads.value(id).bytes, generatedBytes(f.size));
    }
}

// The link fails while blocks are on their way, and the sender restarts:
// what it stored as sent must not include what never arrived, or a receiver
// that calls again and asks for the list would not be offered the rest.
TEST(PlainPeer, AReceiverIsServedWhatASenderStoppedInTheMiddleOf)
{
    Node ada(QStringLiteral("Ada"));
    const quint16 port = ada.listen();
    PlainPeer pat(QStringLiteral("Pat"));
    pat.takeOffers = true;
    ada->addUsers({pat.card()});
    const QUuid id = ada.share(QStringLiteral("twelve.bin"), 12 * blockSize, {pat.key()});

    // About half a second a block, on a link that holds little: the rest
    // waits unacknowledged in the sender's kernel, and goes when it stops.
    test::DelayProxy link(port, test::DelayProxy::Link{std::chrono::milliseconds(20), 256 * 1024, 32 * 1024, 16 * 1024});
    User viaLink = ada.card();
    viaLink.port = link.port();
    LogCapture log;
    ASSERT_TRUE(pat.connectTo(viaLink));
    // Every block is asked for by now. The link stalls while the sender
    // hands it the rest, then fails, losing what it held, and the sender
    // restarts.
    ASSERT_TRUE(waitFor([&] { return pat.downloads.value(id).blocks.count() >= 7; }, 30000));
    ASSERT_TRUE(waitFor([&] { return log.lines().filter(QStringLiteral("received want: [11]")).size() == 1; }));
    link.setPaused(true);
    waitFor([&] { return ada.file(id)->wantBlocks.empty(); }, 3000);
    link.cut();
    ada.restart();
    ASSERT_TRUE(waitFor([&] { return pat.cancelled; }));
    const std::int64_t had = pat.downloads.value(id).blocks.count();
    const std::int64_t stored = ada.file(id)->blocks.count();
    EXPECT_LT(had, 12);
    RecordProperty("receiver had", int(had));
    RecordProperty("sender stored as sent", int(stored));

    ASSERT_TRUE(pat.connectTo(ada.card()));
    ASSERT_TRUE(waitFor([&] { return completed(pat, id); }, 30000))
        << "had " << had << " of 12, the sender stored " << stored << " as sent, lists: " << pat.lists.size();
    EXPECT_EQ(pat.downloads.value(id).bytes, generatedBytes(12 * blockSize));
}

// A sender that no longer lists a download it withdrew answers in one list
// message: the download is marked and not asked for again.
TEST(PlainPeer, AWithdrawnOfferIsFoundOutAndNotAskedForAgain)
{
    test::ManualClock clock;
    NodeAndPeer n([&](Node& node) { node.clock = &clock; });
    auto& [bea, sender] = n;
    const File kept = listed(QStringLiteral("kept.bin"), 3 * blockSize, sender.key());
    const File gone = listed(QStringLiteral("gone.bin"), 3 * blockSize, sender.key());
    ASSERT_TRUE(n.connect({kept, gone}));
    bea->resume({{gone.id(), std::nullopt}});
    ASSERT_TRUE(waitFor([&] { return sender.wants.size() == 1; }));
    sender.answerWith = QList<File>{kept};

    const auto wantsForGone = [&] {
        return std::count_if(sender.wants.cbegin(), sender.wants.cend(),
                             [&](const PlainPeer::Want& w) { return w.fileID == gone.id(); });
    };
    const auto unavailable = [&] { return bea.file(gone.id())->unavailable; };
    const auto wait = [&](std::chrono::seconds span) {
        for (auto passed = std::chrono::seconds(0); passed < span; passed += std::chrono::seconds(1)) {
            clock.advance(std::chrono::seconds(1));
            waitFor([] { return false; }, 5);
        }
    };
    // Quiet for a while: the list is asked for, and its one message tells.
    wait(std::chrono::seconds(25));
    ASSERT_TRUE(waitFor(unavailable)) << sender.listRequests << " list requests";
    const int requests = sender.listRequests;
    EXPECT_EQ(requests, 2);
    EXPECT_FALSE(bea.file(kept.id())->unavailable);
    wait(std::chrono::seconds(60));
    EXPECT_EQ(sender.listRequests, requests);
    EXPECT_EQ(wantsForGone(), 1);
    EXPECT_TRUE(unavailable());
}

// An empty offer has no block to ask for: listed once, it is done; the
// receiver makes the file when it takes the download.
TEST(PlainPeer, AnEmptyOfferIsListedOnceAndMadeWhenTaken)
{
    // Sending: a plain receiver that calls twice is offered it once.
    Node ada(QStringLiteral("Ada"));
    ada.listen();
    PlainPeer pat(QStringLiteral("Pat"));
    ada->addUsers({pat.card()});
    const QUuid empty = ada.share(QStringLiteral("empty.txt"), 0, {pat.key()});
    QList<QStringList> offered;
    for (int call = 0; call < 2; ++call) {
        pat.lists.clear();
        ASSERT_TRUE(pat.connectTo(ada.card()));
        ASSERT_TRUE(waitFor([&] { return !pat.lists.isEmpty(); }));
        offered.append(test::namesOf(pat.lists.first()));
        pat.close();
    }
    EXPECT_EQ(offered, (QList<QStringList>{{"empty.txt"}, {}}));
    EXPECT_TRUE(ada.file(empty)->transferred());

    // Receiving: the file exists once the download has finished.
    test::OneDownload d(0, QStringLiteral("nothing.txt"));
    ASSERT_TRUE(d.start());
    ASSERT_TRUE(d.node.finishedCount(1));
    EXPECT_TRUE(QFile::exists(d.target()));
    EXPECT_EQ(QFile(d.target()).size(), 0);
}

// A hand-made sender: the handshake by hand over a socket, so that it can
// send frames no framer of ours would.
class HandSender {
public:
    explicit HandSender(Node& node) { node->addUsers({User(QStringLiteral("Hand"), QStringLiteral("127.0.0.1"), std::nullopt, m_hand.publicKey())}); }
    bool connectTo(Node& node)
    {
        m_socket.connectToHost(QStringLiteral("127.0.0.1"), node->me()->port.value_or(0));
        if (!m_socket.waitForConnected(5000))
            return false;
        m_socket.write(m_hand.record());
        QByteArray record;
        waitFor([&] {
            record.append(m_socket.readAll());
            return record.size() >= 132;
        });
        if (record.size() < 132)
            return false;
        m_key = m_hand.connectionKey(record.left(132));
        return true;
    }
    void send(MessageType type, const QByteArray& payload) { m_socket.write(test::sealFrame(m_key, rawValue(type), payload)); }
    QByteArray key() const { return m_hand.publicKey(); }

private:
    test::HandPeer m_hand;
    QTcpSocket m_socket;
    crypto::Key32 m_key{};
};

// What a list message carries that cannot be taken costs that much and no
// more: the rest of the list, and the messages after it, arrive.
TEST(PlainPeer, WhatAListCannotCarryIsRefusedAloneWithALogLine)
{
    const File good1 = listed(QStringLiteral("a.bin"), 5, QByteArray(32, 'h'));
    const File good2 = listed(QStringLiteral("b.bin"), 6, QByteArray(32, 'h'));
    const File after = listed(QStringLiteral("after.bin"), 7, QByteArray(32, 'h'));
    const QUuid badId = QUuid::createUuid();
    const auto entry = [](const File& f) { return toPlist(FileProxy{f.id(), f.file}); };
    const auto withLength = [&](std::int64_t length, std::int64_t blocks) {
        plist::Dictionary d = *toPlist(FileProxy{badId, File2(QStringLiteral("c.bin"), std::nullopt, 7)}).as<plist::Dictionary>();
        d[1].second = plist::Dictionary{{"name", "c.bin"}, {"length", length}, {"numberOfBlocks", blocks}};
        return plist::Value(d);
    };
    const QString byId = QStringLiteral("Refused list entry %1: ").arg(idText(badId));
    struct Case {
        const char* what;
        QByteArray payload;
        QStringList kept;
        QString line;
    };
    const Case cases[] = {
        {"an entry that is no record", plistToBytes(plist::Array{entry(good1), plist::Value("not a record"), entry(good2)}),
         {"a.bin", "b.bin"}, QStringLiteral("Refused list entry number 1: ")},
        {"a negative length", plistToBytes(plist::Array{entry(good1), withLength(-7, 1), entry(good2)}), {"a.bin", "b.bin"}, byId},
        {"blocks that do not match the length",
         plistToBytes(plist::Array{entry(good1), withLength(7, 3), entry(good2)}), {"a.bin", "b.bin"}, byId},
        {"no entry that can be read", plistToBytes(plist::Array{plist::Value(1)}), {}, QStringLiteral("Refused list entry number 0: ")},
        {"a message above 16 MiB", QByteArray(Framer::kMaxPayloadLength + 1, 'x'), {},
         QStringLiteral("Dropped a message of type 2 and %1 bytes from ").arg(Framer::kMaxPayloadLength + 1)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LogCapture log;
        Node bea(QStringLiteral("Bea"));
        bea.listen();
        HandSender hand(bea);
        ASSERT_TRUE(hand.connectTo(bea));
        // A first frame opens the connection: only then is a large one skipped.
        hand.send(MessageType::listRequest, {});
        hand.send(MessageType::list, c.payload);
        hand.send(MessageType::list, plistToBytes(plist::Array{entry(after)}));
        ASSERT_TRUE(waitFor([&] { return bea.file(after.id()) != nullptr; }, 20000));
        QStringList names;
        for (const File& f : bea.engine().files())
            names.append(f.name());
        EXPECT_EQ(names, c.kept + QStringList{"after.bin"});
        EXPECT_EQ(log.startingWith(c.line).size(), 1) << log.lines().join('\n').toStdString();
    }
}

}  // namespace
}  // namespace vortan
