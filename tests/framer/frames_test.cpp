// Frames after the handshake: authentication, lengths, types, splitting and
// the end of the stream.

#include "tests/framer/framertestsupport.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

namespace vortan::test {
namespace {

struct ReadySide : FramerUnderTest {
    ReadySide()
    {
        if (!handshake())
            ADD_FAILURE() << "handshake did not complete";
    }
    bool failed() const { return framer->state() == Framer::State::failed; }
    // Hands the bytes over in reads of at most `piece` bytes.
    void inPieces(const QByteArray& bytes, qsizetype piece)
    {
        for (qsizetype at = 0; at < bytes.size(); at += piece)
            framer->input(QByteArrayView(bytes).sliced(at, std::min(piece, bytes.size() - at)));
    }
};

// One framer per flipped bit. In one read: any bit of the nonce (bytes
// 4-15), ciphertext (16-24) or tag (25-40). A body in several reads is opened
// as it comes: nothing of it may be delivered when any part of it (nonce,
// type, payload, tag) was altered.
TEST(Frames, AnyFlippedBitInTheBoxFails)
{
    const qsizetype big = 4 + 12 + 4 + 3000 + 16;
    std::vector<std::pair<qsizetype, int>> bits;  // (byte, bit) of the small frame; bit -1: of the big one
    for (qsizetype byte = 4; byte < 4 + 12 + 9 + 16; ++byte) {
        for (int bit = 0; bit < 8; bit += 3)
            bits.emplace_back(byte, bit);
    }
    for (const qsizetype byte : {qsizetype(5), qsizetype(17), qsizetype(18), qsizetype(25), qsizetype(1500),
                                 qsizetype(2900), big - 10, big - 1})
        bits.emplace_back(byte, -1);
    for (const auto& [byte, bit] : bits) {
        SCOPED_TRACE(testing::Message() << "byte " << byte << " bit " << bit);
        ReadySide side;
        QByteArray frame = side.frame(2, bit < 0 ? QByteArray(3000, 'p') : QByteArray("hello"));
        ASSERT_EQ(frame.size(), bit < 0 ? big : 4 + 12 + 9 + 16);
        frame[byte] = static_cast<char>(frame[byte] ^ (bit < 0 ? 0x10 : 1 << bit));
        if (bit < 0)
            side.inPieces(frame, 700);
        else
            EXPECT_EQ(side.framer->input(frame), 0);
        EXPECT_TRUE(side.failed());
        EXPECT_EQ(side.seen.failedCount, 1);
        EXPECT_TRUE(side.seen.messages.empty());
    }
}

TEST(Frames, UnknownTypesArriveAsInvalid)
{
    ReadySide side;
    for (const std::int32_t raw : {9, -1, 6, std::numeric_limits<std::int32_t>::min(), 0, 1, 2, 3, 4})
        side.framer->input(side.frame(raw, QByteArray::number(raw)));
    using enum MessageType;
    const std::vector<MessageType> expected = {invalid, invalid, invalid, invalid, invalid, listRequest, list, want, data};
    ASSERT_EQ(side.seen.messages.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(side.seen.messages[i].first, expected[i]) << i;
    EXPECT_EQ(side.seen.messages[0].second, QByteArray("9"));
    EXPECT_FALSE(side.failed());
}

// Zero, negative, or above the bound before any frame has opened: the length
// field alone fails the framer, nothing waits for a body. 27 bytes, too few
// for a nonce and a tag, fail once they are in.
TEST(Frames, ImpossibleLengthsFail)
{
    for (const std::int32_t length : {0, -1, -28, std::numeric_limits<std::int32_t>::min(),
                                      static_cast<std::int32_t>(Framer::kMaxFrameLength + 1),
                                      std::numeric_limits<std::int32_t>::max()}) {
        ReadySide side;
        EXPECT_EQ(side.framer->input(le32(length)), 0) << length;
        EXPECT_TRUE(side.failed()) << length;
    }
    ReadySide side;
    EXPECT_EQ(side.framer->input(le32(27) + QByteArray(26, 'x')), 27);
    EXPECT_FALSE(side.failed());
    side.framer->input(QByteArray(1, 'x'));
    EXPECT_TRUE(side.failed());
}

// 28 to 31 bytes: an authentic box whose plaintext is shorter than a type.
TEST(Frames, AuthenticBoxWithoutRoomForTheTypeFails)
{
    for (int size = 0; size < 4; ++size) {
        ReadySide side;
        crypto::Bytes nonce(crypto::kNonceSize);
        crypto::randomBytes(nonce);
        crypto::Bytes box;
        crypto::Aes256Gcm(side.connectionKey()).seal(nonce, {view(QByteArray(size, 'x'))}, box);
        side.framer->input(le32(static_cast<std::int32_t>(box.size())) + toQByteArray(box));
        EXPECT_TRUE(side.failed()) << size;
        EXPECT_TRUE(side.seen.messages.empty());
    }
}

TEST(Frames, LargestAllowedFrameIsDelivered)
{
    ReadySide side;
    const QByteArray payload(Framer::kMaxPayloadLength, 'p');
    const QByteArray frame = side.frame(2, payload);
    ASSERT_EQ(readLe32(frame, 0), Framer::kMaxFrameLength);
    side.inPieces(frame, 65536);  // socket-sized: the body is collected across reads
    ASSERT_EQ(side.seen.messages.size(), 1u);
    EXPECT_EQ(side.seen.messages[0].second, payload);

    // And a payload above the bound is not sent at all.
    side.seen.output.clear();
    EXPECT_FALSE(side.framer->send(MessageType::list, QByteArray(Framer::kMaxPayloadLength + 1, 'p')));
    EXPECT_TRUE(side.seen.output.isEmpty());
    EXPECT_TRUE(side.framer->send(MessageType::list, payload));
    EXPECT_EQ(side.seen.output.size(), 4 + Framer::kMaxFrameLength);
}

// Once the peer is authenticated, a frame above the bound is opened as it
// comes and dropped: only an authentic one lets the connection go on.
TEST(Frames, AFrameAboveTheBoundIsDroppedAndTheNextOneDelivered)
{
    for (const bool authentic : {true, false}) {
        ReadySide side;
        std::vector<std::pair<MessageType, std::int64_t>> dropped;
        side.framer->setOversizedHandler([&](MessageType type, std::int64_t length) { dropped.emplace_back(type, length); });
        side.framer->input(side.frame(1, "first"));
        QByteArray big = side.frame(2, QByteArray(Framer::kMaxPayloadLength + 1000, 'p'));
        if (!authentic)
            big[big.size() - 1] = char(big[big.size() - 1] ^ 1);
        side.inPieces(big + side.frame(3, "after"), 65536);
        EXPECT_EQ(side.failed(), !authentic);
        ASSERT_EQ(side.seen.messages.size(), authentic ? 2u : 1u);
        if (!authentic)
            continue;
        EXPECT_EQ(side.seen.messages[1], std::make_pair(MessageType::want, QByteArray("after")));
        ASSERT_EQ(dropped.size(), 1u);
        EXPECT_EQ(dropped[0], std::make_pair(MessageType::list, std::int64_t(Framer::kMaxPayloadLength + 1000)));
    }
}

TEST(Frames, RandomCutsOfManyFramesKeepEveryMessage)
{
    ReadySide side;
    QByteArray stream;
    std::vector<QByteArray> sent;
    QRandomGenerator random(1234);
    for (int i = 0; i < 40; ++i) {
        QByteArray payload(static_cast<qsizetype>(random.bounded(0, 131072 + 21)), '\0');
        for (qsizetype j = 0; j < payload.size(); j += 97)
            payload[j] = static_cast<char>(i + j);
        sent.push_back(payload);
        stream += side.frame(4, payload);
    }
    for (qsizetype at = 0; at < stream.size();) {
        const qsizetype piece = std::min<qsizetype>(random.bounded(1, 70000), stream.size() - at);
        side.framer->input(QByteArrayView(stream).sliced(at, piece));
        at += piece;
    }
    ASSERT_EQ(side.seen.messages.size(), sent.size());
    for (std::size_t i = 0; i < sent.size(); ++i)
        EXPECT_EQ(side.seen.messages[i].second, sent[i]) << i;
    EXPECT_FALSE(side.failed());
}

TEST(Frames, WantedLengthFollowsTheStream)
{
    ReadySide side;
    const QByteArray frame = side.frame(2, QByteArray(1000, 'z'));
    EXPECT_EQ(side.framer->input(frame.left(2)), 4);
    EXPECT_EQ(side.framer->input(frame.mid(2, 2)), 1032);
    // Fewer than 512 body bytes are not taken yet.
    EXPECT_EQ(side.framer->input(frame.mid(4, 300)), 1032);
    EXPECT_EQ(side.framer->input(frame.mid(304, 300)), 1032 - 600);
    EXPECT_EQ(side.framer->input(frame.mid(604)), 4);
    EXPECT_EQ(side.seen.messages.size(), 1u);
}

TEST(Frames, BytesWithTheEndOfTheStreamAreNotParsed)
{
    ReadySide side;
    side.framer->input(side.frame(2, "kept"));
    side.framer->input(side.frame(2, "lost"), /*isComplete=*/true);
    side.framer->input(side.frame(2, "after"));
    ASSERT_EQ(side.seen.messages.size(), 1u);
    EXPECT_EQ(side.seen.messages[0].second, QByteArray("kept"));
    EXPECT_FALSE(side.failed());
}

TEST(Frames, FailureIsTerminal)
{
    ReadySide side;
    QByteArray bad = side.frame(2, "bad");
    bad[bad.size() - 1] = static_cast<char>(bad[bad.size() - 1] ^ 1);
    side.framer->input(bad + side.frame(2, "good"));
    EXPECT_TRUE(side.failed());
    side.framer->input(side.frame(2, "later"));
    EXPECT_TRUE(side.seen.messages.empty());
    EXPECT_EQ(side.seen.failedCount, 1);
    side.seen.output.clear();
    EXPECT_FALSE(side.framer->send(MessageType::data, "x"));
    EXPECT_TRUE(side.seen.output.isEmpty());
}

TEST(Frames, HandlersMayReplyOrDestroyTheFramer)
{
    ReadySide side;
    side.seen.output.clear();
    // A reply sent from inside the message handler goes out at once.
    side.framer->setMessageHandler([&](MessageType, const QByteArray& payload) {
        side.framer->send(MessageType::data, payload + "!");
        if (payload == "stop")
            side.framer.reset();
    });
    side.framer->input(side.frame(1, "a") + side.frame(1, "stop") + side.frame(1, "never"));
    EXPECT_FALSE(side.framer);

    crypto::Aes256Gcm cipher(side.connectionKey());
    crypto::Bytes plaintext;
    const QByteArray& out = side.seen.output;
    const qsizetype first = 4 + readLe32(out, 0);
    ASSERT_TRUE(cipher.open(view(out.mid(4, first - 4)), plaintext));
    EXPECT_EQ(toQByteArray(plaintext).mid(4), QByteArray("a!"));
    ASSERT_TRUE(cipher.open(view(out.mid(first + 4)), plaintext));
    EXPECT_EQ(toQByteArray(plaintext).mid(4), QByteArray("stop!"));
}

}  // namespace
}  // namespace vortan::test
