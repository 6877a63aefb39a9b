#pragma once

// Helpers that play the far side of a framer by hand. They pack every field
// themselves (little-endian, fixed offsets) and share no code with the framer
// beyond the primitives of vortan/crypto, which have their own known-answer
// tests.

#include "tests/framer/memorysecretstore.h"
#include "tests/support/testsupport.h"
#include "vortan/framer/framer.h"

#include <QByteArray>
#include <QtEndian>

#include <vector>

namespace vortan::test {

inline QByteArray le32(std::int32_t value)
{
    const std::int32_t little = qToLittleEndian(value);
    return QByteArray(reinterpret_cast<const char*>(&little), 4);
}

inline std::int32_t readLe32(const QByteArray& bytes, qsizetype at)
{
    return qFromLittleEndian<std::int32_t>(bytes.constData() + at);
}

inline crypto::ByteView view(const QByteArray& bytes)
{
    return {reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())};
}

inline crypto::Key32 toKey32(const QByteArray& bytes)
{
    crypto::Key32 key{};
    std::copy(bytes.begin(), bytes.begin() + 32, key.begin());
    return key;
}

inline const StorageKey& testEndpoints()
{
    static const StorageKey endpoints{{QStringLiteral("127.0.0.1"), 40001}, {QStringLiteral("127.0.0.1"), 40002}};
    return endpoints;
}

// The far side of a framer: an identity and an agreement key of its own.
struct HandPeer {
    crypto::SigningKey identity = crypto::SigningKey::generate();
    crypto::AgreementKey agreement = crypto::AgreementKey::generate();

    QByteArray publicKey() const { return toQByteArray(identity.publicKey()); }

    // version || identity key || agreement key || signature over the two keys.
    QByteArray record(std::int32_t version = 1) const
    {
        const QByteArray keys = publicKey() + toQByteArray(agreement.publicKey());
        return le32(version) + keys + toQByteArray(identity.sign(view(keys)));
    }

    // The connection key given the framer's own record.
    crypto::Key32 connectionKey(const QByteArray& framerRecord) const
    {
        const auto secret = agreement.sharedSecret(view(framerRecord.mid(36, 32)));
        if (!secret)
            return {};
        const QByteArray salt("Tolvane");
        return toKey32(toQByteArray(crypto::hkdfSha256(*secret, view(salt), {}, 32)));
    }
};

inline QByteArray sealFrame(const crypto::Key32& key, std::int32_t type, const QByteArray& payload)
{
    crypto::Bytes nonce(crypto::kNonceSize);
    crypto::randomBytes(nonce);
    crypto::Aes256Gcm cipher(key);
    crypto::Bytes box;
    cipher.seal(nonce, {view(le32(type) + payload)}, box);
    return le32(static_cast<std::int32_t>(box.size())) + toQByteArray(box);
}

// Everything a framer reported, in order.
struct Recorder {
    QByteArray output;
    int readyCount = 0;
    int failedCount = 0;
    std::vector<std::pair<MessageType, QByteArray>> messages;

    void attach(Framer& framer)
    {
        framer.setOutputHandler([this](QByteArrayView bytes) { output.append(bytes); });
        framer.setReadyHandler([this] { ++readyCount; });
        framer.setFailedHandler([this] { ++failedCount; });
        framer.setMessageHandler(
            [this](MessageType type, const QByteArray& payload) { messages.emplace_back(type, payload); });
    }
};

// A framer with its own identity, talking to a HandPeer that is allowed in.
struct FramerUnderTest {
    crypto::SigningKey identity = crypto::SigningKey::generate();
    std::unique_ptr<KeyHelper> keys = makeKeyHelper(identity);
    HandPeer peer;
    std::unique_ptr<Framer> framer;
    Recorder seen;
    QByteArray ownRecord;

    // Unless start is false the framer has started and its own record has
    // been taken out of seen.output.
    explicit FramerUnderTest(bool allowPeer = true, bool start = true, bool withEndpoints = true)
    {
        if (allowPeer)
            keys->setAllowedUsers({User(QStringLiteral("Peer"), std::nullopt, std::nullopt, peer.publicKey())});
        framer = std::make_unique<Framer>(*keys);
        if (withEndpoints)
            framer->setEndpoints(testEndpoints());
        seen.attach(*framer);
        if (!start)
            return;
        framer->start();
        ownRecord = seen.output;
        seen.output.clear();
    }

    crypto::Key32 connectionKey() const { return peer.connectionKey(ownRecord); }

    // Completes the handshake with the peer's record.
    bool handshake()
    {
        framer->input(peer.record());
        return framer->state() == Framer::State::ready;
    }

    QByteArray frame(std::int32_t type, const QByteArray& payload) const
    {
        return sealFrame(connectionKey(), type, payload);
    }
};

}  // namespace vortan::test
