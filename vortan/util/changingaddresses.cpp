#include "vortan/changingaddresses.h"

#include <QFile>

namespace vortan {

namespace {

// The address flags the kernel shows (the low byte of IFA_F_*).
constexpr unsigned kTemporary = 0x01;
constexpr unsigned kDeprecated = 0x20;

}  // namespace

QList<QHostAddress> changingIpv6Addresses(QByteArrayView ifInet6)
{
    QList<QHostAddress> changing;
    for (const QByteArrayView line : QByteArray::fromRawData(ifInet6.data(), ifInet6.size()).split('\n')) {
        // "20010db8000000000000000000000001 02 40 00 80 eth0": address,
        // interface index, prefix length, scope, flags, name.
        const QList<QByteArray> fields = line.toByteArray().simplified().split(' ');
        if (fields.size() < 5 || fields[0].size() != 32)
            continue;
        bool ok = false;
        const unsigned flags = fields[4].toUInt(&ok, 16);
        const QByteArray raw = QByteArray::fromHex(fields[0]);
        if (!ok || raw.size() != 16 || !(flags & (kTemporary | kDeprecated)))
            continue;
        changing.append(QHostAddress(reinterpret_cast<const quint8*>(raw.constData())));
    }
    return changing;
}

QList<QHostAddress> changingIpv6Addresses()
{
    // thread-self: a thread may have entered another network namespace.
    QFile file(QStringLiteral("/proc/thread-self/net/if_inet6"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return changingIpv6Addresses(file.read(1 << 20));
}

}  // namespace vortan
