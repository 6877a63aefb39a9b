#include "vortan/tor/onionkeys.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <sodium.h>

#include <algorithm>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

namespace vortan {

namespace {

// Labels that keep each derived value apart from any other use of the same
// input. Changing one changes every address: never do that.
constexpr std::string_view kServiceKeyLabel = "Brenvo onion service key v1";
constexpr std::string_view kServicePrefixLabel = "Brenvo onion service prefix v1";
constexpr std::string_view kClientAuthLabel = "Brenvo onion client auth v1";

constexpr std::string_view kChecksumLabel = ".onion checksum";
constexpr std::uint8_t kOnionVersion = 3;

using Hash64 = std::array<std::uint8_t, 64>;
using Hash32 = std::array<std::uint8_t, 32>;

// Secret bytes, wiped when they go out of scope.
template <std::size_t N>
struct Secret {
    std::array<std::uint8_t, N> bytes{};
    Secret() = default;
    Secret(const Secret&) = delete;
    Secret& operator=(const Secret&) = delete;
    ~Secret() { OPENSSL_cleanse(bytes.data(), N); }
    std::uint8_t* data() { return bytes.data(); }
};

bool sodiumReady()
{
    // sodium_init() is itself thread-safe; the static makes it run once.
    static const bool ready = sodium_init() >= 0;
    return ready;
}

crypto::ByteView view(std::string_view text)
{
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

struct MdCtxDeleter {
    void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};

// The digest of the concatenated parts into out (as many bytes as the digest
// has); false on failure.
bool digest(const EVP_MD* md, std::initializer_list<crypto::ByteView> parts, std::uint8_t* out)
{
    std::unique_ptr<EVP_MD_CTX, MdCtxDeleter> ctx(EVP_MD_CTX_new());
    if (!ctx || EVP_DigestInit_ex(ctx.get(), md, nullptr) != 1)
        return false;
    for (crypto::ByteView part : parts) {
        if (EVP_DigestUpdate(ctx.get(), part.data(), part.size()) != 1)
            return false;
    }
    unsigned int size = 0;
    return EVP_DigestFinal_ex(ctx.get(), out, &size) == 1
           && size == static_cast<unsigned int>(EVP_MD_get_size(md));
}

// The blinding factor h = SHA-512(label || A) mod l.
std::optional<crypto::Key32> blindingFactor(crypto::ByteView identityPublicKey)
{
    Hash64 wide{};
    if (!digest(EVP_sha512(), {view(kServiceKeyLabel), identityPublicKey}, wide.data()))
        return std::nullopt;
    crypto::Key32 h{};
    crypto_core_ed25519_scalar_reduce(h.data(), wide.data());
    return h;
}

bool isUsablePublicKey(crypto::ByteView key)
{
    return key.size() == crypto_core_ed25519_BYTES && crypto_core_ed25519_is_valid_point(key.data()) == 1;
}

}  // namespace

std::optional<OnionExpandedKey> onionServiceSecretKey(crypto::ByteView identitySeed)
{
    if (!sodiumReady() || identitySeed.size() != 32)
        return std::nullopt;
    crypto::Key32 identityPublic{};
    try {
        identityPublic = crypto::SigningKey::fromRaw(identitySeed).publicKey();
    } catch (const crypto::CryptoError&) {
        return std::nullopt;
    }
    const std::optional<crypto::Key32> h = blindingFactor(identityPublic);
    // The standard Ed25519 expansion: a = clamp(H[0..32]), prefix = H[32..64].
    Secret<64> hashed;
    if (!h || !digest(EVP_sha512(), {identitySeed}, hashed.data()))
        return std::nullopt;
    hashed.bytes[0] &= 248;
    hashed.bytes[31] &= 127;
    hashed.bytes[31] |= 64;

    // a' = h * (a mod l) mod l. (libsodium's scalar_mul would reduce a by
    // itself; the reduction is written out as the construction states it.)
    Secret<64> wideA;
    std::copy_n(hashed.bytes.begin(), 32, wideA.bytes.begin());
    Secret<32> a;
    crypto_core_ed25519_scalar_reduce(a.data(), wideA.data());
    OnionExpandedKey out{};
    crypto_core_ed25519_scalar_mul(out.data(), h->data(), a.data());

    // prefix' = SHA-512(label || prefix)[0..32].
    Secret<64> prefix;
    if (!digest(EVP_sha512(), {view(kServicePrefixLabel), crypto::ByteView(hashed.bytes).subspan(32)},
                prefix.data())) {
        OPENSSL_cleanse(out.data(), out.size());
        return std::nullopt;
    }
    std::copy_n(prefix.bytes.begin(), 32, out.begin() + 32);
    return out;
}

std::optional<crypto::Key32> onionServicePublicKey(crypto::ByteView identityPublicKey)
{
    if (!sodiumReady() || !isUsablePublicKey(identityPublicKey))
        return std::nullopt;
    const std::optional<crypto::Key32> h = blindingFactor(identityPublicKey);
    crypto::Key32 blinded{};
    if (!h || crypto_scalarmult_ed25519_noclamp(blinded.data(), h->data(), identityPublicKey.data()) != 0)
        return std::nullopt;
    return blinded;
}

QString onionAddress(const crypto::Key32& servicePublicKey)
{
    const QString id = torformat::serviceId(servicePublicKey);
    return id.isEmpty() ? QString() : id + QStringLiteral(".onion");
}

std::optional<QString> onionAddressOf(crypto::ByteView identityPublicKey)
{
    const std::optional<crypto::Key32> key = onionServicePublicKey(identityPublicKey);
    if (!key)
        return std::nullopt;
    QString address = onionAddress(*key);
    if (address.isEmpty())
        return std::nullopt;
    return address;
}

std::optional<crypto::Key32> onionClientAuthKey(crypto::ByteView ownSeed, crypto::ByteView peerPublicKey,
                                                OnionAuthRole ownRole)
{
    if (!sodiumReady() || ownSeed.size() != 32 || !isUsablePublicKey(peerPublicKey))
        return std::nullopt;
    try {
        const crypto::Key32 ownPublic = crypto::SigningKey::fromRaw(ownSeed).publicKey();
        // libsodium's secret-key form is seed || public key; the conversion
        // hashes and clamps the seed as Ed25519 does.
        Secret<64> ownSecret;
        std::copy(ownSeed.begin(), ownSeed.end(), ownSecret.bytes.begin());
        std::copy(ownPublic.begin(), ownPublic.end(), ownSecret.bytes.begin() + 32);
        Secret<32> ownX;
        crypto::Key32 peerX{};
        if (crypto_sign_ed25519_sk_to_curve25519(ownX.data(), ownSecret.data()) != 0
            || crypto_sign_ed25519_pk_to_curve25519(peerX.data(), peerPublicKey.data()) != 0)
            return std::nullopt;
        // Refuses an all-zero result (a small-order peer key).
        std::optional<crypto::Key32> shared = crypto::AgreementKey::fromRaw(ownX.bytes).sharedSecret(peerX);
        if (!shared)
            return std::nullopt;
        const bool owner = ownRole == OnionAuthRole::serviceOwner;
        const crypto::ByteView serviceKey = owner ? crypto::ByteView(ownPublic) : peerPublicKey;
        const crypto::ByteView clientKey = owner ? peerPublicKey : crypto::ByteView(ownPublic);
        crypto::Bytes info(kClientAuthLabel.begin(), kClientAuthLabel.end());
        info.insert(info.end(), serviceKey.begin(), serviceKey.end());
        info.insert(info.end(), clientKey.begin(), clientKey.end());
        crypto::Bytes derived = crypto::hkdfSha256(*shared, {}, info, 32);
        OPENSSL_cleanse(shared->data(), shared->size());
        crypto::Key32 out{};
        std::copy(derived.begin(), derived.end(), out.begin());
        OPENSSL_cleanse(derived.data(), derived.size());
        return out;
    } catch (const crypto::CryptoError&) {
        return std::nullopt;
    }
}

std::optional<crypto::Key32> onionClientAuthPublicKey(const crypto::Key32& clientAuthKey)
{
    try {
        return crypto::AgreementKey::fromRaw(clientAuthKey).publicKey();
    } catch (const crypto::CryptoError&) {
        return std::nullopt;
    }
}

namespace torformat {

QString base32(crypto::ByteView bytes, Case letterCase)
{
    const char* alphabet = letterCase == Case::lower ? "abcdefghijklmnopqrstuvwxyz234567"
                                                     : "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";
    QString out;
    out.reserve(static_cast<qsizetype>((bytes.size() * 8 + 4) / 5));
    std::uint32_t buffer = 0;
    int bits = 0;
    for (std::uint8_t byte : bytes) {
        buffer = (buffer << 8) | byte;
        bits += 8;
        while (bits >= 5) {
            out += QLatin1Char(alphabet[(buffer >> (bits - 5)) & 31]);
            bits -= 5;
        }
    }
    if (bits > 0)
        out += QLatin1Char(alphabet[(buffer << (5 - bits)) & 31]);
    return out;
}

QString base64(crypto::ByteView bytes)
{
    std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int written = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), bytes.data(),
                                        static_cast<int>(bytes.size()));
    out.resize(static_cast<std::size_t>(std::max(written, 0)));
    return QString::fromLatin1(out.data(), static_cast<qsizetype>(out.size()));
}

QString serviceId(const crypto::Key32& servicePublicKey)
{
    // pub || SHA3-256(".onion checksum" || pub || version)[0..2] || version
    const std::uint8_t version[] = {kOnionVersion};
    Hash32 checksum{};
    if (!digest(EVP_sha3_256(), {view(kChecksumLabel), servicePublicKey, version}, checksum.data()))
        return {};
    std::array<std::uint8_t, 35> raw{};
    std::copy(servicePublicKey.begin(), servicePublicKey.end(), raw.begin());
    raw[32] = checksum[0];
    raw[33] = checksum[1];
    raw[34] = kOnionVersion;
    return base32(raw, Case::lower);
}

QString addOnionKey(const OnionExpandedKey& key) { return QStringLiteral("ED25519-V3:") + base64(key); }

QString clientAuthV3(const crypto::Key32& clientAuthPublicKey) { return base32(clientAuthPublicKey, Case::upper); }

QString clientAuthAddKey(const crypto::Key32& clientAuthKey)
{
    return QStringLiteral("x25519:") + base64(clientAuthKey);
}

}  // namespace torformat

}  // namespace vortan
