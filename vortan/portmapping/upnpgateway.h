#pragma once

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

struct UPNPDev;

namespace vortan::upnp {

struct Igd;

// Owns a device list returned by miniupnpc's discovery.
struct DeviceListDeleter {
    void operator()(UPNPDev* list) const;
};
using DeviceList = std::unique_ptr<UPNPDev, DeviceListDeleter>;

// Cuts a discovery answer down to what the one-type-at-a-time search of
// miniupnpc would have handed on: once any device answered as a gateway or
// a gateway's connection service, the devices that answered only as a root
// device (televisions, printers, storage boxes) are dropped; and a device
// that answered several searches is kept once. Order is kept.
DeviceList keepGatewayAnswers(DeviceList devices);

// Searches the local network for gateways: every search type is sent at once
// and answers are collected during one 2-second wait.
DeviceList discoverDevices();
// Searches the local network over IPv6 for gateways that offer an IPv6
// firewall, during 2 seconds. They answer with URLs that name them
// by an IPv6 address.
DeviceList discoverIpv6Firewalls();

// Whether a text reported by a gateway as its external address is one
// (a numeric, specified IPv4 address).
bool isUsableExternalAddress(const char* text);

// What the process knows about its gateway and the mapping it made there.
// Every call blocks on the network; one thread uses an object at a time.
// Nothing is reported: failures leave the state as described per call.
class UpnpGateway {
public:
    static constexpr const char* kMappingDescription = "com.halvinor.brenvo";
    static constexpr const char* kProtocol = "TCP";

    UpnpGateway();
    ~UpnpGateway();
    UpnpGateway(const UpnpGateway&) = delete;
    UpnpGateway& operator=(const UpnpGateway&) = delete;

    // Finds a connected gateway once; later calls reuse it. A gateway that
    // reports itself not connected, or a device that is no gateway, counts
    // as none, and the next call searches again.
    bool discover();
    // The external address, when a gateway is found and reports a usable one.
    std::optional<QString> externalAddress();
    // Asks for a TCP forwarding of `port` to this machine, unless a mapping
    // already stands. Returns why there is no mapping now, if there is none.
    std::optional<QString> mapPort(std::uint16_t port);
    // Removes the standing mapping, if any. A failed removal counts as done.
    void unmapPort();

    bool discovered() const { return m_discovered; }
    bool mapped() const { return m_mapped; }
    // Whether the gateway found offers an IPv6 firewall to open (see
    // Ipv6Firewall in upnpfirewall.h).
    bool offersIpv6Firewall() const;

private:
    bool m_discovered = false;
    std::unique_ptr<Igd> m_igd;  // set once discovered
    std::uint16_t m_mappedPort = 0;
    bool m_mapped = false;
};

}  // namespace vortan::upnp
