#include "vortan/crypto/crypto.h"

#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/kdf.h>
#include <openssl/params.h>
#include <openssl/rand.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

namespace vortan::crypto {

void PkeyDeleter::operator()(evp_pkey_st* key) const { EVP_PKEY_free(key); }
void CipherCtxDeleter::operator()(evp_cipher_ctx_st* ctx) const { EVP_CIPHER_CTX_free(ctx); }

namespace {

struct PkeyCtxDeleter {
    void operator()(EVP_PKEY_CTX* ctx) const { EVP_PKEY_CTX_free(ctx); }
};
using PkeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, PkeyCtxDeleter>;

struct MdCtxDeleter {
    void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};
using MdCtxPtr = std::unique_ptr<EVP_MD_CTX, MdCtxDeleter>;

struct KdfDeleter {
    void operator()(EVP_KDF* kdf) const { EVP_KDF_free(kdf); }
};
struct KdfCtxDeleter {
    void operator()(EVP_KDF_CTX* ctx) const { EVP_KDF_CTX_free(ctx); }
};

[[noreturn]] void fail(const char* what)
{
    throw CryptoError(std::string("crypto: ") + what + " failed");
}

PkeyPtr generateKey(int type)
{
    PkeyCtxPtr ctx(EVP_PKEY_CTX_new_id(type, nullptr));
    EVP_PKEY* key = nullptr;
    if (!ctx || EVP_PKEY_keygen_init(ctx.get()) != 1 || EVP_PKEY_keygen(ctx.get(), &key) != 1)
        fail("key generation");
    return PkeyPtr(key);
}

PkeyPtr privateFromRaw(int type, ByteView raw)
{
    if (raw.size() != 32)
        throw CryptoError("crypto: a private key must be 32 bytes, got " + std::to_string(raw.size()));
    EVP_PKEY* key = EVP_PKEY_new_raw_private_key(type, nullptr, raw.data(), raw.size());
    if (!key)
        fail("private key import");
    return PkeyPtr(key);
}

Key32 rawPublic(evp_pkey_st* key)
{
    Key32 out{};
    size_t len = out.size();
    if (EVP_PKEY_get_raw_public_key(key, out.data(), &len) != 1 || len != out.size())
        fail("public key export");
    return out;
}

int intSize(size_t size)
{
    if (size > static_cast<size_t>(INT_MAX))
        throw CryptoError("crypto: buffer too large");
    return static_cast<int>(size);
}

}  // namespace

SigningKey SigningKey::generate() { return SigningKey(generateKey(EVP_PKEY_ED25519)); }

SigningKey SigningKey::fromRaw(ByteView raw) { return SigningKey(privateFromRaw(EVP_PKEY_ED25519, raw)); }

Key32 SigningKey::raw() const
{
    Key32 out{};
    size_t len = out.size();
    if (EVP_PKEY_get_raw_private_key(m_key.get(), out.data(), &len) != 1 || len != out.size())
        fail("private key export");
    return out;
}

Key32 SigningKey::publicKey() const { return rawPublic(m_key.get()); }

Signature SigningKey::sign(ByteView message) const
{
    MdCtxPtr ctx(EVP_MD_CTX_new());
    Signature sig{};
    size_t len = sig.size();
    if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, nullptr, nullptr, m_key.get()) != 1
        || EVP_DigestSign(ctx.get(), sig.data(), &len, message.data(), message.size()) != 1 || len != sig.size())
        fail("signing");
    return sig;
}

bool verify(ByteView publicKey, ByteView message, ByteView signature)
{
    if (publicKey.size() != 32 || signature.size() != 64)
        return false;
    PkeyPtr key(EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, publicKey.data(), publicKey.size()));
    MdCtxPtr ctx(EVP_MD_CTX_new());
    if (!key || !ctx || EVP_DigestVerifyInit(ctx.get(), nullptr, nullptr, nullptr, key.get()) != 1)
        return false;
    return EVP_DigestVerify(ctx.get(), signature.data(), signature.size(), message.data(), message.size()) == 1;
}

AgreementKey AgreementKey::generate() { return AgreementKey(generateKey(EVP_PKEY_X25519)); }

AgreementKey AgreementKey::fromRaw(ByteView raw) { return AgreementKey(privateFromRaw(EVP_PKEY_X25519, raw)); }

Key32 AgreementKey::publicKey() const { return rawPublic(m_key.get()); }

std::optional<Key32> AgreementKey::sharedSecret(ByteView peerPublicKey) const
{
    if (peerPublicKey.size() != 32)
        return std::nullopt;
    PkeyPtr peer(EVP_PKEY_new_raw_public_key(EVP_PKEY_X25519, nullptr, peerPublicKey.data(), peerPublicKey.size()));
    if (!peer)
        return std::nullopt;
    PkeyCtxPtr ctx(EVP_PKEY_CTX_new(m_key.get(), nullptr));
    Key32 secret{};
    size_t len = secret.size();
    // OpenSSL refuses an all-zero X25519 result (a low-order peer key) in derive.
    if (!ctx || EVP_PKEY_derive_init(ctx.get()) != 1 || EVP_PKEY_derive_set_peer(ctx.get(), peer.get()) != 1
        || EVP_PKEY_derive(ctx.get(), secret.data(), &len) != 1 || len != secret.size())
        return std::nullopt;
    if (std::all_of(secret.begin(), secret.end(), [](std::uint8_t b) { return b == 0; }))
        return std::nullopt;
    return secret;
}

Bytes hkdfSha256(ByteView secret, ByteView salt, ByteView info, std::size_t length)
{
    std::unique_ptr<EVP_KDF, KdfDeleter> kdf(EVP_KDF_fetch(nullptr, "HKDF", nullptr));
    if (!kdf)
        fail("HKDF fetch");
    std::unique_ptr<EVP_KDF_CTX, KdfCtxDeleter> ctx(EVP_KDF_CTX_new(kdf.get()));
    if (!ctx)
        fail("HKDF context");
    char digest[] = "SHA256";
    // OSSL_PARAM wants non-const pointers; OpenSSL only reads these buffers.
    auto octets = [](const char* key, ByteView view) {
        return OSSL_PARAM_construct_octet_string(key, const_cast<std::uint8_t*>(view.data()), view.size());
    };
    // OpenSSL refuses a salt parameter without data; left out, the salt is
    // the RFC's default (zeros), which HMAC treats exactly as an empty key.
    OSSL_PARAM params[] = {
        OSSL_PARAM_construct_utf8_string(OSSL_KDF_PARAM_DIGEST, digest, 0),
        octets(OSSL_KDF_PARAM_KEY, secret),
        octets(OSSL_KDF_PARAM_INFO, info),
        salt.empty() ? OSSL_PARAM_construct_end() : octets(OSSL_KDF_PARAM_SALT, salt),
        OSSL_PARAM_construct_end(),
    };
    Bytes out(length);
    if (EVP_KDF_derive(ctx.get(), out.data(), out.size(), params) != 1)
        fail("HKDF derive");
    return out;
}

Aes256Gcm::Aes256Gcm(const Key32& key)
    : m_key(key), m_seal(EVP_CIPHER_CTX_new()), m_open(EVP_CIPHER_CTX_new())
{
    if (!m_seal || !m_open || EVP_EncryptInit_ex(m_seal.get(), EVP_aes_256_gcm(), nullptr, m_key.data(), nullptr) != 1
        || EVP_DecryptInit_ex(m_open.get(), EVP_aes_256_gcm(), nullptr, m_key.data(), nullptr) != 1)
        fail("AES-GCM setup");
}

void Aes256Gcm::seal(ByteView nonce, std::initializer_list<ByteView> parts, Bytes& out)
{
    size_t total = 0;
    for (ByteView part : parts)
        total += part.size();
    const size_t start = out.size();
    out.resize(start + boxSize(total));
    sealInto(nonce, parts, std::span<std::uint8_t>(out).subspan(start));
}

void Aes256Gcm::sealInto(ByteView nonce, std::initializer_list<ByteView> parts, std::span<std::uint8_t> box)
{
    if (nonce.size() != kNonceSize)
        throw CryptoError("crypto: AES-GCM nonce must be 12 bytes");
    size_t total = 0;
    for (ByteView part : parts)
        total += part.size();
    if (box.size() != boxSize(total))
        throw CryptoError("crypto: AES-GCM box buffer has the wrong size");
    std::uint8_t* p = box.data();
    std::memmove(p, nonce.data(), kNonceSize);
    p += kNonceSize;
    if (EVP_EncryptInit_ex(m_seal.get(), nullptr, nullptr, nullptr, nonce.data()) != 1)
        fail("AES-GCM seal");
    for (ByteView part : parts) {
        int written = 0;
        if (!part.empty() && EVP_EncryptUpdate(m_seal.get(), p, &written, part.data(), intSize(part.size())) != 1)
            fail("AES-GCM seal");
        p += written;
    }
    int written = 0;
    if (EVP_EncryptFinal_ex(m_seal.get(), p, &written) != 1)
        fail("AES-GCM seal");
    p += written;
    if (p != box.data() + box.size() - kTagSize)
        fail("AES-GCM seal length");
    if (EVP_CIPHER_CTX_ctrl(m_seal.get(), EVP_CTRL_GCM_GET_TAG, kTagSize, p) != 1)
        fail("AES-GCM tag");
}

bool Aes256Gcm::open(ByteView box, Bytes& plaintext)
{
    if (box.size() < kNonceSize + kTagSize) {
        plaintext.clear();
        return false;
    }
    plaintext.resize(box.size() - kNonceSize - kTagSize);
    if (!openInto(box, {std::span<std::uint8_t>(plaintext)})) {
        plaintext.clear();
        return false;
    }
    return true;
}

bool Aes256Gcm::openInto(ByteView box, std::initializer_list<std::span<std::uint8_t>> plaintext)
{
    if (box.size() < kNonceSize + kTagSize)
        return false;
    const ByteView nonce = box.first(kNonceSize);
    ByteView cipher = box.subspan(kNonceSize, box.size() - kNonceSize - kTagSize);
    const ByteView tag = box.last(kTagSize);
    size_t total = 0;
    for (std::span<std::uint8_t> piece : plaintext)
        total += piece.size();
    if (total != cipher.size())
        return false;
    if (EVP_DecryptInit_ex(m_open.get(), nullptr, nullptr, nullptr, nonce.data()) != 1)
        return false;
    for (std::span<std::uint8_t> piece : plaintext) {
        if (piece.empty())
            continue;
        int written = 0;
        if (EVP_DecryptUpdate(m_open.get(), piece.data(), &written, cipher.data(), intSize(piece.size())) != 1
            || static_cast<size_t>(written) != piece.size())
            return false;
        cipher = cipher.subspan(piece.size());
    }
    if (EVP_CIPHER_CTX_ctrl(m_open.get(), EVP_CTRL_GCM_SET_TAG, kTagSize, const_cast<std::uint8_t*>(tag.data())) != 1)
        return false;
    std::uint8_t last[16];
    int lastLength = 0;
    return EVP_DecryptFinal_ex(m_open.get(), last, &lastLength) == 1;
}

bool Aes256Gcm::openBegin(ByteView nonce)
{
    return nonce.size() == kNonceSize && EVP_DecryptInit_ex(m_open.get(), nullptr, nullptr, nullptr, nonce.data()) == 1;
}

bool Aes256Gcm::openPiece(ByteView cipher, std::span<std::uint8_t> plaintext)
{
    if (cipher.size() != plaintext.size())
        return false;
    if (cipher.empty())
        return true;
    int written = 0;
    return EVP_DecryptUpdate(m_open.get(), plaintext.data(), &written, cipher.data(), intSize(cipher.size())) == 1
           && static_cast<size_t>(written) == cipher.size();
}

bool Aes256Gcm::openEnd(ByteView tag)
{
    if (tag.size() != kTagSize
        || EVP_CIPHER_CTX_ctrl(m_open.get(), EVP_CTRL_GCM_SET_TAG, kTagSize, const_cast<std::uint8_t*>(tag.data())) != 1)
        return false;
    std::uint8_t last[16];
    int lastLength = 0;
    return EVP_DecryptFinal_ex(m_open.get(), last, &lastLength) == 1;
}

void randomBytes(std::span<std::uint8_t> out)
{
    if (!out.empty() && RAND_bytes(out.data(), intSize(out.size())) != 1)
        fail("random generator");
}

}  // namespace vortan::crypto
