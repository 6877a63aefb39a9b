#include "vortan/presence/announcement.h"

#include "vortan/crypto/crypto.h"

#include <QNetworkInterface>

#include <algorithm>
#include <array>

namespace vortan {

namespace {

constexpr char kLabel[] = "brenvo-presence-v1";
constexpr qsizetype kTimeSize = 8;
constexpr qsizetype kSignatureSize = 64;
constexpr qsizetype kAddressSize = 16;

QByteArray addressBytes(const QHostAddress& address)
{
    // An IPv4 address gives its IPv4-mapped IPv6 form.
    const Q_IPV6ADDR v6 = address.toIPv6Address();
    return QByteArray(reinterpret_cast<const char*>(v6.c), kAddressSize);
}

void appendBigEndian(QByteArray& out, quint64 value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        out.append(static_cast<char>((value >> (8 * i)) & 0xff));
}

crypto::ByteView view(const QByteArray& bytes)
{
    return {reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())};
}

int usefulness(const QHostAddress& address)
{
    if (address.protocol() == QAbstractSocket::IPv4Protocol)
        return 0;
    return address.isLinkLocal() ? 2 : 1;
}

}  // namespace

QByteArray announcementMessage(const AnnouncementClaim& claim)
{
    QByteArray message(kLabel, sizeof kLabel);  // with its terminating zero
    message += claim.token.toLatin1();
    message += '\0';
    appendBigEndian(message, claim.port, 2);
    appendBigEndian(message, static_cast<quint64>(claim.time), kTimeSize);
    for (const QHostAddress& address : claim.addresses)
        message += addressBytes(address);
    return message;
}

QList<QByteArray> announcementTxt(AnnouncementClaim claim, const std::function<QByteArray(const QByteArray&)>& sign)
{
    QList<QByteArray> txt{QByteArrayLiteral("t=") + claim.token.toLatin1()};
    claim.addresses = claim.addresses.mid(0, kMaxAnnouncedAddresses);
    const QByteArray signature = sign ? sign(announcementMessage(claim)) : QByteArray();
    if (signature.size() != kSignatureSize)
        return txt;
    QByteArray value;
    appendBigEndian(value, static_cast<quint64>(claim.time), kTimeSize);
    value += signature;
    for (const QHostAddress& address : std::as_const(claim.addresses))
        value += addressBytes(address);
    txt.append(QByteArrayLiteral("s=") + value.toBase64(QByteArray::OmitTrailingEquals));
    return txt;
}

QList<QHostAddress> announcedAddresses(QList<QHostAddress> addresses)
{
    addresses.removeIf([](const QHostAddress& a) {
        return a.isNull() || a.isLoopback() || a.isMulticast() || a.isBroadcast()
               || a == QHostAddress::AnyIPv4 || a == QHostAddress::AnyIPv6;
    });
    for (QHostAddress& address : addresses)
        address.setScopeId(QString());
    std::stable_sort(addresses.begin(), addresses.end(),
                     [](const QHostAddress& a, const QHostAddress& b) { return usefulness(a) < usefulness(b); });
    addresses.erase(std::unique(addresses.begin(), addresses.end()), addresses.end());
    return addresses.mid(0, kMaxAnnouncedAddresses);
}

AnnouncementCheck checkAnnouncement(const QList<QByteArray>& txt, const QString& token, const QHostAddress& address,
                                    std::uint16_t port, const QByteArray& publicKey, qint64 now)
{
    const auto signedValue = std::find_if(txt.cbegin(), txt.cend(), [](const QByteArray& s) { return s.startsWith("s="); });
    if (signedValue == txt.cend())
        return AnnouncementCheck::unsigned_;
    const auto decoded = QByteArray::fromBase64Encoding(signedValue->mid(2), QByteArray::AbortOnBase64DecodingErrors
                                                                                 | QByteArray::OmitTrailingEquals);
    if (!decoded)
        return AnnouncementCheck::unsigned_;
    const QByteArray value = *decoded;
    const qsizetype addressBytesSize = value.size() - kTimeSize - kSignatureSize;
    if (addressBytesSize <= 0 || addressBytesSize % kAddressSize != 0)
        return AnnouncementCheck::unsigned_;
    AnnouncementClaim claim;
    claim.token = token.toLower();
    claim.port = port;
    quint64 time = 0;
    for (qsizetype i = 0; i < kTimeSize; ++i)
        time = (time << 8) | static_cast<std::uint8_t>(value.at(i));
    claim.time = static_cast<qint64>(time);
    const QByteArray signature = value.mid(kTimeSize, kSignatureSize);
    const QByteArray addresses = value.mid(kTimeSize + kSignatureSize);
    const QByteArray message = announcementMessage(claim) + addresses;
    if (!crypto::verify(view(publicKey), view(message), view(signature)))
        return AnnouncementCheck::notByTheUser;
    if (claim.time < now - kAnnouncementValidity || claim.time > now + kAnnouncementValidity)
        return AnnouncementCheck::outOfTime;
    QHostAddress plain = address;
    plain.setScopeId(QString());
    const QByteArray wanted = addressBytes(plain);
    for (qsizetype i = 0; i < addresses.size(); i += kAddressSize) {
        if (addresses.mid(i, kAddressSize) == wanted)
            return AnnouncementCheck::valid;
    }
    return AnnouncementCheck::notCovered;
}

bool callableAddress(const QHostAddress& address, bool local)
{
    if (address.isNull() || address == QHostAddress::AnyIPv4 || address == QHostAddress::AnyIPv6
        || address.isMulticast() || address.isBroadcast())
        return false;
    if (address.isLoopback())
        return local;
    // A network's own broadcast address (x.y.z.255 on a /24).
    for (const QNetworkInterface& interface : QNetworkInterface::allInterfaces()) {
        for (const QNetworkAddressEntry& entry : interface.addressEntries()) {
            if (!entry.broadcast().isNull() && entry.broadcast() == address)
                return false;
        }
    }
    return true;
}

}  // namespace vortan
