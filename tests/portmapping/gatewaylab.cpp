#include "gatewaylab.h"

#include "tests/support/testsupport.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <fcntl.h>
#include <signal.h>
#include <sched.h>
#include <unistd.h>

#include <atomic>

namespace vortan::test {

namespace {

QString namespacePrefix()
{
    const QString fromRunner = qEnvironmentVariable("BRENVO_NETNS_PREFIX");
    return fromRunner.isEmpty() ? QStringLiteral("bvpm%1").arg(QCoreApplication::applicationPid()) : fromRunner;
}

// The table and chains miniupnpd adds its rules to; it does not create them.
// IPv6 from the WAN side passes only as the answer to what the LAN sent, or
// through a pinhole that miniupnpd opens in its forward chain.
constexpr const char* kRuleset = R"(table inet brenvo_upnp {
  chain forward_miniupnpd {}
  chain prerouting_miniupnpd {}
  chain postrouting_miniupnpd {}
  chain forward {
    type filter hook forward priority 0; policy accept;
    ct state established,related accept
    jump forward_miniupnpd
    meta nfproto ipv6 iifname "gw-wan" drop
  }
  chain prerouting { type nat hook prerouting priority -100; policy accept; jump prerouting_miniupnpd; }
  chain postrouting { type nat hook postrouting priority 100; policy accept; jump postrouting_miniupnpd; }
}
)";

constexpr const char* kGatewayConfig = R"(ext_ifname=gw-wan
ext_ip=1.2.3.4
listening_ip=gw-lan
http_port=5000
enable_upnp=%1
enable_natpmp=%2
ipv6_disable=%3
secure_mode=yes
system_uptime=no
uuid=9d3c1e52-3f0b-4c57-9a51-2b6f2c0d7e41
upnp_table_name=brenvo_upnp
upnp_nat_table_name=brenvo_upnp
upnp_forward_chain=forward_miniupnpd
upnp_nat_chain=prerouting_miniupnpd
upnp_nat_postrouting_chain=postrouting_miniupnpd
allow 1024-65535 192.168.77.0/24 1024-65535
deny 0-65535 0.0.0.0/0 0-65535
)";

// Runs a program and waits for it (bounded). Returns whether it exited with 0;
// its merged output goes to *output when given.
bool runProgram(const QString& program, const QStringList& arguments, QString* output = nullptr,
                int timeoutMs = 10000)
{
    QProcess process;  // killed when it outlasts the wait
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool finished = process.waitForFinished(timeoutMs);  // false at once if it did not start
    if (output)
        *output = finished ? QString::fromLocal8Bit(process.readAll()) : process.errorString();
    return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

}  // namespace

bool NetNamespace::ip(const QStringList& arguments, QString* output) const
{
    return runProgram("ip", QStringList{"-n", name} + arguments, output);
}

bool NetNamespace::exec(const QStringList& command, QString* output, int timeoutMs) const
{
    return runProgram("ip", QStringList{"netns", "exec", name} + command, output, timeoutMs);
}

InsideNamespace::InsideNamespace(const NetNamespace& ns)
{
    m_original = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    const QByteArray path = QStringLiteral("/run/netns/%1").arg(ns.name).toLocal8Bit();
    const int target = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (m_original >= 0 && target >= 0)
        m_entered = ::setns(target, CLONE_NEWNET) == 0;
    if (target >= 0)
        ::close(target);
}

InsideNamespace::~InsideNamespace()
{
    if (m_entered && ::setns(m_original, CLONE_NEWNET) != 0) {
        // Staying in a test namespace would send later traffic of this thread
        // to the wrong place; nothing sensible can follow.
        std::abort();
    }
    if (m_original >= 0)
        ::close(m_original);
}

GatewayLab::~GatewayLab()
{
    // Before the namespaces go, and without a warning from QProcess.
    m_gatewayProcess.kill();
    m_gatewayProcess.waitForFinished(5000);
    for (const NetNamespace* ns : {&m_lan, &m_gateway, &m_wan}) {
        QString pids;
        runProgram("ip", {"netns", "pids", ns->name}, &pids);
        for (const QString& pid : pids.split('\n', Qt::SkipEmptyParts)) {
            if (const pid_t id = pid.trimmed().toInt(); id > 0 && id != getpid())
                ::kill(id, SIGKILL);
        }
        runProgram("ip", {"netns", "del", ns->name});
    }
}

std::unique_ptr<GatewayLab> GatewayLab::create(QString* error, Protocol protocol, bool ipv6)
{
    const bool upnp = protocol == Protocol::upnp;
    for (const char* tool : {"ip", "nft", "miniupnpd", upnp ? "upnpc" : "natpmpc"}) {
        if (QStandardPaths::findExecutable(tool, {"/usr/local/bin", "/usr/bin", "/usr/sbin", "/bin", "/sbin"}).isEmpty()) {
            *error = QStringLiteral("%1 is not installed (scripts/install-deps.sh installs it)").arg(tool);
            return nullptr;
        }
    }
    std::unique_ptr<GatewayLab> lab(new GatewayLab);
    if (!lab->start(error, upnp, ipv6))
        return nullptr;
    return lab;
}

bool GatewayLab::start(QString* error, bool upnp, bool ipv6)
{
    static std::atomic<int> counter{0};
    const QString prefix = QStringLiteral("%1-%2-").arg(namespacePrefix()).arg(++counter);
    QString output;
    for (auto [ns, role] : {std::pair{&m_lan, "lan"}, std::pair{&m_gateway, "gw"}, std::pair{&m_wan, "wan"}}) {
        ns->name = prefix + role;
        if (!runProgram("ip", {"netns", "add", ns->name}, &output) || !ns->ip({"link", "set", "lo", "up"}, &output)) {
            *error = QStringLiteral("cannot create network namespace %1 (this needs root or CAP_SYS_ADMIN): %2")
                         .arg(ns->name, output.trimmed());
            return false;
        }
    }
    std::vector<std::pair<const NetNamespace*, QString>> steps = {
        {&m_gateway, "link add gw-lan type veth peer name lan0 netns " + m_lan.name},
        {&m_gateway, "link add gw-wan type veth peer name wan0 netns " + m_wan.name},
        {&m_lan, "addr add 192.168.77.2/24 dev lan0"},
        {&m_gateway, "addr add 192.168.77.1/24 dev gw-lan"},
        {&m_gateway, "addr add 198.18.0.1/24 dev gw-wan"},
        {&m_wan, "addr add 198.18.0.2/24 dev wan0"},
        {&m_lan, "link set lan0 up"},
        {&m_gateway, "link set gw-lan up"},
        {&m_gateway, "link set gw-wan up"},
        {&m_wan, "link set wan0 up"},
        {&m_lan, "route add default via 192.168.77.1"},
    };
    if (ipv6) {
        // nodad: usable at once, before miniupnpd looks for its HTTP address.
        steps.insert(steps.end(), {
            {&m_lan, "addr add 2001:db8:77::2/64 dev lan0 nodad"},
            {&m_gateway, "addr add 2001:db8:77::1/64 dev gw-lan nodad"},
            {&m_gateway, "addr add 2001:db8:18::1/64 dev gw-wan nodad"},
            {&m_wan, "addr add 2001:db8:18::2/64 dev wan0 nodad"},
            {&m_lan, "-6 route add default via 2001:db8:77::1"},
            {&m_wan, "-6 route add 2001:db8:77::/64 via 2001:db8:18::1"},
        });
    }
    for (const auto& [ns, command] : steps) {
        if (!ns->ip(command.split(' '), &output)) {
            *error = QStringLiteral("ip -n %1 %2 failed: %3").arg(ns->name, command, output.trimmed());
            return false;
        }
    }
    if (ipv6 && !m_gateway.exec({"sysctl", "-qw", "net.ipv6.conf.all.forwarding=1"}, &output)) {
        *error = QStringLiteral("cannot make the gateway forward IPv6: %1").arg(output.trimmed());
        return false;
    }
    const QString settings =
        QString::fromLatin1(kGatewayConfig).arg(upnp ? "yes" : "no", upnp ? "no" : "yes", ipv6 ? "no" : "yes");
    if (!m_dir.isValid() || !writeFile(m_dir.filePath("gateway.nft"), kRuleset)
        || !writeFile(m_dir.filePath("miniupnpd.conf"), settings.toLatin1())) {
        *error = QStringLiteral("cannot write the gateway's files");
        return false;
    }
    if (!m_gateway.exec({"nft", "-f", m_dir.filePath("gateway.nft")}, &output)) {
        *error = QStringLiteral("nft -f failed: %1").arg(output.trimmed());
        return false;
    }

    m_gatewayProcess.setProcessChannelMode(QProcess::MergedChannels);
    m_gatewayProcess.setStandardOutputFile(m_dir.filePath("miniupnpd.log"));
    // `ip netns exec` replaces itself with miniupnpd, which stays in the
    // foreground (-d) and logs every request.
    m_gatewayProcess.start("ip", {"netns", "exec", m_gateway.name, "miniupnpd", "-d", "-f",
                                   m_dir.filePath("miniupnpd.conf"), "-P", m_dir.filePath("miniupnpd.pid")});
    // Ready once it answers HTTP and its SSDP sockets (UDP port 1900, hex
    // 076C) are bound in the gateway's namespace, or once it listens for NAT-PMP.
    const QString udpTable = QStringLiteral("/proc/%1/net/udp").arg(m_gatewayProcess.processId());
    const auto ready = [&] {
        if (!upnp)
            return gatewayLog().contains("Listening for NAT-PMP/PCP traffic on port 5351");
        return gatewayLog().contains("HTTP listening on port 5000") && readFile(udpTable).contains(":076C ")
            && (!ipv6 || readFile(udpTable + "6").contains(":076C "));
    };
    if (!m_gatewayProcess.waitForStarted(5000)
        || !waitFor([&] { return m_gatewayProcess.state() != QProcess::Running || ready(); }, 10000)
        || m_gatewayProcess.state() != QProcess::Running) {
        *error = QStringLiteral("miniupnpd is not ready: %1\n%2").arg(m_gatewayProcess.errorString(), gatewayLog());
        return false;
    }
    return true;
}

QString GatewayLab::gatewayLog() const
{
    return QString::fromLocal8Bit(readFile(m_dir.filePath("miniupnpd.log")));
}

int GatewayLab::logCount(const QString& pattern) const
{
    return int(gatewayLog().count(QRegularExpression(pattern, QRegularExpression::MultilineOption)));
}

QStringList GatewayLab::rules(const char* chain, const QRegularExpression& rule,
                              const std::function<QString(const QRegularExpressionMatch&)>& format) const
{
    QString rules;
    if (!m_gateway.exec({"nft", "list", "chain", "inet", "brenvo_upnp", chain}, &rules))
        return {"nft failed: " + rules};
    QStringList result;
    for (auto it = rule.globalMatch(rules); it.hasNext();)
        result.append(format(it.next()));
    return result;
}

QStringList GatewayLab::forwards() const
{
    // iif "gw-wan" @nh,72,8 0x6 th dport 54322 dnat ip to 192.168.77.2:54322
    static const QRegularExpression rule("dport (\\d+) dnat ip to ([0-9.:]+)");
    return rules("prerouting_miniupnpd", rule,
                 [](const QRegularExpressionMatch& match) { return match.captured(1) + "->" + match.captured(2); });
}

QStringList GatewayLab::pinholes() const
{
    // iif "gw-wan" th dport 54322 @nh,192,128 0x20010db8007700000000000000000002 @nh,48,8 0x6 accept
    static const QRegularExpression rule("dport (\\d+) @nh,192,128 0x([0-9a-f]{32}) ");
    return rules("forward_miniupnpd", rule, [](const QRegularExpressionMatch& match) {
        const QByteArray address = QByteArray::fromHex(match.captured(2).toLatin1());
        const QHostAddress host(reinterpret_cast<const quint8*>(address.constData()));
        return QStringLiteral("[%1]:%2").arg(host.toString(), match.captured(1));
    });
}

}  // namespace vortan::test
