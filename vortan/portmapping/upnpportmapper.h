#pragma once

#include "vortan/portmapping/portmapper.h"

#include <memory>
#include <mutex>

namespace vortan {

class SerialQueue;
namespace upnp {
class UpnpGateway;
}

// Talks to the gateway through UPnP (miniupnpc). All gateway traffic runs on
// one worker thread of its own, one request at a time in the order asked;
// get_public_address() and map_port() return at once, unmap_port() waits
// (unmap_port_within() for a bounded time).
// The gateway found and the mapping made are remembered for the life of the
// object; a failed discovery is tried again by the next request, each costing
// one 2-second wait.
//
// Call the four functions from one thread (the main thread). Destroying the
// object, like ending the process, does not wait for a request in progress:
// requests not yet started are dropped and the worker ends after the current
// one, whose callback may still run then.
class UpnpPortMapper final : public PortMapper {
public:
    UpnpPortMapper();
    ~UpnpPortMapper() override;
    UpnpPortMapper(const UpnpPortMapper&) = delete;
    UpnpPortMapper& operator=(const UpnpPortMapper&) = delete;

    // The process-wide mapper of the program. It is never destroyed, so the
    // gateway and the mapping are remembered until the process ends.
    static UpnpPortMapper& shared();

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
    std::once_flag m_init;
    std::unique_ptr<SerialQueue> m_queue;
    std::shared_ptr<upnp::UpnpGateway> m_gateway;
};

}  // namespace vortan
