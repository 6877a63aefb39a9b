#pragma once

// Thin RAII wrappers over OpenSSL 3 for the primitives of the peer protocol:
// Ed25519 identities, X25519 agreement, HKDF-SHA256, AES-256-GCM and random bytes.

#include <array>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <vector>

struct evp_pkey_st;
struct evp_cipher_ctx_st;

namespace vortan::crypto {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;
using Key32 = std::array<std::uint8_t, 32>;
using Signature = std::array<std::uint8_t, 64>;

constexpr std::size_t kNonceSize = 12;
constexpr std::size_t kTagSize = 16;

class CryptoError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct PkeyDeleter {
    void operator()(evp_pkey_st* key) const;
};
using PkeyPtr = std::unique_ptr<evp_pkey_st, PkeyDeleter>;

// An Ed25519 private key (the long-term identity).
class SigningKey {
public:
    static SigningKey generate();
    // Throws CryptoError unless raw holds exactly 32 bytes of a valid key.
    static SigningKey fromRaw(ByteView raw);

    Key32 raw() const;
    Key32 publicKey() const;
    // Throws CryptoError when signing fails.
    Signature sign(ByteView message) const;

private:
    explicit SigningKey(PkeyPtr key) : m_key(std::move(key)) {}
    std::shared_ptr<evp_pkey_st> m_key;
};

// Ed25519 verification; false for a malformed key or a wrong signature.
bool verify(ByteView publicKey, ByteView message, ByteView signature);

// An X25519 private key (one per connection).
class AgreementKey {
public:
    static AgreementKey generate();
    static AgreementKey fromRaw(ByteView raw);

    Key32 publicKey() const;
    // The shared secret with the peer's raw public key; nothing when the
    // peer key is malformed or the agreement fails (including an all-zero
    // result from a low-order peer key).
    std::optional<Key32> sharedSecret(ByteView peerPublicKey) const;

private:
    explicit AgreementKey(PkeyPtr key) : m_key(std::move(key)) {}
    std::shared_ptr<evp_pkey_st> m_key;
};

// HKDF (RFC 5869) with SHA-256; an empty salt is the RFC's absent one.
// Throws CryptoError on failure.
Bytes hkdfSha256(ByteView secret, ByteView salt, ByteView info, std::size_t length);

struct CipherCtxDeleter {
    void operator()(evp_cipher_ctx_st* ctx) const;
};
using CipherCtxPtr = std::unique_ptr<evp_cipher_ctx_st, CipherCtxDeleter>;

// AES-256-GCM without associated data, boxes in the combined form
// nonce (12 bytes) || ciphertext || tag (16 bytes). One object per key; it
// keeps its cipher contexts between calls.
class Aes256Gcm {
public:
    explicit Aes256Gcm(const Key32& key);

    // Seals the concatenation of parts under nonce and appends the box to out.
    // Throws CryptoError on failure.
    void seal(ByteView nonce, std::initializer_list<ByteView> parts, Bytes& out);
    // The same into a caller's buffer of exactly boxSize(total plaintext) bytes,
    // so that a hot path can reuse one buffer and skip zero-filling it.
    void sealInto(ByteView nonce, std::initializer_list<ByteView> parts, std::span<std::uint8_t> box);
    // Replaces plaintext with the opened box; false when it does not authenticate
    // or is shorter than a nonce and a tag.
    bool open(ByteView box, Bytes& plaintext);
    // Opens box into consecutive output pieces whose sizes add up to the
    // ciphertext's. On false (not authentic, or sizes that do not fit) the
    // pieces hold garbage that must not be used.
    bool openInto(ByteView box, std::initializer_list<std::span<std::uint8_t>> plaintext);
    // Opens one box piece by piece as its bytes come in: openBegin() with its
    // nonce, openPiece() for each piece of ciphertext in order (plaintext as
    // long as the piece), then openEnd() with its tag. What the pieces opened
    // is garbage unless openEnd() returns true. Any call to open() or
    // openInto() in between abandons the box.
    bool openBegin(ByteView nonce);
    bool openPiece(ByteView cipher, std::span<std::uint8_t> plaintext);
    bool openEnd(ByteView tag);

    static constexpr std::size_t boxSize(std::size_t plaintextSize) { return kNonceSize + plaintextSize + kTagSize; }

private:
    Key32 m_key;
    CipherCtxPtr m_seal;
    CipherCtxPtr m_open;
};

// Fills the buffer from OpenSSL's generator. Throws CryptoError on failure.
void randomBytes(std::span<std::uint8_t> out);

}  // namespace vortan::crypto
