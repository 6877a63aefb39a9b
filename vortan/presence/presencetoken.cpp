#include "vortan/presence/presencetoken.h"

#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include <array>
#include <memory>

namespace vortan {

std::int64_t utcDayNumber(const QDateTime& time)
{
    const qint64 seconds = time.toSecsSinceEpoch();
    // Rounds towards the earlier day, also before 1970.
    return seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
}

namespace {

struct MacDeleter {
    void operator()(EVP_MAC* mac) const { EVP_MAC_free(mac); }
    void operator()(EVP_MAC_CTX* ctx) const { EVP_MAC_CTX_free(ctx); }
};

// RFC 4648 base32 without padding, lowercase (mDNS names compare
// case-insensitively).
QString base32(const unsigned char* data, std::size_t size)
{
    static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz234567";
    QString out;
    std::uint32_t buffer = 0;
    int bits = 0;
    for (std::size_t i = 0; i < size; ++i) {
        buffer = (buffer << 8) | data[i];
        bits += 8;
        while (bits >= 5) {
            out += QLatin1Char(kAlphabet[(buffer >> (bits - 5)) & 31]);
            bits -= 5;
        }
    }
    if (bits > 0)
        out += QLatin1Char(kAlphabet[(buffer << (5 - bits)) & 31]);
    return out;
}

}  // namespace

// The announcement names no one. Its token is HMAC-SHA256 keyed with the
// announcing user's public key over "brenvo-presence" and the UTC day number
// (8 bytes, big-endian), cut to 10 bytes (80 bits). Computing it needs the
// public key, which only people who imported the user's card hold; a
// stranger sees 16 random-looking characters that change every UTC day, so
// two sightings on different days (or different networks on different days)
// cannot be linked, and the key cannot be recovered from them. A card holder
// computes the tokens of yesterday, today and tomorrow for each known user
// and recognises them. What a stranger does learn: that some Brenvo instance
// listens on this host and port (the service type says so), and the host's
// mDNS name, which the responder publishes for every host anyway. Within one
// day a stranger can tell the same token seen twice; that is the price of
// being found without a round of questions.
QString presenceToken(const QByteArray& publicKey, std::int64_t utcDay)
{
    if (publicKey.size() != 32)
        return {};
    std::unique_ptr<EVP_MAC, MacDeleter> mac(EVP_MAC_fetch(nullptr, "HMAC", nullptr));
    if (!mac)
        return {};
    std::unique_ptr<EVP_MAC_CTX, MacDeleter> ctx(EVP_MAC_CTX_new(mac.get()));
    if (!ctx)
        return {};
    char digest[] = "SHA256";
    const OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
                                 OSSL_PARAM_construct_end()};
    if (EVP_MAC_init(ctx.get(), reinterpret_cast<const unsigned char*>(publicKey.constData()),
                     static_cast<std::size_t>(publicKey.size()), params) != 1)
        return {};
    static constexpr char kLabel[] = "brenvo-presence";
    std::array<unsigned char, 8> day{};
    const auto value = static_cast<std::uint64_t>(utcDay);
    for (int i = 0; i < 8; ++i)
        day[static_cast<std::size_t>(i)] = static_cast<unsigned char>(value >> (56 - 8 * i));
    std::array<unsigned char, 32> out{};
    std::size_t length = 0;
    if (EVP_MAC_update(ctx.get(), reinterpret_cast<const unsigned char*>(kLabel), sizeof kLabel - 1) != 1
        || EVP_MAC_update(ctx.get(), day.data(), day.size()) != 1
        || EVP_MAC_final(ctx.get(), out.data(), &length, out.size()) != 1 || length != out.size())
        return {};
    return base32(out.data(), 10);
}

}  // namespace vortan
