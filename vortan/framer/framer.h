#pragma once

#include "vortan/crypto/crypto.h"
#include "vortan/framer/messagetype.h"
#include "vortan/keys/keyhelper.h"

#include <QByteArray>
#include <QByteArrayView>

#include <array>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace vortan {

// The peer protocol on one byte stream, independent of any socket.
//
// Each side first sends a 132-byte handshake record: version (int32), its
// identity public key (Ed25519, 32 bytes), this connection's X25519 public key
// (32 bytes) and the identity's signature over the two keys (64 bytes). When
// the peer's record names an allowed user and its signature verifies, both
// sides derive the connection key with HKDF-SHA256 from the X25519 secret and
// from then on exchange frames: int32 length L, then an AES-256-GCM box
// (nonce 12 || ciphertext || tag 16) whose plaintext is the int32 message type
// followed by the payload. All integers are little-endian.
//
// The owner feeds received bytes to input(), writes what the output handler
// gets to the stream in call order, and learns the outcome through the ready,
// failed and message handlers. Handlers run synchronously inside start(),
// input() and send(); a handler may destroy the framer or call send(), but
// must not call input() (such bytes are queued and parsed afterwards).
// Failure is terminal: afterwards input is ignored and nothing is delivered.
class Framer {
public:
    static constexpr qsizetype kHandshakeSize = 132;
    static constexpr std::int32_t kVersion = 1;
    // Nonce and tag around the plaintext, plus the 4-byte type inside it.
    static constexpr qsizetype kFrameOverhead = 32;
    // Frame bodies shorter than a nonce and a tag cannot be a box.
    static constexpr qsizetype kMinFrameLength = 28;
    // The largest payload either side sends or accepts: 16 MiB holds a full
    // data message (131072 + 20 bytes) many times over and a list of tens of
    // thousands of files. A longer frame (a peer may send up to 2^31 - 1
    // bytes) is opened as it comes and dropped, its payload never held: the
    // oversized handler learns its type and size once it proved authentic,
    // and the connection goes on. Before any frame has opened (the peer is
    // not authenticated yet) such a length fails at once, before a byte of
    // its body is read.
    static constexpr qsizetype kMaxPayloadLength = 16 * 1024 * 1024;
    static constexpr qsizetype kMaxFrameLength = kMaxPayloadLength + kFrameOverhead;

    enum class State { created, handshaking, ready, failed };

    using OutputHandler = std::function<void(QByteArrayView bytes)>;
    using MessageHandler = std::function<void(MessageType type, const QByteArray& payload)>;

    // A framer with a fresh ephemeral X25519 key.
    explicit Framer(KeyHelper& keys);
    // A framer with the given agreement key (reproducible runs: fuzzing, tests).
    Framer(KeyHelper& keys, crypto::AgreementKey agreementKey);
    ~Framer();

    Framer(const Framer&) = delete;
    Framer& operator=(const Framer&) = delete;

    // The connection's numeric endpoints, under which a successful handshake
    // records the peer's key in the key store. Set before input arrives;
    // a handshake without them fails.
    void setEndpoints(const StorageKey& endpoints) { m_endpoints = endpoints; }

    // `bytes` is only valid during the call.
    void setOutputHandler(OutputHandler handler) { m_onOutput = std::move(handler); }
    void setReadyHandler(std::function<void()> handler) { m_onReady = std::move(handler); }
    void setFailedHandler(std::function<void()> handler) { m_onFailed = std::move(handler); }
    void setMessageHandler(MessageHandler handler) { m_onMessage = std::move(handler); }
    using OversizedHandler = std::function<void(MessageType type, std::int64_t payloadLength)>;
    void setOversizedHandler(OversizedHandler handler) { m_onOversized = std::move(handler); }

    // Sends the handshake record. Called once when the stream is open; input()
    // calls it first when the owner has not.
    void start();

    // Feeds bytes received from the peer. isComplete means the stream ended
    // with these bytes; they are not parsed, and later input is ignored.
    // Returns how many bytes the framer wants next (a hint; 0 once failed).
    qsizetype input(QByteArrayView bytes, bool isComplete = false);

    // Seals one message and hands the frame to the output handler. Returns
    // false, writing nothing, before the handshake has finished, after a
    // failure, or for a payload above kMaxPayloadLength.
    bool send(MessageType type, QByteArrayView payload) { return send(type, payload, {}); }
    // The same for a payload made of head followed by body, sealed without
    // joining them first.
    bool send(MessageType type, QByteArrayView head, QByteArrayView body);

    State state() const { return m_state; }
    // The key of a peer whose record was signed by that key but who is not
    // among the allowed users (empty when none was refused so).
    const QByteArray& refusedKey() const { return m_refusedKey; }

private:
    class Reader;

    qsizetype process(QByteArrayView bytes, bool isComplete);
    qsizetype handleHandshakeInput(Reader& reader, bool isComplete);
    bool acceptRecord(const std::uint8_t* record);
    qsizetype frameLoop(Reader& reader, bool isComplete);
    bool openAndDeliver(crypto::ByteView body);
    bool openPiece(const std::uint8_t* bytes, qsizetype size);
    bool finishOpening();
    void fail();
    void releaseBuffers();

    KeyHelper& m_keys;
    crypto::AgreementKey m_agreementKey;
    std::optional<crypto::Aes256Gcm> m_cipher;  // present once the handshake succeeded
    std::optional<StorageKey> m_endpoints;
    QByteArray m_refusedKey;
    State m_state = State::created;
    bool m_ended = false;

    // Received bytes not consumed yet: always fewer than one parse step needs
    // (a part of the record, of a length field, or of a 512-byte body chunk).
    std::vector<std::uint8_t> m_pending;
    std::vector<std::uint8_t> m_body;  // the body of a frame too short to be a message
    std::int64_t m_neededLength = 0;   // body bytes still missing; 0: a length comes next
    // A body that does not arrive in one piece is opened as its bytes come
    // in, straight into its payload: no copy of the whole box is kept, and a
    // large message costs each read only its own bytes' decryption.
    std::int64_t m_frameLength = 0;  // the length field of the frame being received
    std::int64_t m_bodyPosition = 0;  // its body bytes taken so far
    std::array<std::uint8_t, crypto::kNonceSize> m_nonce{};
    std::array<std::uint8_t, 4> m_typeField{};
    std::array<std::uint8_t, crypto::kTagSize> m_tag{};
    QByteArray m_payload;
    std::uint8_t m_scratch[4096];  // the opened bytes of a frame being dropped
    bool m_inInput = false;
    QByteArray m_queued;  // input handed in from inside a handler
    bool m_queuedEnd = false;

    QByteArray m_out;  // reused for every outgoing frame
    bool m_inSend = false;

    OutputHandler m_onOutput;
    std::function<void()> m_onReady;
    std::function<void()> m_onFailed;
    MessageHandler m_onMessage;
    OversizedHandler m_onOversized;
    bool m_opened = false;      // a frame has opened under the connection key
    bool m_discarding = false;  // the frame being received is above the bound

    // Expires with the framer, so that code running after a handler can tell
    // whether the handler destroyed it.
    std::shared_ptr<int> m_life = std::make_shared<int>(0);
};

}  // namespace vortan
