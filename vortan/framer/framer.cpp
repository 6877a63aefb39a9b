#include "vortan/framer/framer.h"

#include "vortan/keys/keyhelper.h"
#include "vortan/log.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>

namespace vortan {
namespace {

// Body bytes are taken from the stream in pieces of at least this many bytes
// (or the rest of the body when less is missing).
constexpr std::int64_t kBodyChunk = 512;
// Body and output buffers are kept between frames up to this size, which
// covers a data message; anything larger is released after use.
constexpr std::size_t kKeptCapacity = 256 * 1024;

constexpr char kSalt[] = {'T', 'o', 'l', 'v', 'a', 'n', 'e'};

std::int32_t readInt32(const std::uint8_t* p)
{
    const std::uint32_t value = std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16
                                | std::uint32_t(p[3]) << 24;
    return static_cast<std::int32_t>(value);
}

void writeInt32(std::uint8_t* p, std::int32_t signedValue)
{
    const auto value = static_cast<std::uint32_t>(signedValue);
    p[0] = static_cast<std::uint8_t>(value);
    p[1] = static_cast<std::uint8_t>(value >> 8);
    p[2] = static_cast<std::uint8_t>(value >> 16);
    p[3] = static_cast<std::uint8_t>(value >> 24);
}

}  // namespace

// The bytes available to one parse pass: what was kept from earlier input,
// then the bytes of the current call.
class Framer::Reader {
public:
    Reader(std::vector<std::uint8_t>& pending, QByteArrayView data) : m_pending(pending), m_data(data) {}

    qsizetype available() const { return pendingLeft() + (m_data.size() - m_dataPos); }

    // Consumes n bytes (n <= available()), copying them to out.
    void read(std::uint8_t* out, qsizetype n)
    {
        consume(n, [&out](const std::uint8_t* p, qsizetype size) {
            std::memcpy(out, p, static_cast<std::size_t>(size));
            out += size;
        });
    }

    // Consumes n bytes, appending them to body.
    void appendTo(std::vector<std::uint8_t>& body, qsizetype n)
    {
        consume(n, [&body](const std::uint8_t* p, qsizetype size) { body.insert(body.end(), p, p + size); });
    }

    // Consumes n bytes, handing each contiguous piece to sink(bytes, size);
    // stops early, returning false, when sink does.
    template <typename Sink>
    bool feed(qsizetype n, Sink&& sink)
    {
        bool ok = true;
        consume(n, [&](const std::uint8_t* p, qsizetype size) { ok = ok && sink(p, size); });
        return ok;
    }

    // When the next n bytes lie in one piece, consumes them and returns where
    // they are (valid until the call returns); otherwise nullptr.
    const std::uint8_t* takeContiguous(qsizetype n)
    {
        const std::uint8_t* p = nullptr;
        if (pendingLeft() > 0) {
            if (pendingLeft() < n)
                return nullptr;
            p = m_pending.data() + m_pendingPos;
            m_pendingPos += n;
        } else {
            if (m_data.size() - m_dataPos < n)
                return nullptr;
            p = dataAt(m_dataPos);
            m_dataPos += n;
        }
        return p;
    }

    // Keeps the bytes not consumed for the next call.
    void keepRest()
    {
        m_pending.erase(m_pending.begin(), m_pending.begin() + m_pendingPos);
        m_pending.insert(m_pending.end(), dataAt(m_dataPos), dataAt(m_data.size()));
    }

private:
    template <typename Sink>
    void consume(qsizetype n, Sink&& sink)
    {
        const qsizetype fromPending = std::min(n, pendingLeft());
        if (fromPending > 0) {
            sink(m_pending.data() + m_pendingPos, fromPending);
            m_pendingPos += fromPending;
        }
        const qsizetype fromData = n - fromPending;
        if (fromData > 0) {
            sink(dataAt(m_dataPos), fromData);
            m_dataPos += fromData;
        }
    }

    qsizetype pendingLeft() const { return static_cast<qsizetype>(m_pending.size()) - m_pendingPos; }
    const std::uint8_t* dataAt(qsizetype pos) const { return reinterpret_cast<const std::uint8_t*>(m_data.data()) + pos; }

    std::vector<std::uint8_t>& m_pending;
    qsizetype m_pendingPos = 0;
    QByteArrayView m_data;
    qsizetype m_dataPos = 0;
};

Framer::Framer(KeyHelper& keys) : Framer(keys, crypto::AgreementKey::generate()) {}

Framer::Framer(KeyHelper& keys, crypto::AgreementKey agreementKey)
    : m_keys(keys), m_agreementKey(std::move(agreementKey))
{
}

Framer::~Framer() = default;

void Framer::start()
{
    if (m_state != State::created)
        return;
    m_state = State::handshaking;
    logDebug(lcFramer(), QStringLiteral("start()"));
    logDebug(lcFramer(), QStringLiteral("send keys"));

    std::array<std::uint8_t, kHandshakeSize> record{};
    try {
        const crypto::SigningKey& identity = m_keys.signingKey();
        const crypto::Key32 identityKey = identity.publicKey();
        const crypto::Key32 agreementKey = m_agreementKey.publicKey();
        std::copy(identityKey.begin(), identityKey.end(), record.begin() + 4);
        std::copy(agreementKey.begin(), agreementKey.end(), record.begin() + 36);
        const crypto::Signature signature = identity.sign(crypto::ByteView(record).subspan(4, 64));
        std::copy(signature.begin(), signature.end(), record.begin() + 68);
    } catch (const KeyStoreError&) {
        // No identity key (the key store failed): the peer could never
        // accept us, so nothing is sent.
        fail();
        return;
    } catch (const crypto::CryptoError&) {
        // No signature: likewise.
        fail();
        return;
    }
    writeInt32(record.data(), kVersion);
    if (m_onOutput)
        m_onOutput(QByteArrayView(record.data(), kHandshakeSize));
}

qsizetype Framer::input(QByteArrayView bytes, bool isComplete)
{
    if (m_state == State::failed || m_ended)
        return 0;
    if (m_inInput) {
        if (!m_queuedEnd) {
            m_queued.append(bytes);
            m_queuedEnd = isComplete;
        }
        return 0;
    }
    const std::weak_ptr<int> life = m_life;
    m_inInput = true;
    if (m_state == State::created) {
        start();
        if (life.expired())
            return 0;
        if (m_state == State::failed) {
            m_inInput = false;
            return 0;
        }
    }
    qsizetype wanted = process(bytes, isComplete);
    if (life.expired())
        return wanted;
    while ((!m_queued.isEmpty() || m_queuedEnd) && m_state != State::failed && !m_ended) {
        const QByteArray next = std::exchange(m_queued, QByteArray());
        const bool end = std::exchange(m_queuedEnd, false);
        wanted = process(next, end);
        if (life.expired())
            return wanted;
    }
    m_queued.clear();
    m_queuedEnd = false;
    m_inInput = false;
    return m_state == State::failed ? 0 : wanted;
}

qsizetype Framer::process(QByteArrayView bytes, bool isComplete)
{
    // Bytes that come with the end of the stream are not parsed: a frame or
    // record cut short by the end can never complete.
    if (isComplete)
        m_ended = true;
    const std::weak_ptr<int> life = m_life;
    Reader reader(m_pending, bytes);
    qsizetype wanted = 0;
    if (!m_cipher) {
        wanted = handleHandshakeInput(reader, isComplete);
        if (life.expired())
            return wanted;
    }
    // The rest of the read that completed the peer's record is frame data.
    if (m_state == State::ready) {
        wanted = frameLoop(reader, isComplete);
        if (life.expired())
            return wanted;
    }
    if (m_state != State::failed && !m_ended)
        reader.keepRest();
    return wanted;
}

qsizetype Framer::handleHandshakeInput(Reader& reader, bool isComplete)
{
    logDebug(lcFramer(), QStringLiteral("handleHandshakeInput()"));
    if (isComplete || reader.available() < kHandshakeSize)
        return kHandshakeSize;
    std::array<std::uint8_t, kHandshakeSize> record;
    reader.read(record.data(), kHandshakeSize);
    acceptRecord(record.data());
    return 0;
}

bool Framer::acceptRecord(const std::uint8_t* record)
{
    const std::int32_t version = readInt32(record);
    logDebug(lcFramer(), QStringLiteral("received key and signature, version: %1").arg(version));

    const crypto::ByteView keys(record + 4, 64);
    const crypto::ByteView signature(record + 68, 64);
    const QByteArray peerKey(reinterpret_cast<const char*>(record + 4), 32);

    const std::vector<User> users = m_keys.allowedUsers();
    const auto user = std::find_if(users.begin(), users.end(), [&](const User& u) { return u.key == peerKey; });
    if (user == users.end()) {
        logWarning(lcFramer(), QStringLiteral("user not allowed"));
        // Whose record it is, when the key's own signature says so (it may
        // still be a replay of an old one).
        if (crypto::verify(keys.first(32), keys, signature))
            m_refusedKey = peerKey;
        fail();
        return false;
    }
    if (!crypto::verify(keys.first(32), keys, signature)) {
        logWarning(lcFramer(), QStringLiteral("signature not valid"));
        fail();
        return false;
    }
    logDebug(lcFramer(), QStringLiteral("signature valid"));

    // sharedSecret refuses malformed keys and the all-zero result of a
    // low-order peer key, which would give a key anyone can compute.
    const std::optional<crypto::Key32> secret = m_agreementKey.sharedSecret(keys.subspan(32, 32));
    if (!secret || !m_endpoints) {
        fail();
        return false;
    }
    try {
        const crypto::Bytes key =
            crypto::hkdfSha256(*secret, crypto::ByteView(reinterpret_cast<const std::uint8_t*>(kSalt), sizeof kSalt),
                               {}, 32);
        crypto::Key32 key32;
        std::copy(key.begin(), key.end(), key32.begin());
        m_cipher.emplace(key32);
    } catch (const crypto::CryptoError&) {
        fail();
        return false;
    }

    m_keys.setPeerKey(*m_endpoints, user->key);
    logInfo(lcFramer(), QStringLiteral("handshake done with %1.").arg(user->name));
    m_state = State::ready;
    if (m_onReady)
        m_onReady();
    return true;
}

qsizetype Framer::frameLoop(Reader& reader, bool isComplete)
{
    const std::weak_ptr<int> life = m_life;
    for (;;) {
        if (m_neededLength == 0) {
            if (isComplete || reader.available() < 4)
                return 4;
            std::uint8_t field[4];
            reader.read(field, 4);
            const std::int32_t length = readInt32(field);
            // Lengths 1 to 27 fail once their bytes are in, like any short box;
            // a length that can never be valid fails at once, before a byte
            // of its body is buffered.
            if (length <= 0 || (length > kMaxFrameLength && !m_opened)) {
                fail();
                return 0;
            }
            m_discarding = length > kMaxFrameLength;
            m_neededLength = length;
            m_frameLength = length;
            m_bodyPosition = 0;
        }

        const std::int64_t minimum = std::min(m_neededLength, kBodyChunk);
        if (isComplete || reader.available() < minimum)
            return static_cast<qsizetype>(m_neededLength);
        const qsizetype count = static_cast<qsizetype>(std::min<std::int64_t>(reader.available(), m_neededLength));

        const std::uint8_t* whole = nullptr;
        if (m_body.empty() && m_bodyPosition == 0 && count == m_neededLength && !m_discarding)
            whole = reader.takeContiguous(count);
        if (whole) {
            // The whole body is in one piece of the input: open it in place.
            m_neededLength = 0;
            if (!openAndDeliver(crypto::ByteView(whole, static_cast<std::size_t>(count))) || life.expired()
                || m_state == State::failed)
                return 0;
            continue;
        }
        if (m_frameLength < kFrameOverhead) {
            // Too short for a message: it fails once its bytes are in.
            reader.appendTo(m_body, count);
            m_neededLength -= count;
            if (m_neededLength > 0)
                continue;
            m_neededLength = 0;
            openAndDeliver(m_body);
            return 0;
        }
        if (!reader.feed(count, [this](const std::uint8_t* p, qsizetype size) { return openPiece(p, size); })) {
            fail();
            return 0;
        }
        m_neededLength -= count;
        if (m_neededLength > 0)
            continue;
        if (!finishOpening() || life.expired() || m_state == State::failed)
            return 0;
    }
}

bool Framer::openPiece(const std::uint8_t* bytes, qsizetype size)
{
    // The body: nonce, ciphertext (type field, then payload), tag.
    const std::int64_t cipherEnd = m_frameLength - std::int64_t(crypto::kTagSize);
    constexpr std::int64_t payloadStart = std::int64_t(crypto::kNonceSize) + 4;
    while (size > 0) {
        qsizetype n = 0;
        if (m_bodyPosition < std::int64_t(crypto::kNonceSize)) {
            n = qsizetype(std::min<std::int64_t>(size, std::int64_t(crypto::kNonceSize) - m_bodyPosition));
            std::memcpy(m_nonce.data() + m_bodyPosition, bytes, std::size_t(n));
            if (m_bodyPosition + n == std::int64_t(crypto::kNonceSize) && !m_cipher->openBegin(m_nonce))
                return false;
        } else if (m_bodyPosition < payloadStart) {
            n = qsizetype(std::min<std::int64_t>(size, payloadStart - m_bodyPosition));
            const std::size_t at = std::size_t(m_bodyPosition) - crypto::kNonceSize;
            if (!m_cipher->openPiece(crypto::ByteView(bytes, std::size_t(n)), std::span(m_typeField).subspan(at, std::size_t(n))))
                return false;
        } else if (m_bodyPosition < cipherEnd && m_discarding) {
            // Opened to check the tag, into a scratch buffer, and dropped.
            n = qsizetype(std::min<std::int64_t>({size, cipherEnd - m_bodyPosition, std::int64_t(sizeof m_scratch)}));
            if (!m_cipher->openPiece(crypto::ByteView(bytes, std::size_t(n)), std::span<std::uint8_t>(m_scratch, std::size_t(n))))
                return false;
        } else if (m_bodyPosition < cipherEnd) {
            n = qsizetype(std::min<std::int64_t>(size, cipherEnd - m_bodyPosition));
            const qsizetype at = qsizetype(m_bodyPosition - payloadStart);
            if (m_payload.capacity() < at + n) {
                // Grows with what arrives, not with what the length field claims.
                const qsizetype whole = qsizetype(cipherEnd - payloadStart);
                m_payload.reserve(std::min(whole, std::max(at + n, std::max(2 * m_payload.capacity(), qsizetype(kKeptCapacity)))));
            }
            m_payload.resize(at + n);
            auto* out = reinterpret_cast<std::uint8_t*>(m_payload.data()) + at;
            if (!m_cipher->openPiece(crypto::ByteView(bytes, std::size_t(n)), std::span<std::uint8_t>(out, std::size_t(n))))
                return false;
        } else {
            n = qsizetype(std::min<std::int64_t>(size, m_frameLength - m_bodyPosition));
            std::memcpy(m_tag.data() + (m_bodyPosition - cipherEnd), bytes, std::size_t(n));
        }
        m_bodyPosition += n;
        bytes += n;
        size -= n;
    }
    return true;
}

bool Framer::finishOpening()
{
    m_bodyPosition = 0;
    QByteArray payload = std::exchange(m_payload, QByteArray());
    if (!m_cipher->openEnd(m_tag)) {
        fail();
        return false;
    }
    m_opened = true;
    if (std::exchange(m_discarding, false)) {
        if (m_onOversized)
            m_onOversized(messageTypeFromRaw(readInt32(m_typeField.data())), m_frameLength - kFrameOverhead);
        return true;
    }
    if (m_onMessage)
        m_onMessage(messageTypeFromRaw(readInt32(m_typeField.data())), payload);
    return true;
}

bool Framer::openAndDeliver(crypto::ByteView body)
{
    // A box holds at least a nonce and a tag; a frame also needs the 4 bytes
    // of its type inside, so an authentic box of 28 to 31 bytes is refused too.
    if (body.size() < static_cast<std::size_t>(kFrameOverhead)) {
        fail();
        return false;
    }
    QByteArray payload(static_cast<qsizetype>(body.size()) - kFrameOverhead, Qt::Uninitialized);
    std::uint8_t typeField[4];
    std::span<std::uint8_t> payloadBytes;
    if (!payload.isEmpty())
        payloadBytes = {reinterpret_cast<std::uint8_t*>(payload.data()), static_cast<std::size_t>(payload.size())};
    const bool authentic = m_cipher->openInto(body, {std::span<std::uint8_t>(typeField), payloadBytes});

    m_body.clear();
    if (m_body.capacity() > kKeptCapacity)
        std::vector<std::uint8_t>().swap(m_body);
    if (!authentic) {
        fail();
        return false;
    }
    m_opened = true;
    if (m_onMessage)
        m_onMessage(messageTypeFromRaw(readInt32(typeField)), payload);
    return true;
}

bool Framer::send(MessageType type, QByteArrayView head, QByteArrayView body)
{
    const qsizetype payloadSize = head.size() + body.size();
    if (m_state != State::ready || !m_cipher || payloadSize > kMaxPayloadLength)
        return false;

    // A handler that sends from inside the output handler gets its own buffer.
    QByteArray nested;
    const bool outer = !m_inSend;
    QByteArray& out = outer ? m_out : nested;
    const qsizetype boxSize = payloadSize + kFrameOverhead;
    out.resize(4 + boxSize);
    auto* p = reinterpret_cast<std::uint8_t*>(out.data());
    writeInt32(p, static_cast<std::int32_t>(boxSize));

    std::uint8_t typeField[4];
    writeInt32(typeField, rawValue(type));
    const auto bytesOf = [](QByteArrayView view) {
        return crypto::ByteView(reinterpret_cast<const std::uint8_t*>(view.data()), static_cast<std::size_t>(view.size()));
    };
    try {
        std::array<std::uint8_t, crypto::kNonceSize> nonce;
        crypto::randomBytes(nonce);
        m_cipher->sealInto(nonce, {crypto::ByteView(typeField), bytesOf(head), bytesOf(body)},
                           std::span<std::uint8_t>(p + 4, static_cast<std::size_t>(boxSize)));
    } catch (const crypto::CryptoError&) {
        fail();
        return false;
    }

    const std::weak_ptr<int> life = m_life;
    m_inSend = true;
    if (m_onOutput)
        m_onOutput(QByteArrayView(out));
    if (life.expired())
        return true;
    if (outer) {
        m_inSend = false;
        if (static_cast<std::size_t>(m_out.capacity()) > kKeptCapacity)
            m_out = QByteArray();
    }
    return true;
}

void Framer::fail()
{
    if (m_state == State::failed)
        return;
    m_state = State::failed;
    m_cipher.reset();
    releaseBuffers();
    if (m_onFailed)
        m_onFailed();
}

void Framer::releaseBuffers()
{
    std::vector<std::uint8_t>().swap(m_pending);
    std::vector<std::uint8_t>().swap(m_body);
    m_neededLength = 0;
    m_frameLength = 0;
    m_bodyPosition = 0;
    m_payload = QByteArray();
    m_queued = QByteArray();
    m_queuedEnd = false;
}

}  // namespace vortan
