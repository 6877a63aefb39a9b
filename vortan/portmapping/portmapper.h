#pragma once

#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>

namespace vortan {

// How the controller reaches the local Internet gateway: it learns the
// gateway's external address and asks for a TCP forwarding of the listening
// port. No call reports an error and none writes a diagnostic line; a missing
// or unwilling gateway simply has no effect. (What a mapper does on its own
// later, such as renewing a mapping, may write lines.)
class PortMapper {
public:
    // Receives the gateway's external address (IPv4, dotted decimal). It runs
    // on the mapper's own worker thread, never on the caller's thread: move to
    // the main thread before touching main-thread state (see queuedTo() in
    // vortan/portmapping/queuedcall.h).
    using AddressCallback = std::function<void(const QString& address)>;
    // Whether the port is forwarded now, else the gateway's or the system's
    // text why not. Runs on the mapper's thread, like AddressCallback.
    using MappingCallback = std::function<void(bool forwarded, const QString& problem)>;

    virtual ~PortMapper() = default;

    // Sets the mapper up. Only the first call has an effect; the others must
    // be made before it, except that unmap_port() before it does nothing.
    virtual void port_mapping_init() = 0;
    // Asks for the external address in the background. The callback is called
    // at most once, and only when the gateway reported an address.
    virtual void get_public_address(AddressCallback callback) = 0;
    // Asks in the background for a forwarding of TCP port `port` (same port
    // outside and inside) to this machine. While an earlier mapping stands,
    // this sends nothing: the earlier one stays, whatever its port.
    virtual void map_port(std::uint16_t port) = 0;
    // map_port(), then the outcome. A mapper that cannot tell (the default)
    // never calls back.
    virtual void map_port_reporting(std::uint16_t port, MappingCallback done)
    {
        (void)done;
        map_port(port);
    }
    // Removes the mapping made by map_port(), if one stands, and returns once
    // every request made before it and the removal have finished.
    virtual void unmap_port() = 0;
    // unmap_port() that waits at most `limit`: whether the removal (and
    // everything asked before it) has finished by then. Otherwise the
    // removal still runs in the background, after what is ahead of it.
    virtual bool unmap_port_within(std::chrono::milliseconds limit)
    {
        (void)limit;
        unmap_port();
        return true;
    }
    // The same removal, asked for in the background: returns at once. For
    // the main thread while the program goes on (a discovery may keep the
    // mapper busy for seconds); a later map_port() is queued after it.
    virtual void unmap_port_async() = 0;
};

// A mapper that never sends anything: for programs and tests that must not
// put gateway traffic (UPnP discovery, NAT-PMP) on the machine's network. It
// never calls back.
class NullPortMapper final : public PortMapper {
public:
    void port_mapping_init() override {}
    void get_public_address(AddressCallback) override {}
    void map_port(std::uint16_t) override {}
    void unmap_port() override {}
    bool unmap_port_within(std::chrono::milliseconds) override { return true; }
    void unmap_port_async() override {}
};

}  // namespace vortan
