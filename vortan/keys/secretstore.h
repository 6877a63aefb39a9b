#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <stdexcept>

namespace vortan {

// Failures of the identity key store, with the message shown to the user.
class KeyStoreError : public std::runtime_error {
public:
    enum class Kind { store, load };
    KeyStoreError(Kind kind, const QString& message)
        : std::runtime_error(message.toStdString()), m_kind(kind), m_message(message)
    {
    }
    Kind kind() const { return m_kind; }
    QString message() const { return m_message; }

private:
    Kind m_kind;
    QString m_message;
};

// Result of one secret-store call: 0 is success, kItemNotFound means no item.
// Failures carry the store's own text in message.
struct SecretStatus {
    static constexpr int kSuccess = 0;
    static constexpr int kItemNotFound = -25300;
    static constexpr int kDuplicateItem = -25299;       // add: the account already has an item
    static constexpr int kNotAvailable = -25291;        // the store cannot be reached or did not answer in time
    static constexpr int kNoDefaultKeychain = -25307;   // no default collection to add an item to
    static constexpr int kInteractionNotAllowed = -25308;  // the keyring stayed locked
    static constexpr int kIoError = -36;                // any other failure of the store
    int code = kSuccess;
    QString message;  // the store's text for the status; empty when it has none

    bool ok() const { return code == kSuccess; }
};

// A persistent store of generic-password items, addressed by account.
class SecretStore {
public:
    virtual ~SecretStore() = default;

    // A short human name ("Secret Service", "key file <path>").
    virtual QString name() const = 0;
    // On success fills value; kItemNotFound when there is no item.
    virtual SecretStatus read(const QString& account, QByteArray& value) = 0;
    virtual SecretStatus add(const QString& account, const QString& label, const QByteArray& value) = 0;
    virtual SecretStatus remove(const QString& account) = 0;
};

}  // namespace vortan
