#pragma once

#include "vortan/keys/keyhelper.h"

#include <QHostAddress>

#include <optional>

namespace vortan {

// Keep-alive settings of every connection of the program, either direction.
inline constexpr int kKeepAliveIdleSeconds = 60;
inline constexpr int kKeepAliveIntervalSeconds = 30;
inline constexpr int kKeepAliveProbeCount = 5;

// Turns TCP keep-alive on for a connected socket with the settings above.
// Returns false when the kernel refused one of the options.
bool enableKeepAlive(int fd);

// The numeric form used in the key store's endpoint table: an IPv4-mapped
// IPv6 address becomes plain IPv4, so both ends of a connection name it the
// same whichever socket family carried it.
Endpoint numericEndpoint(const QHostAddress& address, quint16 port);

// The connection's local and remote endpoints, from the kernel; absent when
// the socket is not connected.
std::optional<StorageKey> endpointsOf(int fd);

// How the peer ended a stream Qt reported as closed by the remote host (Qt
// reports a reset the same way as an orderly close). Asked of a descriptor
// that still refers to the socket.
enum class StreamEnd { orderly, reset };
StreamEnd streamEndOf(int fd);

}  // namespace vortan
