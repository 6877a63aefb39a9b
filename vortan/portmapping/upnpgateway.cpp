#include "vortan/portmapping/upnpgateway.h"

#include "vortan/portmapping/upnpigd.h"

#include <miniupnpc/miniupnpc.h>
#include <miniupnpc/upnpcommands.h>
#include <miniupnpc/upnperrors.h>

#include <arpa/inet.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

namespace vortan::upnp {

namespace {

constexpr int kDiscoveryWaitMs = 2000;
constexpr unsigned char kMulticastTtl = 2;
constexpr const char* kRootDevice = "upnp:rootdevice";

// The search types of miniupnpc's upnpDiscover(), in its order.
constexpr const char* const kSearchTypes[] = {
    "urn:schemas-upnp-org:device:InternetGatewayDevice:1",
    "urn:schemas-upnp-org:service:WANIPConnection:1",
    "urn:schemas-upnp-org:service:WANPPPConnection:1",
    kRootDevice,
    nullptr,
};

// Over IPv6 only the firewall is searched for, with one type: miniupnpc
// sends the last type to the site-local group, waits, then to the link-local
// one and waits again. Two 1-second waits (answers come within the wait the
// search names) cost what one IPv4 search does.
constexpr int kIpv6DiscoveryWaitMs = 1000;
constexpr const char* const kFirewallSearchTypes[] = {
    "urn:schemas-upnp-org:service:WANIPv6FirewallControl:1",
    nullptr,
};

std::string portText(std::uint16_t port)
{
    char text[16];
    std::snprintf(text, sizeof text, "%d", static_cast<int>(port));
    return text;
}

}  // namespace

Igd::~Igd()
{
    FreeUPNPUrls(&urls);
}

std::unique_ptr<Igd> Igd::find(UPNPDev* devices)
{
    auto found = std::make_unique<Igd>();
    const int result =
        UPNP_GetValidIGD(devices, &found->urls, &found->data, found->lanAddress, sizeof found->lanAddress);
    // 2 (not connected), 3 (not a gateway) and 0 (nothing) count as not found;
    // whatever UPNP_GetValidIGD filled in goes with `found`.
    if (result != 1)
        return nullptr;
    found->lanAddress[kAddressBufferSize - 1] = '\0';
    return found;
}

bool Igd::offersIpv6Firewall() const
{
    return urls.controlURL_6FC && urls.controlURL_6FC[0] != '\0' && data.IPv6FC.servicetype[0] != '\0';
}

void DeviceListDeleter::operator()(UPNPDev* list) const
{
    freeUPNPDevlist(list);
}

DeviceList keepGatewayAnswers(DeviceList devices)
{
    bool gatewayAnswered = false;
    for (const UPNPDev* d = devices.get(); d; d = d->pNext) {
        if (std::strcmp(d->st, kRootDevice) != 0)
            gatewayAnswered = true;
    }
    UPNPDev* kept = nullptr;
    UPNPDev** keptEnd = &kept;
    DeviceList dropped;
    UPNPDev* next = nullptr;
    for (UPNPDev* d = devices.release(); d; d = next) {
        next = d->pNext;
        d->pNext = nullptr;
        bool keep = !(gatewayAnswered && std::strcmp(d->st, kRootDevice) == 0);
        for (const UPNPDev* k = kept; keep && k; k = k->pNext) {
            if (std::strcmp(k->descURL, d->descURL) == 0)
                keep = false;
        }
        if (keep) {
            *keptEnd = d;
            keptEnd = &d->pNext;
        } else {
            d->pNext = dropped.release();
            dropped.reset(d);
        }
    }
    return DeviceList(kept);
}

DeviceList discoverDevices()
{
    // upnpDiscover() sends one search type at a time and waits the full delay
    // after each one that nobody answers: four waits, 8 seconds, on a network
    // without a gateway. Sending all four at once and waiting once costs one
    // delay; keepGatewayAnswers() then leaves the list upnpDiscover() would
    // have returned, plus gateways that answered only a later type.
    int error = 0;
    DeviceList devices(upnpDiscoverDevices(kSearchTypes, kDiscoveryWaitMs, nullptr, nullptr,
                                           UPNP_LOCAL_PORT_ANY, 0, kMulticastTtl, &error, 1));
    return keepGatewayAnswers(std::move(devices));
}

DeviceList discoverIpv6Firewalls()
{
    int error = 0;
    return DeviceList(upnpDiscoverDevices(kFirewallSearchTypes, kIpv6DiscoveryWaitMs, nullptr, nullptr,
                                          UPNP_LOCAL_PORT_ANY, 1, kMulticastTtl, &error, 1));
}

bool isUsableExternalAddress(const char* text)
{
    in_addr address{};
    return inet_pton(AF_INET, text, &address) == 1 && address.s_addr != INADDR_ANY;
}

UpnpGateway::UpnpGateway() = default;

UpnpGateway::~UpnpGateway() = default;

bool UpnpGateway::discover()
{
    if (m_discovered)
        return true;
    DeviceList devices = discoverDevices();
    if (std::unique_ptr<Igd> found = Igd::find(devices.get())) {
        m_igd = std::move(found);
        m_discovered = true;
    }
    return m_discovered;
}

bool UpnpGateway::offersIpv6Firewall() const
{
    return m_discovered && m_igd->offersIpv6Firewall();
}

std::optional<QString> UpnpGateway::externalAddress()
{
    if (!discover())
        return std::nullopt;
    char address[Igd::kAddressBufferSize] = {};
    if (UPNP_GetExternalIPAddress(m_igd->controlUrl(), m_igd->serviceType(), address) != UPNPCOMMAND_SUCCESS)
        return std::nullopt;
    address[Igd::kAddressBufferSize - 1] = '\0';
    // A gateway without a WAN address answers with an empty text (or junk);
    // that is no address to put on a card.
    if (!isUsableExternalAddress(address))
        return std::nullopt;
    return QString::fromLatin1(address);
}

std::optional<QString> UpnpGateway::mapPort(std::uint16_t port)
{
    if (m_mapped)
        return std::nullopt;
    if (!discover())
        return QStringLiteral("No gateway answered");
    const std::string text = portText(port);
    const int result = UPNP_AddPortMapping(m_igd->controlUrl(), m_igd->serviceType(), text.c_str(), text.c_str(),
                                           m_igd->lanAddress, kMappingDescription, kProtocol, nullptr, nullptr);
    m_mappedPort = port;
    m_mapped = result == UPNPCOMMAND_SUCCESS;
    if (m_mapped)
        return std::nullopt;
    const char* why = strupnperror(result);
    return QStringLiteral("The gateway refused to forward port %1: %2")
        .arg(port)
        .arg(why ? QString::fromUtf8(why) : QString::number(result));
}

void UpnpGateway::unmapPort()
{
    if (!m_mapped)
        return;
    const std::string text = portText(m_mappedPort);
    UPNP_DeletePortMapping(m_igd->controlUrl(), m_igd->serviceType(), text.c_str(), kProtocol, nullptr);
    m_mapped = false;
}

}  // namespace vortan::upnp
