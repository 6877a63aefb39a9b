#pragma once

#include <QList>
#include <QString>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vortan::upnp {

struct Igd;

// The pinholes this process keeps in the IPv6 firewall of a UPnP gateway (its
// WANIPv6FirewallControl service): TCP to one port, from anywhere, one per
// address of this machine, each with a lease that the owner renews.
//
// A gateway takes requests about an address only from that address, so they
// go to it over IPv6: the first open() searches for it over IPv6 (2
// seconds), later ones reuse what it found. Every call blocks on the
// network; one thread uses an object at a time. Nothing is logged: the calls
// return why they failed.
class Ipv6Firewall {
public:
    // The gateway's bounds for a lease.
    static constexpr std::chrono::seconds kLongestLease{86400};

    // Pinholes are asked for with this lease (within the gateway's bounds).
    explicit Ipv6Firewall(std::chrono::seconds lease);
    ~Ipv6Firewall();
    Ipv6Firewall(const Ipv6Firewall&) = delete;
    Ipv6Firewall& operator=(const Ipv6Firewall&) = delete;

    // Opens TCP port `port` to each of `addresses` (this machine's global
    // IPv6 addresses) unless pinholes stand. Returns why not, for every
    // address without a pinhole, if any.
    std::optional<QString> open(std::uint16_t port, const QList<QString>& addresses);
    // Extends the lease of each standing pinhole, opening it again where the
    // gateway has forgotten it. Returns why not, if that failed for one; such
    // a pinhole counts as gone once its lease has ended.
    std::optional<QString> renew();
    // Removes the pinholes. A failed removal counts as done.
    void close();

    bool isOpen() const;
    std::uint16_t port() const { return m_port; }
    // The addresses with a pinhole, in the order asked.
    QList<QString> addresses() const;
    // When to renew: half of what is left of the shortest lease.
    std::chrono::milliseconds renewalDelay() const;

private:
    struct Pinhole {
        QString address;
        std::string id;  // the gateway's
        std::chrono::steady_clock::time_point expiry;
    };

    std::optional<QString> findGateway();
    std::optional<QString> add(Pinhole& pinhole);

    std::chrono::seconds m_lease;
    std::unique_ptr<Igd> m_igd;  // the gateway as reached over IPv6
    std::uint16_t m_port = 0;
    std::vector<Pinhole> m_pinholes;
};

}  // namespace vortan::upnp
