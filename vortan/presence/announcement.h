#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

namespace vortan {

// What an announcement on the local network claims: the token it is made
// under, the port, the announcing host's addresses and when it was made.
// The TXT record carries the token ("t=") and, under "s=" in base64 (without
// padding), the time (8 bytes, seconds since 1970, big-endian), the Ed25519
// signature by the announcer's identity key (64 bytes) and the addresses
// (16 bytes each, IPv4 ones as IPv4-mapped IPv6). See docs/presence.md.
struct AnnouncementClaim {
    QString token;
    std::uint16_t port = 0;
    QList<QHostAddress> addresses;
    qint64 time = 0;
};

// An announcement counts this long either side of its time (clocks of
// machines on one network differ a little); it is made again well before.
constexpr qint64 kAnnouncementValidity = 15 * 60;
// The most addresses one announcement carries (a TXT string holds 255 bytes).
constexpr int kMaxAnnouncedAddresses = 7;

// The bytes the signature covers.
QByteArray announcementMessage(const AnnouncementClaim& claim);
// The TXT strings of a claim signed with `sign` (which returns the 64-byte
// signature, or nothing when it cannot sign): only the token when unsigned.
QList<QByteArray> announcementTxt(AnnouncementClaim claim, const std::function<QByteArray(const QByteArray&)>& sign);
// This host's addresses worth announcing, the most useful first: IPv4, then
// routable IPv6, then link-local IPv6 (without scope); at most
// kMaxAnnouncedAddresses.
QList<QHostAddress> announcedAddresses(QList<QHostAddress> addresses);

enum class AnnouncementCheck {
    valid,
    unsigned_,      // no or a malformed "s="
    notByTheUser,   // the signature does not verify with the user's key (for this token and port)
    outOfTime,      // signed too long ago, or too far ahead
    notCovered,     // signed by the user, but not for this address
};
// Checks the TXT strings of an announcement resolved to address and port,
// under token, against the user's key at the time now (seconds since 1970).
AnnouncementCheck checkAnnouncement(const QList<QByteArray>& txt, const QString& token, const QHostAddress& address,
                                    std::uint16_t port, const QByteArray& publicKey, qint64 now);

// Whether an address an announcement resolved to may be called: never the
// unspecified, a broadcast or a multicast address, and a loopback one only
// when the announcement is of this machine (local).
bool callableAddress(const QHostAddress& address, bool local);

}  // namespace vortan
