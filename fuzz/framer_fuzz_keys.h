#pragma once

// Fixed identities and agreement keys for the framer fuzz targets, so that
// every run sees the same connection key: the framer under test is
// "ours", the records and frames it reads come from "the peer".

#include "tests/framer/memorysecretstore.h"
#include "vortan/crypto/crypto.h"
#include "vortan/framer/framer.h"
#include "vortan/log.h"

#include <QByteArray>

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace fuzzkeys {

using namespace vortan;

inline crypto::ByteView view(const QByteArray& bytes)
{
    return {reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())};
}

inline QByteArray le32(std::int32_t value)
{
    const auto v = static_cast<std::uint32_t>(value);
    const char bytes[4] = {char(v & 0xff), char((v >> 8) & 0xff), char((v >> 16) & 0xff), char((v >> 24) & 0xff)};
    return QByteArray(bytes, 4);
}

inline QByteArray hex(const char* text) { return QByteArray::fromHex(text); }

inline void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

struct Keys {
    crypto::SigningKey ourIdentity =
        crypto::SigningKey::fromRaw(view(hex("9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60")));
    crypto::SigningKey peerIdentity =
        crypto::SigningKey::fromRaw(view(hex("4ccd089b28ff96da9db6c346ec114e0f5b8a319f35aba624da8cf6ed4fb8a6fb")));
    QByteArray ourAgreement = hex("77076d0a7318a57d3c16c17251b26645df4c2f87ebc0992ab177fba51db92c2a");
    crypto::AgreementKey peerAgreement =
        crypto::AgreementKey::fromRaw(view(hex("5dab087e624a8a4b79e17f8b83800ee66f3bb1292618b6fd1c2f8b27ff88e0eb")));
    std::unique_ptr<KeyHelper> keyHelper = test::makeKeyHelper(ourIdentity);
    StorageKey endpoints{{QStringLiteral("127.0.0.1"), 1000}, {QStringLiteral("127.0.0.1"), 2000}};
    QByteArray peerKey = test::toQByteArray(peerIdentity.publicKey());

    Keys()
    {
        setLogSink([](QtMsgType, const char*, const QString&) {});
        keyHelper->setAllowedUsers({User(QStringLiteral("Peer"), std::nullopt, std::nullopt, peerKey)});
        keyHelper->signingKey();
    }

    std::unique_ptr<Framer> makeFramer() const
    {
        auto framer = std::make_unique<Framer>(*keyHelper, crypto::AgreementKey::fromRaw(view(ourAgreement)));
        framer->setEndpoints(endpoints);
        return framer;
    }

    // The peer's record around the given agreement key, properly signed.
    QByteArray peerRecord(std::int32_t version, const QByteArray& agreementKey) const
    {
        const QByteArray keys = peerKey + agreementKey;
        return le32(version) + keys + test::toQByteArray(peerIdentity.sign(view(keys)));
    }

    QByteArray peerRecord() const { return peerRecord(1, test::toQByteArray(peerAgreement.publicKey())); }
};

inline const Keys& keys()
{
    static const Keys instance;
    return instance;
}

// Reads the fuzz input front to back; past the end it yields zeros.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    bool done() const { return m_at >= m_size; }
    std::uint8_t byte() { return m_at < m_size ? m_data[m_at++] : 0; }
    std::uint16_t u16() { return static_cast<std::uint16_t>(byte() | byte() << 8); }
    QByteArray bytes(std::size_t n)
    {
        n = std::min(n, m_size - std::min(m_at, m_size));
        QByteArray out(reinterpret_cast<const char*>(m_data + m_at), static_cast<qsizetype>(n));
        m_at += n;
        return out;
    }
    QByteArray rest() { return bytes(m_size); }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
};

}  // namespace fuzzkeys
