#include "vortan/portmapping/upnpfirewall.h"

#include "vortan/portmapping/upnpgateway.h"
#include "vortan/portmapping/upnpigd.h"

#include <miniupnpc/upnpcommands.h>
#include <miniupnpc/upnperrors.h>

#include <algorithm>

namespace vortan::upnp {

using namespace std::chrono;
using namespace std::chrono_literals;

namespace {

constexpr const char* kTcp = "6";  // the firewall service names protocols by number
constexpr const char* kAnyHost = "";
constexpr const char* kAnyPort = "0";
constexpr int kIdBufferSize = 8;  // what miniupnpc copies: a number below 65536

QString upnpError(int result)
{
    const char* why = strupnperror(result);
    return why ? QString::fromUtf8(why) : QString::number(result);
}

}  // namespace

Ipv6Firewall::Ipv6Firewall(seconds lease) : m_lease(std::clamp(lease, seconds(1), kLongestLease)) {}

Ipv6Firewall::~Ipv6Firewall() = default;

std::optional<QString> Ipv6Firewall::findGateway()
{
    if (m_igd)
        return std::nullopt;
    DeviceList devices = discoverIpv6Firewalls();
    std::unique_ptr<Igd> found = Igd::find(devices.get());
    if (!found)
        return QStringLiteral("no gateway answered over IPv6");
    if (!found->offersIpv6Firewall())
        return QStringLiteral("the gateway that answered over IPv6 has no IPv6 firewall to open");
    m_igd = std::move(found);
    return std::nullopt;
}

std::optional<QString> Ipv6Firewall::open(std::uint16_t port, const QList<QString>& addresses)
{
    if (isOpen())
        return std::nullopt;
    m_pinholes.clear();
    m_port = port;
    if (addresses.isEmpty())
        return QStringLiteral("this machine has no global IPv6 address");
    if (auto problem = findGateway())
        return problem;
    int enabled = 0;
    int inboundAllowed = 0;
    const int status =
        UPNP_GetFirewallStatus(m_igd->firewallControlUrl(), m_igd->firewallServiceType(), &enabled, &inboundAllowed);
    if (status != UPNPCOMMAND_SUCCESS)
        return QStringLiteral("the gateway did not tell the state of its IPv6 firewall: %1").arg(upnpError(status));
    if (!enabled)
        return QStringLiteral("the gateway's IPv6 firewall is off");
    if (!inboundAllowed)
        return QStringLiteral("the gateway's IPv6 firewall allows no pinholes");
    QStringList problems;
    for (const QString& address : addresses) {
        Pinhole pinhole{address, {}, {}};
        if (auto problem = add(pinhole))
            problems.append(QStringLiteral("%1: %2").arg(address, *problem));
        else
            m_pinholes.push_back(std::move(pinhole));
    }
    if (problems.isEmpty())
        return std::nullopt;
    return problems.join(QStringLiteral("; "));
}

std::optional<QString> Ipv6Firewall::add(Pinhole& pinhole)
{
    const std::string address = pinhole.address.toStdString();
    const std::string port = std::to_string(m_port);
    const std::string lease = std::to_string(m_lease.count());
    char id[kIdBufferSize] = {};
    const auto asked = steady_clock::now();
    const int result = UPNP_AddPinhole(m_igd->firewallControlUrl(), m_igd->firewallServiceType(), kAnyHost, kAnyPort,
                                       address.c_str(), port.c_str(), kTcp, lease.c_str(), id);
    if (result != UPNPCOMMAND_SUCCESS)
        return QStringLiteral("the gateway refused a pinhole: %1").arg(upnpError(result));
    id[kIdBufferSize - 1] = '\0';
    pinhole.id = id;
    pinhole.expiry = asked + m_lease;
    return std::nullopt;
}

std::optional<QString> Ipv6Firewall::renew()
{
    const std::string lease = std::to_string(m_lease.count());
    QStringList problems;
    for (Pinhole& pinhole : m_pinholes) {
        const auto asked = steady_clock::now();
        const int result = UPNP_UpdatePinhole(m_igd->firewallControlUrl(), m_igd->firewallServiceType(),
                                              pinhole.id.c_str(), lease.c_str());
        if (result == UPNPCOMMAND_SUCCESS) {
            pinhole.expiry = asked + m_lease;
            continue;
        }
        // A gateway that restarted has forgotten its pinholes: ask anew.
        if (auto problem = add(pinhole))
            problems.append(QStringLiteral("%1: %2").arg(pinhole.address, *problem));
    }
    std::erase_if(m_pinholes, [now = steady_clock::now()](const Pinhole& pinhole) { return pinhole.expiry <= now; });
    if (problems.isEmpty())
        return std::nullopt;
    return problems.join(QStringLiteral("; "));
}

void Ipv6Firewall::close()
{
    for (const Pinhole& pinhole : m_pinholes)
        UPNP_DeletePinhole(m_igd->firewallControlUrl(), m_igd->firewallServiceType(), pinhole.id.c_str());
    m_pinholes.clear();
}

bool Ipv6Firewall::isOpen() const
{
    const auto now = steady_clock::now();
    return std::any_of(m_pinholes.begin(), m_pinholes.end(),
                       [&](const Pinhole& pinhole) { return pinhole.expiry > now; });
}

QList<QString> Ipv6Firewall::addresses() const
{
    QList<QString> result;
    for (const Pinhole& pinhole : m_pinholes)
        result.append(pinhole.address);
    return result;
}

milliseconds Ipv6Firewall::renewalDelay() const
{
    if (m_pinholes.empty())
        return 0ms;
    const auto soonest = std::min_element(m_pinholes.begin(), m_pinholes.end(), [](const Pinhole& a, const Pinhole& b) {
                             return a.expiry < b.expiry;
                         })->expiry;
    return std::max(0ms, duration_cast<milliseconds>(soonest - steady_clock::now()) / 2);
}

}  // namespace vortan::upnp
