#pragma once

#include "vortan/keys/keyhelper.h"

#include <QHostAddress>

#include <chrono>
#include <optional>

namespace vortan {

// How every connection of the program, either direction, finds out that
// its peer is gone, busy or idle, within about 30 s: keep-alive probes after
// 15 s of silence, every 5 s, three unanswered ones end it; and sent bytes
// left unacknowledged for kUserTimeoutSeconds end it (also the probes: the
// kernel then ends the connection when that time has passed, whatever the
// count). A peer that moved to another network is otherwise shown connected
// for minutes while its retransmissions back off.
inline constexpr int kKeepAliveIdleSeconds = 15;
inline constexpr int kKeepAliveIntervalSeconds = 5;
inline constexpr int kKeepAliveProbeCount = 3;
inline constexpr int kUserTimeoutSeconds = 30;

// Turns TCP keep-alive and the user timeout on for a connected socket with
// the settings above. Returns false when the kernel refused one of them.
bool enableKeepAlive(int fd);

// How many bytes sent on the socket the peer's TCP has acknowledged, as the
// kernel counts them: the connecting side's count includes its SYN. Still
// told after a reset or a timeout, until the socket is closed. Absent where
// the kernel does not count them.
std::optional<qint64> bytesAckedByPeer(int fd);

// How long the peer's TCP has acknowledged nothing while bytes sent on the
// socket wait for it and TCP has timed out retransmitting them at least
// kDeadLinkBackoffs times in a row; absent while the peer acknowledges (or
// where the kernel does not tell). Over a path that is gone this grows from
// the moment it went; a slow peer's TCP still acknowledges.
std::optional<std::chrono::milliseconds> unacknowledgedFor(int fd);
inline constexpr int kDeadLinkBackoffs = 3;

// The numeric form used in the key store's endpoint table: an IPv4-mapped
// IPv6 address becomes plain IPv4, so both ends of a connection name it the
// same whichever socket family carried it.
Endpoint numericEndpoint(const QHostAddress& address, quint16 port);

// Whether the socket is a Unix-domain one (a stream tor hands over).
bool isLocalStream(int fd);

// The connection's local and remote endpoints, from the kernel; absent when
// the socket is not connected.
std::optional<StorageKey> endpointsOf(int fd);

// How the peer ended a stream Qt reported as closed by the remote host (Qt
// reports a reset the same way as an orderly close). Asked of a descriptor
// that still refers to the socket.
enum class StreamEnd { orderly, reset };
StreamEnd streamEndOf(int fd);

}  // namespace vortan
