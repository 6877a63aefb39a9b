#pragma once

#include "vortan/keys/secretstore.h"

#include <chrono>

namespace vortan {

struct SecretServiceOptions {
    // Longest wait for any one answer of the bus or the service; no answer in
    // time counts as an unreachable store.
    std::chrono::milliseconds timeout{5000};
    // Longest wait for a locked keyring to be unlocked (the keyring may show
    // its password prompt meanwhile). A prompt still open then is left open,
    // not dismissed: the call reports kNotAvailable and the keyring drops the
    // prompt when this process ends.
    std::chrono::milliseconds unlockTimeout{30000};
};

// Items in the freedesktop Secret Service (GNOME Keyring, KWallet, KeePassXC)
// on the session bus, through libsecret. One item per account, found by the
// schema "com.halvinor.brenvo" and the attribute "account"; the value is
// stored as binary ("application/octet-stream"). Each call opens its own
// connection to the service and waits on its own main context, so it never
// runs the caller's event loop and never waits longer than the bounds above.
// A session bus is never started: without DBUS_SESSION_BUS_ADDRESS or
// $XDG_RUNTIME_DIR/bus the service counts as unreachable.
class SecretServiceStore : public SecretStore {
public:
    static constexpr const char* kSchemaName = "com.halvinor.brenvo";

    explicit SecretServiceStore(SecretServiceOptions options = {});

    QString name() const override;
    SecretStatus read(const QString& account, QByteArray& value) override;
    // Adds the item to the default collection; kDuplicateItem when the
    // account already has one (it is never replaced).
    SecretStatus add(const QString& account, const QString& label, const QByteArray& value) override;
    SecretStatus remove(const QString& account) override;

    // Whether a key can be kept here: success when the service answers and
    // has a default collection, kNoDefaultKeychain when it answers without
    // one, kNotAvailable when it cannot be reached.
    SecretStatus probe();

    // The session bus address that would be used, or empty when there is
    // none that can be used without starting a bus.
    static QString sessionBusAddress();

private:
    SecretServiceOptions m_options;
};

}  // namespace vortan
