// The handshake record from the peer: acceptance, refusals, buffering and the
// key-store entry.

#include "tests/framer/framertestsupport.h"

#include <gtest/gtest.h>

namespace vortan::test {
namespace {

const QString kReceived = QStringLiteral("received key and signature, version: ");

TEST(Handshake, SuccessLogsEachStepInOrder)
{
    LogCapture log;
    FramerUnderTest side;
    ASSERT_TRUE(side.handshake());
    EXPECT_EQ(side.seen.readyCount, 1);
    const QStringList expected = {QStringLiteral("start()"),
                                  QStringLiteral("send keys"),
                                  QStringLiteral("found key in keychain"),
                                  QStringLiteral("handleHandshakeInput()"),
                                  kReceived + QStringLiteral("1"),
                                  QStringLiteral("signature valid"),
                                  QStringLiteral("handshake done with Peer.")};
    EXPECT_EQ(log.lines(), expected);
}

TEST(Handshake, RecordIsTakenOnlyWhenAll132BytesAreThere)
{
    LogCapture log;
    FramerUnderTest side;
    const QByteArray record = side.peer.record();
    EXPECT_EQ(side.framer->input(record.left(131)), 132);
    EXPECT_EQ(side.framer->state(), Framer::State::handshaking);
    EXPECT_TRUE(log.startingWith(kReceived).isEmpty());
    side.framer->input(record.mid(131));
    EXPECT_EQ(side.framer->state(), Framer::State::ready);
    EXPECT_EQ(log.startingWith(kReceived), QStringList{kReceived + QStringLiteral("1")});
    EXPECT_EQ(log.startingWith(QStringLiteral("handleHandshakeInput()")).size(), 2);
}

// The signature does not cover the version: 0x00400001 is version 1 with a
// flipped bit.
TEST(Handshake, VersionIsLoggedAndOtherwiseIgnored)
{
    for (const std::int32_t version : {7, -1, 0x01000001, 0x00400001}) {
        LogCapture log;
        FramerUnderTest side;
        side.framer->input(side.peer.record(version));
        EXPECT_EQ(side.framer->state(), Framer::State::ready) << version;
        EXPECT_TRUE(log.contains(kReceived + QString::number(version)));
    }
}

// Each refusal fails the framer once, stores no key and parses nothing that
// came after the record. The last three come after a valid signature: a
// low-order agreement key (zero, or the point of order 1), or no endpoints
// to file the peer's key under.
TEST(Handshake, RefusedRecords)
{
    const auto allowOther = [](FramerUnderTest& side) {
        side.keys->setAllowedUsers({User(QStringLiteral("Other"), std::nullopt, std::nullopt, HandPeer().publicKey())});
    };
    const auto allowNobody = [](FramerUnderTest& side) { side.keys->setAllowedUsers({}); };
    const auto honest = [](FramerUnderTest& side) { return side.peer.record(); };
    // The allowed key, but the keys signed by somebody else.
    const auto impostor = [](FramerUnderTest& side) {
        const HandPeer other;
        const QByteArray keys = side.peer.publicKey() + toQByteArray(other.agreement.publicKey());
        return le32(1) + keys + toQByteArray(other.identity.sign(view(keys)));
    };
    const auto flipped = [](int offset) {
        return [offset](FramerUnderTest& side) {
            QByteArray record = side.peer.record();
            record[offset] = static_cast<char>(record[offset] ^ 0x01);
            return record;
        };
    };
    const auto agreement = [](QByteArray key) {
        return [key](FramerUnderTest& side) {
            const QByteArray keys = side.peer.publicKey() + key;
            return le32(1) + keys + toQByteArray(side.peer.identity.sign(view(keys)));
        };
    };
    QByteArray one(32, '\0');
    one[0] = 1;
    struct Case {
        const char* what;
        std::function<void(FramerUnderTest&)> setup;
        std::function<QByteArray(FramerUnderTest&)> record;
        const char* logged;  // the last line
        bool endpoints = true;
    };
    const Case cases[] = {
        {"unknown key", allowOther, honest, "user not allowed"},
        {"no allowed users", allowNobody, honest, "user not allowed"},
        {"signed by another key", nullptr, impostor, "signature not valid"},
        {"agreement key altered", nullptr, flipped(36), "signature not valid"},
        {"signature altered", nullptr, flipped(68), "signature not valid"},
        {"agreement key zero", nullptr, agreement(QByteArray(32, '\0')), "signature valid"},
        {"agreement key of order 1", nullptr, agreement(one), "signature valid"},
        {"no endpoints", nullptr, honest, "signature valid", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LogCapture log;
        FramerUnderTest side(/*allowPeer=*/true, /*start=*/true, c.endpoints);
        if (c.setup)
            c.setup(side);
        side.framer->input(c.record(side) + side.frame(2, "one"));
        EXPECT_EQ(side.framer->state(), Framer::State::failed);
        EXPECT_EQ(side.seen.failedCount, 1);
        EXPECT_EQ(side.seen.readyCount, 0);
        EXPECT_TRUE(side.seen.messages.empty());
        EXPECT_EQ(log.lines().last(), QString::fromLatin1(c.logged));
        EXPECT_EQ(log.contains(QStringLiteral("signature valid")), c.logged == std::string_view("signature valid"));
        EXPECT_FALSE(side.keys->peerKey(testEndpoints()));
    }
    // Nothing more is taken once the record is refused.
    FramerUnderTest side(/*allowPeer=*/false);
    EXPECT_EQ(side.framer->input(side.peer.record()), 0);
}

// The peer's key is filed under the endpoints before ready; frames in the
// record's read follow ready, in order.
TEST(Handshake, RecordAndFirstFramesInOneRead)
{
    FramerUnderTest side;
    QStringList order;
    std::optional<QByteArray> atReady;
    side.framer->setReadyHandler([&] {
        atReady = side.keys->peerKey(testEndpoints());
        order.append(QStringLiteral("ready"));
    });
    side.framer->setMessageHandler(
        [&](MessageType, const QByteArray& payload) { order.append(QString::fromLatin1(payload)); });
    side.framer->input(side.peer.record() + side.frame(2, "one") + side.frame(3, "two") + side.frame(4, "thr"));
    EXPECT_EQ(order, QStringList({"ready", "one", "two", "thr"}));
    EXPECT_EQ(atReady, side.peer.publicKey());
}

TEST(Handshake, RecordArrivingWithTheEndOfTheStreamIsNotParsed)
{
    LogCapture log;
    FramerUnderTest side;
    EXPECT_EQ(side.framer->input(side.peer.record(), /*isComplete=*/true), 132);
    EXPECT_EQ(side.framer->state(), Framer::State::handshaking);
    EXPECT_TRUE(log.startingWith(kReceived).isEmpty());
    // Nothing after the end is parsed either.
    side.framer->input(side.peer.record());
    EXPECT_EQ(side.seen.readyCount, 0);
    EXPECT_TRUE(log.startingWith(kReceived).isEmpty());
}

TEST(Handshake, MessagesBeforeTheHandshakeAreNeverWritten)
{
    FramerUnderTest side(/*allowPeer=*/true, /*start=*/false);
    Framer& framer = *side.framer;
    const Recorder& seen = side.seen;
    const HandPeer& peer = side.peer;

    EXPECT_FALSE(framer.send(MessageType::listRequest, "hello"));
    EXPECT_TRUE(seen.output.isEmpty());
    framer.start();
    EXPECT_FALSE(framer.send(MessageType::listRequest, "hello"));
    EXPECT_EQ(seen.output.size(), 132);
    framer.input(peer.record().left(100));
    EXPECT_FALSE(framer.send(MessageType::listRequest, "hello"));
    EXPECT_EQ(seen.output.size(), 132);

    // The dropped messages stay dropped once the connection is ready.
    framer.input(peer.record().mid(100));
    ASSERT_EQ(framer.state(), Framer::State::ready);
    EXPECT_EQ(seen.output.size(), 132);
}

TEST(Handshake, InputBeforeStartSendsTheRecordFirst)
{
    FramerUnderTest side(/*allowPeer=*/true, /*start=*/false);
    side.framer->input(side.peer.record());
    EXPECT_EQ(side.framer->state(), Framer::State::ready);
    EXPECT_EQ(side.seen.output.size(), 132);
}

class BrokenStore : public SecretStore {
public:
    QString name() const override { return QStringLiteral("broken"); }
    SecretStatus read(const QString&, QByteArray&) override { return {-25293, QStringLiteral("locked")}; }
    SecretStatus add(const QString&, const QString&, const QByteArray&) override { return {-25293, {}}; }
    SecretStatus remove(const QString&) override { return {}; }
};

TEST(Handshake, WithoutAnIdentityNothingIsSent)
{
    KeyHelper keys(std::make_unique<BrokenStore>());
    Framer framer(keys);
    Recorder seen;
    seen.attach(framer);
    framer.start();
    EXPECT_EQ(framer.state(), Framer::State::failed);
    EXPECT_EQ(seen.failedCount, 1);
    EXPECT_TRUE(seen.output.isEmpty());
}

TEST(Handshake, FramerMayBeDestroyedFromItsReadyHandler)
{
    FramerUnderTest side;
    int messages = 0;
    side.framer->setMessageHandler([&](MessageType, const QByteArray&) { ++messages; });
    side.framer->setReadyHandler([&] { side.framer.reset(); });
    const QByteArray bytes = side.peer.record() + side.frame(2, "after");
    side.framer->input(bytes);
    EXPECT_FALSE(side.framer);
    EXPECT_EQ(messages, 0);
}

}  // namespace
}  // namespace vortan::test
