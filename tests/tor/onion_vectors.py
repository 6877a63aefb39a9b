#!/usr/bin/env python3
"""Independent values of the onion key constructions, for the C++ tests.

Usage: onion_vectors.py SERVICE_SEED_HEX CLIENT_SEED_HEX
Prints one JSON object. Plain Python only: Ed25519 after RFC 8032, X25519
after RFC 7748, HKDF after RFC 5869 (no libsodium, no OpenSSL bindings).
"""

import base64
import hashlib
import hmac
import json
import sys

P = 2**255 - 19
L = 2**252 + 27742317777372353535851937790883648493
D = -121665 * pow(121666, P - 2, P) % P
SQRT_M1 = pow(2, (P - 1) // 4, P)


def inv(x):
    return pow(x, P - 2, P)


# Points in extended coordinates (X, Y, Z, T), RFC 8032 section 5.1.4.
def add(p, q):
    a = (p[1] - p[0]) * (q[1] - q[0]) % P
    b = (p[1] + p[0]) * (q[1] + q[0]) % P
    c = 2 * p[3] * q[3] * D % P
    d = 2 * p[2] * q[2] % P
    e, f, g, h = b - a, d - c, d + c, b + a
    return (e * f % P, g * h % P, f * g % P, e * h % P)


def mul(s, p):
    q = (0, 1, 1, 0)
    while s > 0:
        if s & 1:
            q = add(q, p)
        p = add(p, p)
        s >>= 1
    return q


def encode(p):
    zi = inv(p[2])
    x, y = p[0] * zi % P, p[1] * zi % P
    return int.to_bytes(y | ((x & 1) << 255), 32, "little")


def recover_x(y, sign):
    x2 = (y * y - 1) * inv(D * y * y + 1) % P
    x = pow(x2, (P + 3) // 8, P)
    if (x * x - x2) % P != 0:
        x = x * SQRT_M1 % P
    assert (x * x - x2) % P == 0 and not (x == 0 and sign)
    return P - x if (x & 1) != sign else x


def decode(s):
    y = int.from_bytes(s, "little")
    sign = y >> 255
    y &= (1 << 255) - 1
    x = recover_x(y, sign)
    return (x, y, 1, x * y % P)


BASE = (recover_x(4 * inv(5) % P, 0), 4 * inv(5) % P, 1, recover_x(4 * inv(5) % P, 0) * 4 * inv(5) % P)


def clamp(k):
    k = bytearray(k)
    k[0] &= 248
    k[31] &= 127
    k[31] |= 64
    return bytes(k)


def x25519(k, u):
    """RFC 7748 section 5, the Montgomery ladder."""
    k = int.from_bytes(clamp(k), "little")
    x1 = int.from_bytes(u, "little") & ((1 << 255) - 1)
    x2, z2, x3, z3, swap = 1, 0, x1, 1, 0
    for t in reversed(range(255)):
        bit = (k >> t) & 1
        swap ^= bit
        if swap:
            x2, x3, z2, z3 = x3, x2, z3, z2
        swap = bit
        a, b = x2 + z2, x2 - z2
        aa, bb = a * a % P, b * b % P
        e = aa - bb
        c, d = x3 + z3, x3 - z3
        da, cb = d * a % P, c * b % P
        x3 = (da + cb) ** 2 % P
        z3 = x1 * (da - cb) ** 2 % P
        x2 = aa * bb % P
        z2 = e * (aa + 121665 * e) % P
    if swap:
        x2, z2 = x3, z3
    return int.to_bytes(x2 * inv(z2) % P, 32, "little")


def hkdf_sha256(ikm, salt, info, length):
    prk = hmac.new(salt, ikm, hashlib.sha256).digest()
    out, block, i = b"", b"", 1
    while len(out) < length:
        block = hmac.new(prk, block + info + bytes([i]), hashlib.sha256).digest()
        out += block
        i += 1
    return out[:length]


def identity(seed):
    h = hashlib.sha512(seed).digest()
    a = int.from_bytes(clamp(h[:32]), "little")
    pub = encode(mul(a, BASE))
    blind = int.from_bytes(hashlib.sha512(b"Brenvo onion service key v1" + pub).digest(), "little") % L
    secret = blind * (a % L) % L
    blinded = encode(mul(blind, decode(pub)))
    assert blinded == encode(mul(secret, BASE))
    prefix = hashlib.sha512(b"Brenvo onion service prefix v1" + h[32:]).digest()[:32]
    checksum = hashlib.sha3_256(b".onion checksum" + blinded + b"\x03").digest()[:2]
    address = base64.b32encode(blinded + checksum + b"\x03").decode().lower() + ".onion"
    y = decode(pub)[1]
    return {
        "public": pub,
        "blindedPublic": blinded,
        "expandedSecret": int.to_bytes(secret, 32, "little") + prefix,
        "address": address,
        "x25519Secret": clamp(h[:32]),
        "x25519Public": int.to_bytes((1 + y) * inv(1 - y) % P, 32, "little"),
    }


def client_auth(own, peer, service, client):
    shared = x25519(own["x25519Secret"], peer["x25519Public"])
    return hkdf_sha256(shared, b"", b"Brenvo onion client auth v1" + service["public"] + client["public"], 32)


def main():
    service = identity(bytes.fromhex(sys.argv[1]))
    client = identity(bytes.fromhex(sys.argv[2]))
    by_service = client_auth(service, client, service, client)
    by_client = client_auth(client, service, service, client)
    auth_public = x25519(by_client, int.to_bytes(9, 32, "little"))
    out = {"service": service, "client": client}
    out = {side: {k: v.hex() if isinstance(v, bytes) else v for k, v in keys.items()} for side, keys in out.items()}
    out["authKeyByService"] = by_service.hex()
    out["authKeyByClient"] = by_client.hex()
    out["authPublic"] = auth_public.hex()
    out["clientAuthV3"] = base64.b32encode(auth_public).decode().rstrip("=")
    print(json.dumps(out))


if __name__ == "__main__":
    main()
