#pragma once

#include <miniupnpc/miniupnpc.h>

#include <memory>

namespace vortan::upnp {

// A gateway found by a discovery: its URLs and service data as
// UPNP_GetValidIGD fills them in (freed with the object), and this machine's
// address towards it. Reached over IPv6 when the discovery was made over
// IPv6, and then its URLs name the gateway by an IPv6 address.
struct Igd {
    static constexpr int kAddressBufferSize = 64;  // an IPv6 address in text

    UPNPUrls urls{};
    IGDdatas data{};
    char lanAddress[kAddressBufferSize] = {};

    Igd() = default;
    ~Igd();
    Igd(const Igd&) = delete;
    Igd& operator=(const Igd&) = delete;

    // The first connected gateway among `devices`; null when there is none.
    static std::unique_ptr<Igd> find(UPNPDev* devices);

    const char* controlUrl() const { return urls.controlURL; }
    const char* serviceType() const { return data.first.servicetype; }
    // Whether it offers an IPv6 firewall to open (WANIPv6FirewallControl).
    bool offersIpv6Firewall() const;
    const char* firewallControlUrl() const { return urls.controlURL_6FC; }
    const char* firewallServiceType() const { return data.IPv6FC.servicetype; }
};

}  // namespace vortan::upnp
