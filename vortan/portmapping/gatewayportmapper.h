#pragma once

#include "vortan/portmapping/portmapper.h"

#include <chrono>
#include <memory>
#include <mutex>

namespace vortan {

class SerialQueue;

// Talks to the gateway through UPnP (miniupnpc) or, when no UPnP gateway
// answers, through NAT-PMP (libnatpmp) to the default route's gateway. All
// gateway traffic runs on one worker thread of its own, one request at a time
// in the order asked; get_public_address() and map_port() return at once,
// unmap_port() waits (unmap_port_within() for a bounded time).
// The gateway found and the mapping made are remembered for the life of the
// object; a failed discovery is tried again by the next request, each costing
// one 2-second UPnP wait and at most 2 seconds of NAT-PMP. A NAT-PMP mapping
// has a lifetime: the worker renews it when half of it is left, until it is
// removed. Where the UPnP gateway also keeps an IPv6 firewall, the mapping
// opens the port in it to this machine's global IPv6 addresses too (with
// 2 more seconds of search to reach the gateway over IPv6, until it has
// answered), with pinholes of the same lifetime, renewed and removed the
// same way. A failure there is logged and leaves the IPv4 mapping alone.
//
// Call the four functions from one thread (the main thread). Destroying the
// object, like ending the process, does not wait for a request in progress:
// requests not yet started are dropped and the worker ends after the current
// one, whose callback may still run then.
class GatewayPortMapper final : public PortMapper {
public:
    // What a NAT-PMP mapping and a pinhole in the IPv6 firewall are asked
    // for (the gateway may grant less).
    static constexpr std::chrono::seconds kLifetime{7200};

    explicit GatewayPortMapper(std::chrono::seconds lifetime = kLifetime);
    ~GatewayPortMapper() override;
    GatewayPortMapper(const GatewayPortMapper&) = delete;
    GatewayPortMapper& operator=(const GatewayPortMapper&) = delete;

    // The process-wide mapper of the program. It is never destroyed, so the
    // gateway and the mapping are remembered until the process ends.
    static GatewayPortMapper& shared();

    // Starts the worker thread and creates the gateway state, on the first
    // call only. Network namespace and other per-thread settings of the
    // calling thread at that moment are those of the worker.
    void port_mapping_init() override;
    void get_public_address(AddressCallback callback) override;
    void map_port(std::uint16_t port) override;
    void map_port_reporting(std::uint16_t port, MappingCallback done) override;
    void unmap_port() override;
    bool unmap_port_within(std::chrono::milliseconds limit) override;
    void unmap_port_async() override;

private:
    struct Gateways;

    std::chrono::seconds m_lifetime;
    std::once_flag m_init;
    std::shared_ptr<SerialQueue> m_queue;
    std::shared_ptr<Gateways> m_gateways;
};

}  // namespace vortan
