#include "vortan/portmapping/gatewayportmapper.h"

#include "vortan/log.h"
#include "vortan/portmapping/natpmpgateway.h"
#include "vortan/portmapping/serialqueue.h"
#include "vortan/portmapping/upnpgateway.h"

namespace vortan {

using namespace std::chrono_literals;

// The two kinds of gateway; only the worker thread touches them.
struct GatewayPortMapper::Gateways {
    enum class Kind { none, upnp, natpmp };

    upnp::UpnpGateway upnp;
    natpmp::NatPmpGateway natpmp;
    // Counts the NAT-PMP mappings made and removed: a renewal queued for an
    // earlier one does nothing.
    std::uint64_t natPmpMapping = 0;

    explicit Gateways(std::chrono::seconds lifetime) : natpmp(lifetime) {}

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
            scheduleRenewal(queue, self);
            return std::nullopt;
        case Kind::none:
            break;
        }
        return QStringLiteral("No gateway answered");
    }

    void unmapPort()
    {
        upnp.unmapPort();
        natpmp.unmapPort();
        ++natPmpMapping;
    }

    // Renews the NAT-PMP mapping when half of its lifetime is left; a failed
    // renewal is tried again at half of what is then left, at most once a
    // second, until the lifetime ends.
    static void scheduleRenewal(const std::weak_ptr<SerialQueue>& queue, const std::shared_ptr<Gateways>& self)
    {
        const auto worker = queue.lock();
        if (!worker)
            return;
        worker->asyncAfter(std::max(self->natpmp.renewalDelay(), std::chrono::milliseconds(1s)),
                           [queue, self, mapping = self->natPmpMapping] {
                               natpmp::NatPmpGateway& gateway = self->natpmp;
                               if (mapping != self->natPmpMapping || !gateway.mapped())
                                   return;
                               if (const auto problem = gateway.renew())
                                   logWarning(lcPortMapping(), QStringLiteral("Could not renew the forwarding: %1").arg(*problem));
                               else
                                   logDebug(lcPortMapping(), QStringLiteral("Renewed the forwarding of port %1 through NAT-PMP.")
                                                                 .arg(gateway.mappedPort()));
                               if (gateway.mapped())
                                   scheduleRenewal(queue, self);
                           });
    }
};

GatewayPortMapper::GatewayPortMapper(std::chrono::seconds natPmpLifetime) : m_natPmpLifetime(natPmpLifetime) {}

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
        m_gateways = std::make_shared<Gateways>(m_natPmpLifetime);
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
