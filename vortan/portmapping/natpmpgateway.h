#pragma once

#include <QString>

#include <chrono>
#include <cstdint>
#include <optional>

namespace vortan::natpmp {

// What the process knows about a gateway that speaks NAT-PMP (libnatpmp) and
// the mapping it made there. The gateway is the default route's; every call
// sends at most a request or two and waits for each answer at most
// kAnswerWait, so a call blocks for seconds at worst. One thread uses an
// object at a time. Nothing is reported: failures leave the state as
// described per call.
class NatPmpGateway {
public:
    static constexpr std::chrono::milliseconds kAnswerWait{2000};

    // Mappings are asked for with this lifetime; the gateway may grant less.
    explicit NatPmpGateway(std::chrono::seconds lifetime);

    // Whether the gateway answered NAT-PMP once; until it has, each call asks.
    bool discover();
    // The external address, when the gateway answers with a usable one.
    std::optional<QString> externalAddress();
    // Asks for a TCP forwarding of `port` (the same port outside) unless a
    // mapping already stands. Returns why there is no mapping now, if none.
    std::optional<QString> mapPort(std::uint16_t port);
    // Asks again for the standing mapping before its lifetime ends. Returns
    // why not, if it failed; the mapping then counts as gone once its
    // lifetime has ended.
    std::optional<QString> renew();
    // Removes the standing mapping, if any. A failed removal counts as done.
    void unmapPort();

    bool discovered() const { return m_discovered; }
    bool mapped() const;
    std::uint16_t mappedPort() const { return m_mappedPort; }
    // When to renew the standing mapping: half of what is left of its lifetime.
    std::chrono::milliseconds renewalDelay() const;

private:
    std::optional<QString> requestMapping(std::uint16_t port);

    std::chrono::seconds m_lifetime;
    bool m_discovered = false;
    std::uint16_t m_mappedPort = 0;
    std::optional<std::chrono::steady_clock::time_point> m_expiry;  // set while a mapping stands
};

}  // namespace vortan::natpmp
