#pragma once

#include "vortan/keystorechoice.h"
#include "vortan/keys/secretservicestore.h"
#include "vortan/keys/secretstore.h"

#include <QString>

#include <memory>
#include <optional>
#include <stdexcept>

namespace vortan {

struct KeyStoreOptions {
    KeyStoreChoice choice = KeyStoreChoice::automatic;
    QString supportDirectory;
    SecretServiceOptions secretService;
};

// The chosen store cannot be used, and a new identity must not be created
// elsewhere instead. message() is meant for the user.
class KeyStoreUnavailable : public std::runtime_error {
public:
    explicit KeyStoreUnavailable(const QString& message)
        : std::runtime_error(message.toStdString()), m_message(message)
    {
    }
    QString message() const { return m_message; }

private:
    QString m_message;
};

// The name of the file in the support directory that records which store
// holds the identity ("secret-service" or "file"). It is written the first
// time the key is found in or added to the store.
inline constexpr const char* kKeyStoreMarkerFileName = "keystore";

// Picks the store for the identity key and logs once "Using key store: "
// followed by its name. Without a forced choice, the store recorded in the
// support directory is used; when that is the Secret Service and it cannot be
// reached, KeyStoreUnavailable is thrown rather than starting a new identity
// in the file. Forcing the Secret Service while it is unreachable throws too.
// Throws KeyStoreUnavailable also for an unreadable record.
std::unique_ptr<SecretStore> openSecretStore(const KeyStoreOptions& options);

}  // namespace vortan
