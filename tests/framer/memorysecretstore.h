#pragma once

// An in-memory secret store and key-store helpers for running framers without
// a real keyring (tests, fuzz targets and benchmarks).

#include "vortan/crypto/crypto.h"
#include "vortan/keys/keyhelper.h"
#include "vortan/keys/secretstore.h"

#include <QHash>

#include <memory>

namespace vortan::test {

class MemorySecretStore : public SecretStore {
public:
    static constexpr int kDuplicateItem = -25299;

    QString name() const override { return QStringLiteral("memory"); }

    SecretStatus read(const QString& account, QByteArray& value) override
    {
        const auto it = m_items.constFind(account);
        if (it == m_items.constEnd())
            return {SecretStatus::kItemNotFound, QStringLiteral("not found")};
        value = *it;
        return {};
    }

    SecretStatus add(const QString& account, const QString&, const QByteArray& value) override
    {
        if (m_items.contains(account))
            return {kDuplicateItem, QStringLiteral("duplicate item")};
        m_items.insert(account, value);
        return {};
    }

    SecretStatus remove(const QString& account) override
    {
        return m_items.remove(account) ? SecretStatus{} : SecretStatus{SecretStatus::kItemNotFound, {}};
    }

private:
    QHash<QString, QByteArray> m_items;
};

inline QByteArray toQByteArray(crypto::ByteView bytes)
{
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

// A key store whose identity is `identity`.
inline std::unique_ptr<KeyHelper> makeKeyHelper(const crypto::SigningKey& identity)
{
    auto store = std::make_unique<MemorySecretStore>();
    store->add(QString::fromLatin1(KeyHelper::kAccount), QString::fromLatin1(KeyHelper::kLabel),
               toQByteArray(identity.raw()));
    return std::make_unique<KeyHelper>(std::move(store));
}

}  // namespace vortan::test
