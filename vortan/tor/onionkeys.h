#pragma once

// The keys that let contacts reach each other through Tor onion services,
// all derived from what each side already holds: its own identity seed and
// the contact's identity public key (the card). docs/tor.md gives the
// constructions and why they are safe.
//
// Every function returns an empty result, never throws, when an input is not
// usable: a wrong length, a public key that is not a valid Ed25519 point (or
// one of small order), or an agreement that gives the all-zero secret.

#include "vortan/crypto/crypto.h"

#include <QString>

#include <array>
#include <optional>

namespace vortan {

// Tor's expanded Ed25519 secret key: the scalar (32 bytes, little endian)
// followed by the 32-byte nonce prefix.
using OnionExpandedKey = std::array<std::uint8_t, 64>;

// The onion service's expanded secret key, blinded from the identity seed
// (the 32-byte Ed25519 private key). Nothing when the seed is not 32 bytes.
std::optional<OnionExpandedKey> onionServiceSecretKey(crypto::ByteView identitySeed);

// The onion service's public key, computed from the identity public key alone.
std::optional<crypto::Key32> onionServicePublicKey(crypto::ByteView identityPublicKey);

// The v3 onion address of a service public key: 56 lowercase base32
// characters followed by ".onion" (empty only when hashing fails).
QString onionAddress(const crypto::Key32& servicePublicKey);

// The onion address of the person with this identity public key.
std::optional<QString> onionAddressOf(crypto::ByteView identityPublicKey);

// Which end of the client authorization this identity is.
enum class OnionAuthRole {
    serviceOwner,  // we publish the service; the peer is an authorized client
    client,        // we reach the peer's service
};

// The X25519 client-authorization private key of the pair (service owner,
// client), computed by either end from its own identity seed and the other's
// identity public key. Both ends get the same key.
std::optional<crypto::Key32> onionClientAuthKey(crypto::ByteView ownSeed, crypto::ByteView peerPublicKey,
                                                OnionAuthRole ownRole);

// The X25519 public key of a client-authorization private key (what the
// service owner authorizes).
std::optional<crypto::Key32> onionClientAuthPublicKey(const crypto::Key32& clientAuthKey);

// Text forms for tor's control port.
namespace torformat {

enum class Case { lower, upper };

// RFC 4648 base32 without padding.
QString base32(crypto::ByteView bytes, Case letterCase);
// RFC 4648 base64 with padding.
QString base64(crypto::ByteView bytes);

// The address without ".onion", as ADD_ONION answers and ONION_CLIENT_AUTH_ADD
// takes it (empty only when hashing fails).
QString serviceId(const crypto::Key32& servicePublicKey);
// ADD_ONION's key argument: "ED25519-V3:" and the expanded key in base64.
QString addOnionKey(const OnionExpandedKey& key);
// ADD_ONION's "ClientAuthV3=" value: the client's public key in base32 (52 characters).
QString clientAuthV3(const crypto::Key32& clientAuthPublicKey);
// ONION_CLIENT_AUTH_ADD's key argument: "x25519:" and the private key in base64.
QString clientAuthAddKey(const crypto::Key32& clientAuthKey);

}  // namespace torformat

}  // namespace vortan
