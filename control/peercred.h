#pragma once

#include <QtGlobal>

#include <optional>
#include <sys/types.h>

namespace brenvo::control {

// The user id of the process at the other end of a connected local socket
// (SO_PEERCRED); nothing when the kernel cannot say.
std::optional<uid_t> peerUid(qintptr descriptor);

}  // namespace brenvo::control
