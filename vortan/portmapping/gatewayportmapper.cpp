#include "vortan/portmapping/gatewayportmapper.h"

#include "vortan/log.h"
#include "vortan/portmapping/natpmpgateway.h"
#include "vortan/portmapping/serialqueue.h"
#include "vortan/portmapping/upnpfirewall.h"
#include "vortan/portmapping/upnpgateway.h"
#include "vortan/util/machineaddresses.h"

namespace vortan {

using namespace std::chrono_literals;

// The two kinds of gateway and the UPnP gateway's IPv6 firewall; only the
// worker thread touches them.
struct GatewayPortMapper::Gateways {
    enum class Kind { none, upnp, natpmp };

    using Renewal = std::optional<std::chrono::milliseconds> (*)(Gateways&);

    upnp::UpnpGateway upnp;
    upnp::Ipv6Firewall firewall;
    natpmp::NatPmpGateway natpmp;
    // Count the NAT-PMP mappings and the openings of the firewall, made and
    // removed: a renewal queued for an earlier one does nothing.
    std::uint64_t natPmpMapping = 0;
    std::uint64_t firewallOpening = 0;

    explicit Gateways(std::chrono::seconds lifetime) : firewall(lifetime), natpmp(lifetime) {}

    // UPnP when a UPnP gateway answers, else NAT-PMP; once a NAT-PMP gateway
    // has answered, UPnP is not searched for again.
    Kind find()
    {
        if (natpmp.discovered())
            return Kind::natpmp;
        if (upnp.discover())
            return Kind::upnp;
        if (natpmp.discover()) {
            logDebug(lcPortMapping(), QStringLiteral("No UPnP gateway answered; the gateway answers NAT-PMP."));
            return Kind::natpmp;
        }
        return Kind::none;
    }

    std::optional<QString> externalAddress()
    {
        switch (find()) {
        case Kind::upnp:
            return upnp.externalAddress();
        case Kind::natpmp:
            return natpmp.externalAddress();
        case Kind::none:
            break;
        }
        return std::nullopt;
    }

    std::optional<QString> mapPort(std::uint16_t port, const std::weak_ptr<SerialQueue>& queue,
                                   const std::shared_ptr<Gateways>& self)
    {
        // Each gateway sends nothing while its mapping stands.
        switch (find()) {
        case Kind::upnp:
            return upnp.mapPort(port);
        case Kind::natpmp:
            if (natpmp.mapped())
                return std::nullopt;
            if (auto problem = natpmp.mapPort(port))
                return problem;
            ++natPmpMapping;
            scheduleRenewal(queue, self, natpmp.renewalDelay(), &Gateways::natPmpMapping, renewNatPmp);
            return std::nullopt;
        case Kind::none:
            break;
        }
        return QStringLiteral("No gateway answered");
    }

    // Where the UPnP gateway also keeps an IPv6 firewall, opens `port` in it
    // to this machine's global IPv6 addresses, unless it stands open. The
    // IPv4 forwarding does not depend on it.
    void openFirewall(std::uint16_t port, const std::weak_ptr<SerialQueue>& queue,
                      const std::shared_ptr<Gateways>& self)
    {
        if (natpmp.discovered() || !upnp.offersIpv6Firewall() || firewall.isOpen())
            return;
        const QList<QString> addresses = globalIpv6Addresses(machineNetworks());
        if (addresses.isEmpty())
            return;
        if (const auto problem = firewall.open(port, addresses))
            logWarning(lcPortMapping(),
                       QStringLiteral("Could not open the IPv6 firewall for port %1: %2").arg(port).arg(*problem));
        if (!firewall.isOpen())
            return;
        logInfo(lcPortMapping(), QStringLiteral("IPv6 firewall open for port %1 (%2).")
                                     .arg(port)
                                     .arg(firewall.addresses().join(QStringLiteral(", "))));
        ++firewallOpening;
        scheduleRenewal(queue, self, firewall.renewalDelay(), &Gateways::firewallOpening, renewFirewall);
    }

    void unmapPort()
    {
        upnp.unmapPort();
        firewall.close();
        natpmp.unmapPort();
        ++natPmpMapping;
        ++firewallOpening;
    }

    // Calls `renew` after `delay` (at least a second), unless the mapping or
    // opening counted by `counter` has been replaced or removed by then, and
    // again after the delay it returns, until it returns nothing.
    static void scheduleRenewal(const std::weak_ptr<SerialQueue>& queue, const std::shared_ptr<Gateways>& self,
                                std::chrono::milliseconds delay, std::uint64_t Gateways::*counter, Renewal renew)
    {
        const auto worker = queue.lock();
        if (!worker)
            return;
        worker->asyncAfter(std::max(delay, std::chrono::milliseconds(1s)),
                           [queue, self, counter, renew, expected = self.get()->*counter] {
                               if (self.get()->*counter != expected)
                                   return;
                               if (const auto next = renew(*self))
                                   scheduleRenewal(queue, self, *next, counter, renew);
                           });
    }

    // Renews the NAT-PMP mapping when half of its lifetime is left; a failed
    // renewal is tried again at half of what is then left, until the
    // lifetime ends.
    static std::optional<std::chrono::milliseconds> renewNatPmp(Gateways& self)
    {
        natpmp::NatPmpGateway& gateway = self.natpmp;
        if (!gateway.mapped())
            return std::nullopt;
        if (const auto problem = gateway.renew())
            logWarning(lcPortMapping(), QStringLiteral("Could not renew the forwarding: %1").arg(*problem));
        else
            logDebug(lcPortMapping(),
                     QStringLiteral("Renewed the forwarding of port %1 through NAT-PMP.").arg(gateway.mappedPort()));
        return gateway.mapped() ? std::optional(gateway.renewalDelay()) : std::nullopt;
    }

    // The same for the pinholes in the IPv6 firewall.
    static std::optional<std::chrono::milliseconds> renewFirewall(Gateways& self)
    {
        upnp::Ipv6Firewall& firewall = self.firewall;
        if (!firewall.isOpen())
            return std::nullopt;
        if (const auto problem = firewall.renew())
            logWarning(lcPortMapping(),
                       QStringLiteral("Could not renew the IPv6 firewall's pinholes: %1").arg(*problem));
        else
            logDebug(lcPortMapping(),
                     QStringLiteral("Renewed the IPv6 firewall's pinholes for port %1.").arg(firewall.port()));
        return firewall.isOpen() ? std::optional(firewall.renewalDelay()) : std::nullopt;
    }
};

GatewayPortMapper::GatewayPortMapper(std::chrono::seconds lifetime) : m_lifetime(lifetime) {}

// Dropping m_queue drops the requests not yet started and lets the worker go
// after the current one; that request keeps the gateway state alive through
// its own reference. Queued renewals hold the queue only weakly.
GatewayPortMapper::~GatewayPortMapper() = default;

GatewayPortMapper& GatewayPortMapper::shared()
{
    static GatewayPortMapper* const mapper = new GatewayPortMapper;
    return *mapper;
}

void GatewayPortMapper::port_mapping_init()
{
    std::call_once(m_init, [this] {
        m_gateways = std::make_shared<Gateways>(m_lifetime);
        m_queue = std::make_shared<SerialQueue>();
    });
}

void GatewayPortMapper::get_public_address(AddressCallback callback)
{
    if (!m_queue || !callback)
        return;
    m_queue->async([gateways = m_gateways, callback = std::move(callback)] {
        if (const auto address = gateways->externalAddress())
            callback(*address);
    });
}

void GatewayPortMapper::map_port(std::uint16_t port)
{
    map_port_reporting(port, nullptr);
}

void GatewayPortMapper::map_port_reporting(std::uint16_t port, MappingCallback done)
{
    if (!m_queue)
        return;
    m_queue->async([gateways = m_gateways, queue = std::weak_ptr(m_queue), port, done = std::move(done)] {
        const std::optional<QString> problem = gateways->mapPort(port, queue, gateways);
        if (done)
            done(!problem, problem.value_or(QString()));
        gateways->openFirewall(port, queue, gateways);
    });
}

void GatewayPortMapper::unmap_port()
{
    if (!m_queue)
        return;
    m_queue->sync([gateways = m_gateways] { gateways->unmapPort(); });
}

bool GatewayPortMapper::unmap_port_within(std::chrono::milliseconds limit)
{
    if (!m_queue)
        return true;
    // The task holds the gateway state: a removal that outlasts the wait
    // finishes on the worker with it, whatever happens to this object.
    return m_queue->syncFor([gateways = m_gateways] { gateways->unmapPort(); }, limit);
}

void GatewayPortMapper::unmap_port_async()
{
    if (!m_queue)
        return;
    m_queue->async([gateways = m_gateways] { gateways->unmapPort(); });
}

}  // namespace vortan
