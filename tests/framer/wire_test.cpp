// The bytes on the wire, checked against values computed outside this code
// base: records and frames as literal bytes, and the frames the framer writes
// opened with a key from our own derivation.

#include "tests/framer/framertestsupport.h"

#include <gtest/gtest.h>

namespace vortan::test {
namespace {

QByteArray hex(const char* text) { return QByteArray::fromHex(text); }

// Identity keys: RFC 8032 section 7.1 TEST 1 (ours) and TEST 2 (the peer's).
// Agreement keys: RFC 7748 section 6.1, Alice (ours) and Bob (the peer's).
const char* const kOurIdentity = "9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60";
const char* const kPeerIdentity = "4ccd089b28ff96da9db6c346ec114e0f5b8a319f35aba624da8cf6ed4fb8a6fb";
const char* const kOurAgreement = "77076d0a7318a57d3c16c17251b26645df4c2f87ebc0992ab177fba51db92c2a";

// Our record: version 1, our identity key, Alice's X25519 key, and the Ed25519
// signature over the two keys.
const char* const kOurRecord =
    "01000000"
    "d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a"
    "8520f0098930a754748b7ddcb43ef75a0dbf3a0d26381af4eba4a98eaa9b4e6a"
    "8204886d74093f541e225df7bad304dac55655ac56daa2d6379016b8b2084533"
    "c9034dbd41d1dda5ab4c5a264adb1ce3eb4d8a7e3522eaa2492ce96da8e04900";

const char* const kPeerRecord =
    "01000000"
    "3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c"
    "de9edb7d7b7dc1b4d35b61c2ece435373f8343c85b78674dadfc7e146f882b4f"
    "d4c7ae3bb941526b919e7cb4111a1c5c7a3c8976b51e50b7ccc5274b9276e0d4"
    "701e850a9e01c065f70d7307ba634c594c13eaedc8a206f6c603a115c0146107";

// HKDF-SHA256 of the RFC 7748 shared secret, salt "Tolvane", no info.
const char* const kConnectionKey = "fd95db3f6e3944de19dfb96ce323c47e133ca136683c8272006bb47316245c60";

// A data message "hello" under that key with nonce 00 01 .. 0b:
// L = 37, nonce, ciphertext of 04 00 00 00 'h' 'e' 'l' 'l' 'o', tag.
const char* const kHelloFrame =
    "25000000"
    "000102030405060708090a0b"
    "a71f5a69bfe37c0f98"
    "6615e6e55bed7bcdec1a55fe48d1e622";

struct GoldenFramer {
    crypto::SigningKey identity = crypto::SigningKey::fromRaw(view(hex(kOurIdentity)));
    std::unique_ptr<KeyHelper> keys = makeKeyHelper(identity);
    Framer framer{*keys, crypto::AgreementKey::fromRaw(view(hex(kOurAgreement)))};
    Recorder seen;

    GoldenFramer()
    {
        const auto peer = crypto::SigningKey::fromRaw(view(hex(kPeerIdentity)));
        keys->setAllowedUsers({User(QStringLiteral("Bob"), std::nullopt, std::nullopt,
                                    toQByteArray(peer.publicKey()))});
        framer.setEndpoints(testEndpoints());
        seen.attach(framer);
    }
};

TEST(WireFormat, OurRecordIsByteExactAndTheLiteralPeerRecordAndFrameAreAccepted)
{
    GoldenFramer golden;
    golden.framer.start();
    EXPECT_EQ(golden.seen.output.toHex(), hex(kOurRecord).toHex());
    golden.framer.input(hex(kPeerRecord) + hex(kHelloFrame));
    EXPECT_EQ(golden.seen.readyCount, 1);
    EXPECT_EQ(golden.seen.failedCount, 0);
    ASSERT_EQ(golden.seen.messages.size(), 1u);
    EXPECT_EQ(golden.seen.messages[0].first, MessageType::data);
    EXPECT_EQ(golden.seen.messages[0].second, QByteArray("hello"));
}

// Every frame we send opens with the derived key to the type's value and the
// payload (empty too), behind the length field and a fresh nonce.
TEST(WireFormat, SentFramesOpenWithTheDerivedKey)
{
    GoldenFramer golden;
    golden.framer.start();
    golden.framer.input(hex(kPeerRecord));
    ASSERT_EQ(golden.framer.state(), Framer::State::ready);
    const crypto::Key32 key = toKey32(hex(kConnectionKey));

    const std::pair<MessageType, std::int32_t> types[] = {{MessageType::invalid, 0},
                                                          {MessageType::listRequest, 1},
                                                          {MessageType::list, 2},
                                                          {MessageType::want, 3},
                                                          {MessageType::data, 4}};
    QByteArray lastNonce;
    for (const QByteArray& payload : {QByteArray("a list payload"), QByteArray()}) {
        for (const auto& [type, raw] : types) {
            golden.seen.output.clear();
            ASSERT_TRUE(golden.framer.send(type, payload));
            const QByteArray frame = golden.seen.output;
            ASSERT_EQ(frame.size(), 4 + 12 + 4 + payload.size() + 16);
            EXPECT_EQ(frame.left(4), le32(static_cast<std::int32_t>(payload.size()) + 32));
            crypto::Bytes plaintext;
            ASSERT_TRUE(crypto::Aes256Gcm(key).open(view(frame.mid(4)), plaintext));
            EXPECT_EQ(toQByteArray(plaintext), le32(raw) + payload);
            EXPECT_NE(frame.mid(4, 12), lastNonce);
            lastNonce = frame.mid(4, 12);
        }
    }
    EXPECT_EQ(golden.seen.output.left(4), hex("20000000"));

    // And an empty payload is delivered as one.
    golden.framer.input(sealFrame(key, 1, QByteArray()));
    ASSERT_EQ(golden.seen.messages.size(), 1u);
    EXPECT_EQ(golden.seen.messages[0].first, MessageType::listRequest);
    EXPECT_TRUE(golden.seen.messages[0].second.isEmpty());
}

}  // namespace
}  // namespace vortan::test
