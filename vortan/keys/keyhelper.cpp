#include "vortan/keys/keyhelper.h"

#include "vortan/log.h"

#include <openssl/crypto.h>

namespace vortan {

size_t qHash(const StorageKey& key, size_t seed) noexcept
{
    return qHashMulti(seed, key.localEndpoint.host, key.localEndpoint.port, key.remoteEndpoint.host,
                      key.remoteEndpoint.port);
}

KeyHelper::KeyHelper(std::unique_ptr<SecretStore> store) : m_store(std::move(store)) {}

KeyHelper::~KeyHelper() = default;

const crypto::SigningKey& KeyHelper::signingKey()
{
    // call_once leaves the flag unset when the callable throws, so a failed
    // load is tried again on the next access.
    std::call_once(m_loadOnce, [this] {
        std::optional<crypto::SigningKey> key = readKey(account());
        if (!key) {
            logInfo(lcKeys(), QStringLiteral("key not found in keychain, creating a new one"));
            crypto::SigningKey created = crypto::SigningKey::generate();
            storeKey(created, account());
            key = std::move(created);
        } else {
            logDebug(lcKeys(), QStringLiteral("found key in keychain"));
        }
        m_signingKey = std::move(key);
    });
    return *m_signingKey;
}

QByteArray KeyHelper::publicKey()
{
    const crypto::Key32 key = signingKey().publicKey();
    return QByteArray(reinterpret_cast<const char*>(key.data()), static_cast<qsizetype>(key.size()));
}

std::optional<OnionExpandedKey> KeyHelper::onionServiceKey()
{
    crypto::Key32 seed = signingKey().raw();
    std::optional<OnionExpandedKey> key = onionServiceSecretKey(seed);
    OPENSSL_cleanse(seed.data(), seed.size());
    return key;
}

std::optional<crypto::Key32> KeyHelper::onionClientAuthKey(const QByteArray& peerKey, OnionAuthRole ownRole)
{
    crypto::Key32 seed = signingKey().raw();
    const crypto::ByteView peer(reinterpret_cast<const std::uint8_t*>(peerKey.constData()),
                                static_cast<std::size_t>(peerKey.size()));
    std::optional<crypto::Key32> key = vortan::onionClientAuthKey(seed, peer, ownRole);
    OPENSSL_cleanse(seed.data(), seed.size());
    return key;
}

namespace {

QString statusText(const SecretStatus& status)
{
    return status.message.isEmpty() ? QString::number(status.code) : status.message;
}

}  // namespace

std::optional<crypto::SigningKey> KeyHelper::readKey(const QString& account)
{
    QByteArray value;
    const SecretStatus status = m_store->read(account, value);
    if (status.code == SecretStatus::kItemNotFound)
        return std::nullopt;
    if (status.code != SecretStatus::kSuccess) {
        throw KeyStoreError(KeyStoreError::Kind::load, QStringLiteral("Keychain read failed: %1, %2")
                                                           .arg(status.code)
                                                           .arg(statusText(status)));
    }
    try {
        return crypto::SigningKey::fromRaw(
            crypto::ByteView(reinterpret_cast<const std::uint8_t*>(value.constData()), static_cast<size_t>(value.size())));
    } catch (const crypto::CryptoError&) {
        throw KeyStoreError(KeyStoreError::Kind::load,
                            QStringLiteral("The stored identity key is not valid (%1 bytes)").arg(value.size()));
    }
}

void KeyHelper::storeKey(const crypto::SigningKey& key, const QString& account)
{
    const crypto::Key32 raw = key.raw();
    const QByteArray value(reinterpret_cast<const char*>(raw.data()), static_cast<qsizetype>(raw.size()));
    const SecretStatus status = m_store->add(account, QString::fromLatin1(kLabel), value);
    if (status.code != SecretStatus::kSuccess) {
        throw KeyStoreError(KeyStoreError::Kind::store, QStringLiteral("Unable to store item: %1, %2")
                                                            .arg(status.code)
                                                            .arg(statusText(status)));
    }
}

void KeyHelper::deleteKey(const QString& account)
{
    m_store->remove(account);
}

std::vector<User> KeyHelper::allowedUsers() const
{
    std::lock_guard guard(m_lock);
    return m_users;
}

void KeyHelper::setAllowedUsers(std::vector<User> users)
{
    std::lock_guard guard(m_lock);
    m_users = std::move(users);
}

void KeyHelper::setPeerKey(const StorageKey& endpoints, const QByteArray& key)
{
    std::lock_guard guard(m_lock);
    m_storage.insert(endpoints, key);
}

std::optional<QByteArray> KeyHelper::peerKey(const StorageKey& endpoints) const
{
    std::lock_guard guard(m_lock);
    const auto it = m_storage.constFind(endpoints);
    if (it == m_storage.constEnd())
        return std::nullopt;
    return *it;
}

}  // namespace vortan
