#pragma once

#include "vortan/connectfailure.h"
#include "vortan/errors.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace vortan {

// Another person (or the local user's own card). Users are identified by
// their 32-byte Ed25519 public key.
struct User {
    enum class State { notConnected, connecting, connected };

    QByteArray key;
    QString name;
    std::optional<QString> address;
    std::optional<std::uint16_t> port;
    State state = State::notConnected;  // in memory only
    std::optional<VortanError> error;   // in memory only
    std::optional<ConnectFailure> failure;  // in memory only: the last attempt's
    bool throughTor = false;  // in memory only: connected through Tor rather than directly
    // In memory only: through Tor, and every direct endpoint it told us failed.
    bool noDirectPath = false;
    // In memory only: announced on the local network now (a signed
    // announcement of theirs is there), whether connected or not.
    bool onLocalNetwork = false;

    User() = default;
    User(QString name, std::optional<QString> address, std::optional<std::uint16_t> port, QByteArray key)
        : key(std::move(key)), name(std::move(name)), address(std::move(address)), port(port)
    {
    }

    friend bool operator==(const User&, const User&) = default;
};

}  // namespace vortan
