#pragma once

#include <QString>
#include <QStringList>

namespace brenvo {

// The addresses others may reach this machine at, best first: the router's
// external address (when the router forwards the port), the machine's
// network addresses (IPv4, then IPv6 other than link-local; never loopback)
// and its host name. Proposed for the own card when it has no address.
QStringList machineAddresses(const QString& forwardedExternalAddress);

}  // namespace brenvo
