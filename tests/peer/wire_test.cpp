// The payloads of a PeerConnection's messages as they are on the wire, and
// what it makes of payloads a peer gets wrong. The far side is a framer over
// a raw socket, driven by the test; property lists are checked with Python's
// plistlib.

#include "tests/framer/framertestsupport.h"
#include "tests/peer/peertestsupport.h"
#include "vortan/peer/messages.h"
#include "vortan/peer/peerconnection.h"
#include "vortan/records/coding.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>

#include <gtest/gtest.h>

using namespace vortan;
using namespace vortan::test;

namespace {

// plistlib's reading of a binary property list, as JSON (data as hex).
QJsonValue plistlibRead(const QByteArray& plist)
{
    QProcess python;
    python.start(QStringLiteral(VORTAN_PYTHON3),
                 {QStringLiteral("-c"),
                  QStringLiteral("import json, plistlib, sys\n"
                                 "value = plistlib.loads(sys.stdin.buffer.read())\n"
                                 "print(json.dumps(value, default=lambda b: b.hex()))\n")});
    if (!python.waitForStarted(10000))
        return {};
    python.write(plist);
    python.closeWriteChannel();
    if (!python.waitForFinished(20000) || python.exitCode() != 0)
        return {};
    const QJsonDocument document = QJsonDocument::fromJson("[" + python.readAllStandardOutput() + "]");
    return document.array().at(0);
}

// The UUID's 16 bytes in the order its text spells them.
QByteArray uuidBytesFromText(const QUuid& id)
{
    return QByteArray::fromHex(id.toString(QUuid::WithoutBraces).remove(QLatin1Char('-')).toLatin1());
}

class WireTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
        QObject::connect(&server, &QTcpServer::newConnection,
                         [this] { bob.adoptAccepted(server.nextPendingConnection()); });
        toBob = call(people.alice, server.serverPort(), people.bob.key(), &alice);
        ASSERT_TRUE(waitFor([this] { return bob.ready && alice.has("ready"); }));
    }
    void TearDown() override
    {
        if (toBob)
            toBob->connection()->cancel();
    }

    // What Bob's framer received, waiting for count messages.
    const std::vector<std::pair<MessageType, QByteArray>>& bobReceives(size_t count)
    {
        EXPECT_TRUE(waitFor([&] { return bob.received.size() >= count; }));
        return bob.received;
    }

    LogCapture log;
    Pair people;
    QTcpServer server;
    FramedPeer bob{*people.bob.keys};
    RecordingDelegate alice;
    std::shared_ptr<PeerConnection> toBob;
};

}  // namespace

// A list request is "hello"; a data payload is the block index, the id and
// the block.
TEST_F(WireTest, AListRequestIsHelloAndADataPayloadIsIndexThenIdThenBlock)
{
    const QUuid id = QUuid::fromString(QStringLiteral("00112233-4455-6677-8899-aabbccddeeff"));
    toBob->sendListRequest();
    toBob->sendData("block bytes", 0x01020304, id, {});
    toBob->sendData(QByteArray(), 7, id, {});
    const auto& received = bobReceives(3);
    ASSERT_EQ(received.size(), 3u);
    EXPECT_EQ(received[0].first, MessageType::listRequest);
    EXPECT_EQ(received[0].second, QByteArray("hello"));
    EXPECT_EQ(received[1].first, MessageType::data);
    EXPECT_EQ(received[1].second, QByteArray::fromHex("04030201") + QByteArray::fromHex("00112233445566778899aabbccddeeff")
                                      + QByteArray("block bytes"));
    // An empty block still carries its 20-byte header.
    EXPECT_EQ(received[2].second, le32(7) + uuidBytesFromText(id));
}

TEST_F(WireTest, AListIsAnArrayOfEntriesWithoutLocations)
{
    const File offered(File2(QStringLiteral("Ä report.pdf"), QUrl::fromLocalFile(QStringLiteral("/tmp/x.pdf")), 131073),
                       people.bob.key());
    toBob->sendList({offered});
    const auto& received = bobReceives(1);
    ASSERT_EQ(received.size(), 1u);
    ASSERT_EQ(received[0].first, MessageType::list);

    const QJsonValue value = plistlibRead(received[0].second);
    ASSERT_TRUE(value.isArray());
    const QJsonArray entries = value.toArray();
    ASSERT_EQ(entries.size(), 1);
    const QJsonObject entry = entries[0].toObject();
    EXPECT_EQ(entry.keys(), (QStringList{"file", "id"}));
    EXPECT_EQ(entry["id"].toString().toLower(), offered.id().toString(QUuid::WithoutBraces));
    const QJsonObject file = entry["file"].toObject();
    EXPECT_EQ(file.keys(), (QStringList{"length", "name", "numberOfBlocks"}));
    EXPECT_EQ(file["name"].toString(), QStringLiteral("Ä report.pdf"));
    EXPECT_EQ(file["length"].toInteger(), 131073);
    EXPECT_EQ(file["numberOfBlocks"].toInteger(), 2);
}

TEST_F(WireTest, AWantIsTheIdAndTheRunsOfBlocks)
{
    BlockSet blocks = BlockSet::range(0, 3);
    blocks.insert(7);
    const QUuid id = QUuid::createUuid();
    toBob->sendWant(blocks, id);
    const auto& received = bobReceives(1);
    ASSERT_EQ(received.size(), 1u);
    ASSERT_EQ(received[0].first, MessageType::want);

    const QJsonObject want = plistlibRead(received[0].second).toObject();
    EXPECT_EQ(want.keys(), (QStringList{"blocks", "fileID"}));
    EXPECT_EQ(want["fileID"].toString().toLower(), id.toString(QUuid::WithoutBraces));
    const QJsonArray runs = want["blocks"].toObject()["indexes"].toArray();
    ASSERT_EQ(runs.size(), 2);
    EXPECT_EQ(runs[0].toObject()["location"].toInteger(), 0);
    EXPECT_EQ(runs[0].toObject()["length"].toInteger(), 3);
    EXPECT_EQ(runs[1].toObject()["location"].toInteger(), 7);
    EXPECT_EQ(runs[1].toObject()["length"].toInteger(), 1);
}

// --- what a peer may get wrong ---------------------------------------------

TEST_F(WireTest, AReceivedListNeverCarriesTheSendersLocation)
{
    FileProxy proxy{QUuid::createUuid(),
                    File2(QStringLiteral("x.bin"), QUrl::fromLocalFile(QStringLiteral("/etc/passwd")), 5)};
    ASSERT_TRUE(bob.send(MessageType::list, toBytes(QList<FileProxy>{proxy})));
    ASSERT_TRUE(waitFor([&] { return alice.has("list"); }));
    const QList<File>& files = alice.last("list")->files;
    ASSERT_EQ(files.size(), 1);
    EXPECT_EQ(files[0].id(), proxy.id);
    EXPECT_FALSE(files[0].location().has_value());
    EXPECT_TRUE(files[0].download && files[0].paused);
    EXPECT_EQ(files[0].user, people.bob.key());
}

// Bytes that are no property list, or a well-formed one of the wrong shape.
TEST_F(WireTest, PayloadsThatDoNotDecodeAreReportedAndTheNextMessageStillArrives)
{
    ASSERT_TRUE(bob.send(MessageType::want, "not a property list"));
    ASSERT_TRUE(bob.send(MessageType::list, "bplist00 nor this"));
    ASSERT_TRUE(bob.send(MessageType::want, toBytes(QList<FileProxy>{})));
    ASSERT_TRUE(bob.send(MessageType::listRequest, "hello"));
    ASSERT_TRUE(waitFor([&] { return alice.has("listRequest"); }));
    EXPECT_EQ(alice.kinds(), (QStringList{"ready", "failToDecode", "failToDecode", "failToDecode", "listRequest"}));
    EXPECT_EQ(alice.events[1].type, MessageType::want);
    EXPECT_EQ(alice.events[2].type, MessageType::list);
    EXPECT_EQ(alice.events[3].type, MessageType::want);
    EXPECT_FALSE(alice.events[1].decodeError.isEmpty());
    EXPECT_TRUE(toBob->connection()->isReady());
}

TEST_F(WireTest, InvalidAndUnknownTypesAreLoggedAndDropped)
{
    ASSERT_TRUE(bob.send(0, "zero"));
    ASSERT_TRUE(bob.send(9, "nine"));
    ASSERT_TRUE(bob.send(-1, "minus one"));
    ASSERT_TRUE(bob.send(MessageType::listRequest, "hello"));
    ASSERT_TRUE(waitFor([&] { return alice.has("listRequest"); }));
    EXPECT_EQ(alice.kinds(), (QStringList{"ready", "listRequest"}));
    EXPECT_EQ(log.lines().filter(QStringLiteral("received invalid message")).size(), 3);
}

TEST_F(WireTest, AShortDataPayloadIsDroppedWithALogLine)
{
    ASSERT_TRUE(bob.send(MessageType::data, QByteArray(19, 'x')));
    ASSERT_TRUE(bob.send(MessageType::data, le32(5) + QByteArray(16, 'i')));
    ASSERT_TRUE(waitFor([&] { return alice.has("data"); }));
    EXPECT_EQ(alice.kinds(), (QStringList{"ready", "data"}));
    EXPECT_TRUE(log.contains(QStringLiteral("received data message too short: 19 bytes")));
    EXPECT_EQ(alice.last("data")->block, 5);
    EXPECT_TRUE(alice.last("data")->data.isEmpty());
    EXPECT_EQ(uuidBytesFromText(alice.last("data")->fileID), QByteArray(16, 'i'));
}
