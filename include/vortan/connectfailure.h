#pragma once

#include "vortan/errors.h"

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <optional>

namespace vortan {

// Why the last connection attempt to a user failed, in terms a front end can
// turn into advice: where it was tried, the system's own error where one
// helps, and when automatic connection tries again.
struct ConnectFailure {
    enum class Reason {
        // Nothing answered at host:port (refused, timed out, no route, reset
        // before the handshake): the user is offline or the address is old.
        unreachable,
        // Something answered but closed the connection during or right after
        // the handshake: the user has not imported our card (or has removed it).
        notAccepted,
        // Neither the card nor this session gave an address to try.
        noAddress,
    };

    Reason reason = Reason::unreachable;
    QString host;            // empty for noAddress
    std::uint16_t port = 0;  // 0 for noAddress
    std::optional<VortanError> error;
    std::optional<QDateTime> retryAt;  // UTC; absent when nothing will retry
    // The user's onion address was tried too (host is then the onion
    // address when no direct address was tried).
    bool triedTor = false;

    friend bool operator==(const ConnectFailure&, const ConnectFailure&) = default;
};

}  // namespace vortan
