#include "vortan/tor/onionkeys.h"

#include "tests/framer/memorysecretstore.h"
#include "vortan/keys/keyhelper.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>
#include <sodium.h>

#include <ostream>

namespace vortan {
namespace {

constexpr int kPythonTimeoutMs = 30000;

crypto::Bytes hex(const QString& text)
{
    const QByteArray bytes = QByteArray::fromHex(text.toLatin1());
    return crypto::Bytes(bytes.begin(), bytes.end());
}

template <typename Container>
QString hexOf(const Container& c)
{
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(c.data()), static_cast<qsizetype>(c.size())).toHex());
}

// The script's values for the pair (service seed, client seed).
QJsonObject pythonVectors(const QString& serviceSeed, const QString& clientSeed)
{
    QProcess python;  // killed by its destructor if still running
    python.start(VORTAN_PYTHON3,
                 {QStringLiteral(VORTAN_SOURCE_DIR "/tests/tor/onion_vectors.py"), serviceSeed, clientSeed});
    if (!python.waitForFinished(kPythonTimeoutMs) || python.exitStatus() != QProcess::NormalExit
        || python.exitCode() != 0) {
        ADD_FAILURE() << "onion_vectors.py failed: " << python.readAllStandardError().toStdString();
        return {};
    }
    return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
}

struct SeedPair {
    const char* service;
    const char* client;
    friend void PrintTo(const SeedPair& pair, std::ostream* out) { *out << pair.service << " / " << pair.client; }
};

// RFC 8032's test seeds 1 to 3, and one of all ones.
constexpr SeedPair kPairs[] = {
    {"9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60",
     "4ccd089b28ff96da9db6c346ec114e0f5b8a319f35aba624da8cf6ed4fb8a6fb"},
    {"c5aa8df43f9f837bedb7442f31dcb7b166d38535076f094b85ce3a2e0b4458f7",
     "9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60"},
    {"ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff",
     "c5aa8df43f9f837bedb7442f31dcb7b166d38535076f094b85ce3a2e0b4458f7"},
};

class OnionVectors : public testing::TestWithParam<SeedPair> {};

// Both ends' keys against the independent script. The service end derives
// through its KeyHelper, which holds the seed; the client through the
// functions it calls.
TEST_P(OnionVectors, MatchIndependentImplementation)
{
    const QString serviceSeed = QString::fromLatin1(GetParam().service);
    const QString clientSeed = QString::fromLatin1(GetParam().client);
    const QJsonObject expected = pythonVectors(serviceSeed, clientSeed);
    ASSERT_FALSE(expected.isEmpty());
    const QJsonObject service = expected[QStringLiteral("service")].toObject();
    const QJsonObject client = expected[QStringLiteral("client")].toObject();

    const crypto::SigningKey serviceIdentity = crypto::SigningKey::fromRaw(hex(serviceSeed));
    const std::unique_ptr<KeyHelper> owner = test::makeKeyHelper(serviceIdentity);
    const crypto::Key32 servicePublic = serviceIdentity.publicKey();
    const crypto::Bytes clientPublic = hex(client[QStringLiteral("public")].toString());
    ASSERT_EQ(hexOf(servicePublic), service[QStringLiteral("public")].toString());

    // The blinded pair: secret from the seed, public from the card alone.
    const std::optional<OnionExpandedKey> expanded = owner->onionServiceKey();
    const std::optional<crypto::Key32> blinded = onionServicePublicKey(servicePublic);
    ASSERT_TRUE(expanded && blinded);
    EXPECT_EQ(hexOf(*expanded), service[QStringLiteral("expandedSecret")].toString());
    EXPECT_EQ(hexOf(*blinded), service[QStringLiteral("blindedPublic")].toString());
    crypto::Key32 fromSecret{};
    ASSERT_EQ(crypto_scalarmult_ed25519_base_noclamp(fromSecret.data(), expanded->data()), 0);
    EXPECT_EQ(fromSecret, *blinded) << "a'B differs from hA";
    EXPECT_EQ(onionAddressOf(servicePublic), service[QStringLiteral("address")].toString());
    const QByteArray expandedBytes(reinterpret_cast<const char*>(expanded->data()), 64);
    EXPECT_EQ(torformat::addOnionKey(*expanded), "ED25519-V3:" + QString::fromLatin1(expandedBytes.toBase64()));

    // Client authorization: both ends derive the same key.
    const std::optional<crypto::Key32> byOwner = owner->onionClientAuthKey(
        QByteArray(reinterpret_cast<const char*>(clientPublic.data()), 32), OnionAuthRole::serviceOwner);
    const std::optional<crypto::Key32> byClient =
        onionClientAuthKey(hex(clientSeed), servicePublic, OnionAuthRole::client);
    ASSERT_TRUE(byOwner && byClient);
    EXPECT_EQ(hexOf(*byOwner), expected[QStringLiteral("authKeyByService")].toString());
    EXPECT_EQ(hexOf(*byClient), expected[QStringLiteral("authKeyByClient")].toString());
    const std::optional<crypto::Key32> authPublic = onionClientAuthPublicKey(*byOwner);
    ASSERT_TRUE(authPublic);
    EXPECT_EQ(hexOf(*authPublic), expected[QStringLiteral("authPublic")].toString());
    EXPECT_EQ(torformat::clientAuthV3(*authPublic), expected[QStringLiteral("clientAuthV3")].toString());
}

INSTANTIATE_TEST_SUITE_P(Seeds, OnionVectors, testing::ValuesIn(kPairs));

struct BadKey {
    const char* what;
    const char* hex;
};

constexpr BadKey kBadKeys[] = {
    {"empty", ""},
    {"31 bytes", "d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f70751"},
    {"33 bytes", "d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a00"},
    {"not on the curve (y = 2)", "0200000000000000000000000000000000000000000000000000000000000000"},
    {"the neutral element", "0100000000000000000000000000000000000000000000000000000000000000"},
    {"order 2", "ecffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f"},
    {"order 4", "0000000000000000000000000000000000000000000000000000000000000000"},
    {"y = p, not canonical", "edffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f"},
    {"a key plus a point of order 4", "40c7570f4dd54835b9131184410ed4a0cc93e7d9ad053cbc6d07a62426999582"},
};

TEST(OnionKeys, RefuseUnusablePublicKeys)
{
    const crypto::Bytes seed = hex(QString::fromLatin1(kPairs[0].service));
    for (const BadKey& bad : kBadKeys) {
        SCOPED_TRACE(bad.what);
        const crypto::Bytes key = hex(QString::fromLatin1(bad.hex));
        EXPECT_FALSE(onionServicePublicKey(key));
        EXPECT_FALSE(onionAddressOf(key));
        EXPECT_FALSE(onionClientAuthKey(seed, key, OnionAuthRole::client));
        EXPECT_FALSE(onionClientAuthKey(seed, key, OnionAuthRole::serviceOwner));
    }
    EXPECT_FALSE(onionServiceSecretKey(crypto::Bytes(31)));
    EXPECT_FALSE(onionClientAuthKey(crypto::Bytes(31), hex(QString::fromLatin1(kPairs[0].client)),
                                    OnionAuthRole::client));
}

}  // namespace
}  // namespace vortan
