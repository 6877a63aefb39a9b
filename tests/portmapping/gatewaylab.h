#pragma once

#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>

namespace vortan::test {

// A network namespace by name. Names are unique per test process
// ($BRENVO_NETNS_PREFIX, else "bvpm" and the process id, then a counter), so
// that parallel test runs never meet.
struct NetNamespace {
    QString name;
    // Runs `ip -n <name> <arguments>`.
    bool ip(const QStringList& arguments, QString* output = nullptr) const;
    // Runs a program inside the namespace.
    bool exec(const QStringList& command, QString* output = nullptr, int timeoutMs = 10000) const;
};

// Moves the calling thread into a namespace and back when it goes. Threads
// started meanwhile by this thread stay in the namespace for good.
class InsideNamespace {
public:
    explicit InsideNamespace(const NetNamespace& ns);
    ~InsideNamespace();
    InsideNamespace(const InsideNamespace&) = delete;
    InsideNamespace& operator=(const InsideNamespace&) = delete;
    bool entered() const { return m_entered; }

private:
    int m_original = -1;
    bool m_entered = false;
};

// A LAN host, a gateway running miniupnpd and an empty WAN side, in three
// namespaces joined by veth pairs:
//   LAN 192.168.77.2/24 (lan0) -- (gw-lan) 192.168.77.1 gateway 198.18.0.1 (gw-wan) -- (wan0) 198.18.0.2
// miniupnpd speaks UPnP or NAT-PMP, reports the external address 1.2.3.4
// and allows ports 1024-65535 for the LAN. The LAN's default route is the
// gateway. With IPv6, the three also have global IPv6 addresses:
//   LAN 2001:db8:77::2/64 -- 2001:db8:77::1 gateway 2001:db8:18::1 -- 2001:db8:18::2 WAN
// the gateway routes between them, its firewall drops what the WAN side
// starts towards the LAN, and miniupnpd opens pinholes in it over UPnP.
// The namespaces go with the lab, and every process still in them.
class GatewayLab {
public:
    static constexpr const char* kLanAddress = "192.168.77.2";
    static constexpr const char* kExternalAddress = "1.2.3.4";
    static constexpr const char* kLanIpv6Address = "2001:db8:77::2";
    enum class Protocol { upnp, natpmp };

    // Null with the reason in *error when the lab cannot be built.
    static std::unique_ptr<GatewayLab> create(QString* error, Protocol protocol = Protocol::upnp, bool ipv6 = false);
    ~GatewayLab();

    const NetNamespace& lan() const { return m_lan; }
    const NetNamespace& wan() const { return m_wan; }
    const NetNamespace& gateway() const { return m_gateway; }

    // How many lines of the gateway's log match a regular expression (for
    // instance "#AddPortMapping$" for SOAP requests).
    int logCount(const QString& pattern) const;
    // The gateway's forwardings as "54322->192.168.77.2:54322", from its
    // nftables rules, whichever protocol made them.
    QStringList forwards() const;
    // The pinholes in the gateway's IPv6 firewall as "[2001:db8:77::2]:54322".
    QStringList pinholes() const;

private:
    GatewayLab() = default;
    bool start(QString* error, bool upnp, bool ipv6);
    QString gatewayLog() const;
    // The rules of one of miniupnpd's chains, read through `format`; one
    // entry saying why when nft fails.
    QStringList rules(const char* chain, const QRegularExpression& rule,
                      const std::function<QString(const QRegularExpressionMatch&)>& format) const;

    QTemporaryDir m_dir;
    NetNamespace m_lan, m_gateway, m_wan;
    QProcess m_gatewayProcess;
};

}  // namespace vortan::test
