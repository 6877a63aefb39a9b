#pragma once

#include "vortan/vortan_export.h"

#include <QByteArrayView>
#include <QHostAddress>
#include <QList>

namespace vortan {

// This machine's IPv6 addresses that will soon change or go: privacy
// addresses and deprecated ones, as the kernel marks them. They are of no
// use on a card or to a contact. (QNetworkAddressEntry::isTemporary() only
// tells that an address has a finite lifetime, as every address handed out
// by SLAAC or DHCP has, stable ones included.) Read in the calling thread's
// network namespace; empty where the kernel does not say.
VORTAN_EXPORT QList<QHostAddress> changingIpv6Addresses();
// The same from the text of /proc/net/if_inet6; lines it does not
// understand are skipped.
VORTAN_EXPORT QList<QHostAddress> changingIpv6Addresses(QByteArrayView ifInet6);

}  // namespace vortan
