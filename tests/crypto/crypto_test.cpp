#include "vortan/crypto/crypto.h"

#include <QByteArray>

#include <gtest/gtest.h>

#include <string_view>

namespace vortan::crypto {
namespace {

Bytes hex(std::string_view text)
{
    const QByteArray bytes = QByteArray::fromHex(QByteArray(text.data(), static_cast<qsizetype>(text.size())));
    return Bytes(bytes.begin(), bytes.end());
}

template <typename Container>
Bytes bytes(const Container& c)
{
    return Bytes(c.begin(), c.end());
}

// RFC 8032, section 7.1, TEST 1.
constexpr std::string_view kEdSecret = "9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60";
constexpr std::string_view kEdPublic = "d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a";
constexpr std::string_view kEdSignature =
    "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e065224901555fb8821590a33bacc61e39701cf9b46bd25bf5f0595bbe"
    "24655141438e7a100b";

// RFC 7748, section 6.1.
constexpr std::string_view kAlicePrivate = "77076d0a7318a57d3c16c17251b26645df4c2f87ebc0992ab177fba51db92c2a";
constexpr std::string_view kAlicePublic = "8520f0098930a754748b7ddcb43ef75a0dbf3a0d26381af4eba4a98eaa9b4e6a";
constexpr std::string_view kBobPrivate = "5dab087e624a8a4b79e17f8b83800ee66f3bb1292618b6fd1c2f8b27ff88e0eb";
constexpr std::string_view kBobPublic = "de9edb7d7b7dc1b4d35b61c2ece435373f8343c85b78674dadfc7e146f882b4f";
constexpr std::string_view kShared = "4a5d9d5ba4ce2de1728e3bf480350f25e07e21c947d19e3376f09b3c1e161742";

TEST(Ed25519, Rfc8032Test1)
{
    const SigningKey key = SigningKey::fromRaw(hex(kEdSecret));
    EXPECT_EQ(bytes(key.publicKey()), hex(kEdPublic));
    EXPECT_EQ(bytes(key.raw()), hex(kEdSecret));
    EXPECT_EQ(bytes(key.sign({})), hex(kEdSignature));
    EXPECT_TRUE(verify(hex(kEdPublic), {}, hex(kEdSignature)));
}

TEST(Ed25519, VerifyRejectsAlteredInput)
{
    Bytes signature = hex(kEdSignature);
    const std::uint8_t one[] = {0};
    EXPECT_FALSE(verify(hex(kEdPublic), one, signature));
    signature[5] ^= 0x10;
    EXPECT_FALSE(verify(hex(kEdPublic), {}, signature));
    EXPECT_FALSE(verify(hex(kEdPublic), {}, Bytes(63)));
    EXPECT_FALSE(verify(Bytes(31), {}, hex(kEdSignature)));
}

TEST(Ed25519, WrongKeyLengthIsAnError)
{
    EXPECT_THROW(SigningKey::fromRaw(Bytes(31)), CryptoError);
    EXPECT_THROW(SigningKey::fromRaw(Bytes(33)), CryptoError);
}

TEST(X25519, Rfc7748Section61)
{
    const AgreementKey alice = AgreementKey::fromRaw(hex(kAlicePrivate));
    const AgreementKey bob = AgreementKey::fromRaw(hex(kBobPrivate));
    EXPECT_EQ(bytes(alice.publicKey()), hex(kAlicePublic));
    EXPECT_EQ(bytes(bob.publicKey()), hex(kBobPublic));
    const auto fromAlice = alice.sharedSecret(hex(kBobPublic));
    const auto fromBob = bob.sharedSecret(hex(kAlicePublic));
    ASSERT_TRUE(fromAlice && fromBob);
    EXPECT_EQ(bytes(*fromAlice), hex(kShared));
    EXPECT_EQ(bytes(*fromBob), hex(kShared));
}

TEST(X25519, LowOrderOrMalformedPeerKeysGiveNoSecret)
{
    const AgreementKey alice = AgreementKey::fromRaw(hex(kAlicePrivate));
    EXPECT_FALSE(alice.sharedSecret(Bytes(32, 0)));
    // The point of order 1 (u = 1) and one of order 8.
    Bytes one(32, 0);
    one[0] = 1;
    EXPECT_FALSE(alice.sharedSecret(one));
    EXPECT_FALSE(alice.sharedSecret(hex("e0eb7a7c3b41b8ae1656e3faf19fc46ada098deb9c32b1fd866205165f49b800")));
    EXPECT_FALSE(alice.sharedSecret(Bytes(31, 9)));
}

TEST(Hkdf, Rfc5869TestCase1)
{
    const Bytes okm = hkdfSha256(Bytes(22, 0x0b), hex("000102030405060708090a0b0c"), hex("f0f1f2f3f4f5f6f7f8f9"), 42);
    EXPECT_EQ(okm, hex("3cb25f25faacd57a90434f64d0362f2a2d2d0a90cf1a5a4c5db02d56ecc4c5bf34007208d5b887185865"));
}

Key32 key32(std::string_view text)
{
    const Bytes b = hex(text);
    Key32 key{};
    std::copy(b.begin(), b.end(), key.begin());
    return key;
}

// Test cases 13 to 15 of Appendix B of McGrew and Viega, "The Galois/Counter
// Mode of Operation (GCM)" (the submission NIST SP 800-38D standardised):
// AES-256, 96-bit IV, no associated data. Boxes are nonce || ciphertext || tag.
struct GcmVector {
    std::string_view key, iv, plaintext, ciphertext, tag;
};
constexpr std::string_view kZeroKey = "0000000000000000000000000000000000000000000000000000000000000000";
const GcmVector kGcmVectors[] = {
    {kZeroKey, "000000000000000000000000", "", "", "530f8afbc74536b9a963b4f1c4cb738b"},
    {kZeroKey, "000000000000000000000000", "00000000000000000000000000000000", "cea7403d4d606b6e074ec5d3baf39d18",
     "d0d1c8a799996bf0265b98b5d48ab919"},
    {"feffe9928665731c6d6a8f9467308308feffe9928665731c6d6a8f9467308308", "cafebabefacedbaddecaf888",
     "d9313225f88406e5a55909c5aff5269a86a7a9531534f7da2e4c303d8a318a721c3c0c95956809532fcf0e2449a6b525b16aedf5aa0de6"
     "57ba637b391aafd255",
     "522dc1f099567d07f47f37a32a84427d643a8cdcbfe5c0c97598a2bd2555d1aa8cb08e48590dbb3da7b08b1056828838c5f61e6393ba7a"
     "0abcc9f662898015ad",
     "b094dac5d93471bdec1a502270e3cc6c"},
};

TEST(AesGcm, McGrewViegaGcmTestCases13To15)
{
    for (const GcmVector& v : kGcmVectors) {
        SCOPED_TRACE(std::string(v.tag));
        Aes256Gcm cipher(key32(v.key));
        const Bytes plaintext = hex(v.plaintext);
        Bytes expected = hex(v.iv);
        for (std::uint8_t b : hex(v.ciphertext))
            expected.push_back(b);
        for (std::uint8_t b : hex(v.tag))
            expected.push_back(b);

        Bytes box;
        cipher.seal(hex(v.iv), {plaintext}, box);
        EXPECT_EQ(box, expected);

        // The same box from a plaintext in two pieces, into a caller's buffer.
        const ByteView whole(plaintext);
        const std::size_t cut = plaintext.size() / 3;
        Bytes into(Aes256Gcm::boxSize(plaintext.size()));
        cipher.sealInto(hex(v.iv), {whole.first(cut), whole.subspan(cut)}, into);
        EXPECT_EQ(into, expected);

        Bytes opened;
        ASSERT_TRUE(cipher.open(expected, opened));
        EXPECT_EQ(opened, plaintext);

        Bytes head(std::min<std::size_t>(4, plaintext.size())), rest(plaintext.size() - head.size());
        ASSERT_TRUE(cipher.openInto(expected, {std::span<std::uint8_t>(head), std::span<std::uint8_t>(rest)}));
        head.insert(head.end(), rest.begin(), rest.end());
        EXPECT_EQ(head, plaintext);
    }
}

TEST(AesGcm, ShortBoxesAndMismatchedBuffersAreRefused)
{
    Aes256Gcm cipher(key32(kZeroKey));
    Bytes opened;
    EXPECT_FALSE(cipher.open(Bytes(27), opened));
    Bytes box;
    cipher.seal(Bytes(12), {Bytes(10, 7)}, box);
    Bytes small(9);
    EXPECT_FALSE(cipher.openInto(box, {std::span<std::uint8_t>(small)}));
    EXPECT_THROW(cipher.seal(Bytes(11), {}, box), CryptoError);
    Bytes wrongSize(Aes256Gcm::boxSize(10) + 1);
    EXPECT_THROW(cipher.sealInto(Bytes(12), {Bytes(10)}, wrongSize), CryptoError);
}

}  // namespace
}  // namespace vortan::crypto
