#pragma once

#include "vortan/changingaddresses.h"

#include <QHostAddress>
#include <QList>
#include <QNetworkAddressEntry>
#include <QString>

namespace vortan {

// An address in the form it is compared in: IPv4-mapped IPv6 as plain IPv4,
// no scope.
QHostAddress plainAddress(QHostAddress address);

// The networks this machine is on: the address entries of the interfaces
// that are up and running, loopback left out. The calling thread's network
// namespace decides what is seen.
QList<QNetworkAddressEntry> machineNetworks();

// This machine's addresses a contact may call, in the order of `networks`,
// each once: neither loopback nor link-local nor multicast ones, nor those
// that change (changingIpv6Addresses()). IPv4-mapped addresses count as IPv4.
QList<QString> callableAddresses(const QList<QNetworkAddressEntry>& networks,
                                 const QList<QHostAddress>& changing = changingIpv6Addresses());

// Whether an address is a global IPv6 one (not unique local, not site-local),
// reachable from anywhere where no firewall stands in the way.
bool isGlobalIpv6(const QHostAddress& address);

// The callable addresses that are global IPv6 ones.
QList<QString> globalIpv6Addresses(const QList<QNetworkAddressEntry>& networks);

}  // namespace vortan
