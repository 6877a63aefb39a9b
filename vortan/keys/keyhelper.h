#pragma once

#include "vortan/crypto/crypto.h"
#include "vortan/keys/secretstore.h"
#include "vortan/tor/onionkeys.h"
#include "vortan/user.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace vortan {

// A numeric network endpoint (IPv4-mapped IPv6 addresses normalised to IPv4).
struct Endpoint {
    QString host;
    std::uint16_t port = 0;
    friend bool operator==(const Endpoint&, const Endpoint&) = default;
};

// The endpoint pair of one connection, as the framer writes it and the
// connection reads it back.
struct StorageKey {
    Endpoint localEndpoint;
    Endpoint remoteEndpoint;
    friend bool operator==(const StorageKey&, const StorageKey&) = default;
};

size_t qHash(const StorageKey& key, size_t seed = 0) noexcept;

// What the secure transport knows about identities: the local identity key
// (loaded or created lazily through a secret store), the users allowed to
// connect, and which peer key completed the handshake on which endpoint pair.
// The program makes one; tests make as many as they need.
class KeyHelper {
public:
    static constexpr const char* kAccount = "com.halvinor.brenvo.key";
    static constexpr const char* kLabel = "Brenvo Application";

    explicit KeyHelper(std::unique_ptr<SecretStore> store);
    ~KeyHelper();

    KeyHelper(const KeyHelper&) = delete;
    KeyHelper& operator=(const KeyHelper&) = delete;

    QString account() const { return QString::fromLatin1(kAccount); }

    // The identity key, read or created on first use and cached for the life
    // of the object. Throws KeyStoreError when the store fails.
    const crypto::SigningKey& signingKey();
    // The public half of signingKey() as bytes.
    QByteArray publicKey();

    // Keys for tor derived from the identity key, so that the seed stays
    // here (docs/tor.md). Both throw KeyStoreError as signingKey() does.
    // The onion service's expanded secret key, for ADD_ONION.
    std::optional<OnionExpandedKey> onionServiceKey();
    // The client-authorization private key shared with the person whose
    // identity public key is peerKey, this identity playing ownRole; nothing
    // when peerKey is not a usable identity key.
    std::optional<crypto::Key32> onionClientAuthKey(const QByteArray& peerKey, OnionAuthRole ownRole);

    std::optional<crypto::SigningKey> readKey(const QString& account);
    void storeKey(const crypto::SigningKey& key, const QString& account);
    void deleteKey(const QString& account);

    std::vector<User> allowedUsers() const;
    void setAllowedUsers(std::vector<User> users);

    void setPeerKey(const StorageKey& endpoints, const QByteArray& key);
    std::optional<QByteArray> peerKey(const StorageKey& endpoints) const;

    SecretStore& store() { return *m_store; }

private:
    std::unique_ptr<SecretStore> m_store;
    std::once_flag m_loadOnce;
    std::optional<crypto::SigningKey> m_signingKey;

    mutable std::mutex m_lock;  // guards m_users and m_storage
    std::vector<User> m_users;
    QHash<StorageKey, QByteArray> m_storage;
};

}  // namespace vortan
