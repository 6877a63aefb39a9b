#include "vortan/portmapping/upnpportmapper.h"

#include "vortan/portmapping/serialqueue.h"
#include "vortan/portmapping/upnpgateway.h"

namespace vortan {

UpnpPortMapper::UpnpPortMapper() = default;

// Destroying m_queue drops the requests not yet started and lets the worker
// go after the current one; that request keeps the gateway state alive
// through its own reference.
UpnpPortMapper::~UpnpPortMapper() = default;

UpnpPortMapper& UpnpPortMapper::shared()
{
    static UpnpPortMapper* const mapper = new UpnpPortMapper;
    return *mapper;
}

void UpnpPortMapper::port_mapping_init()
{
    std::call_once(m_init, [this] {
        m_gateway = std::make_shared<upnp::UpnpGateway>();
        m_queue = std::make_unique<SerialQueue>();
    });
}

void UpnpPortMapper::get_public_address(AddressCallback callback)
{
    if (!m_queue || !callback)
        return;
    m_queue->async([gateway = m_gateway, callback = std::move(callback)] {
        if (const auto address = gateway->externalAddress())
            callback(*address);
    });
}

void UpnpPortMapper::map_port(std::uint16_t port)
{
    if (!m_queue)
        return;
    m_queue->async([gateway = m_gateway, port] { gateway->mapPort(port); });
}

void UpnpPortMapper::map_port_reporting(std::uint16_t port, MappingCallback done)
{
    if (!m_queue)
        return;
    m_queue->async([gateway = m_gateway, port, done = std::move(done)] {
        const std::optional<QString> problem = gateway->mapPort(port);
        if (done)
            done(!problem, problem.value_or(QString()));
    });
}

void UpnpPortMapper::unmap_port()
{
    if (!m_queue)
        return;
    m_queue->sync([gateway = m_gateway] { gateway->unmapPort(); });
}

bool UpnpPortMapper::unmap_port_within(std::chrono::milliseconds limit)
{
    if (!m_queue)
        return true;
    // The task holds the gateway state: a removal that outlasts the wait
    // finishes on the worker with it, whatever happens to this object.
    return m_queue->syncFor([gateway = m_gateway] { gateway->unmapPort(); }, limit);
}

void UpnpPortMapper::unmap_port_async()
{
    if (!m_queue)
        return;
    m_queue->async([gateway = m_gateway] { gateway->unmapPort(); });
}

}  // namespace vortan
