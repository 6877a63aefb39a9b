#include "gatewaylab.h"

#include "tests/support/testsupport.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>

#include <fcntl.h>
#include <signal.h>
#include <sched.h>
#include <unistd.h>

#include <atomic>

namespace vortan::test {

namespace {

constexpr const char* kGatewayLanAddress = "192.168.77.1";

QString rootDescriptionUrl()
{
    return QStringLiteral("http://%1:5000/rootDesc.xml").arg(QLatin1String(kGatewayLanAddress));
}

QString namespacePrefix()
{
    const QString fromRunner = qEnvironmentVariable("BRENVO_NETNS_PREFIX");
    if (!fromRunner.isEmpty())
        return fromRunner;
    return QStringLiteral("bvpm%1").arg(QCoreApplication::applicationPid());
}

// The table and chains miniupnpd adds its rules to; it does not create them.
constexpr const char* kRuleset = R"(table inet brenvo_upnp {
  chain forward_miniupnpd {
  }
  chain prerouting_miniupnpd {
  }
  chain postrouting_miniupnpd {
  }
  chain forward {
    type filter hook forward priority 0; policy accept;
    jump forward_miniupnpd
  }
  chain prerouting {
    type nat hook prerouting priority -100; policy accept;
    jump prerouting_miniupnpd
  }
  chain postrouting {
    type nat hook postrouting priority 100; policy accept;
    jump postrouting_miniupnpd
  }
}
)";

constexpr const char* kGatewayConfig = R"(ext_ifname=gw-wan
ext_ip=1.2.3.4
listening_ip=gw-lan
http_port=5000
enable_upnp=yes
enable_natpmp=no
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

}  // namespace

bool runProgram(const QString& program, const QStringList& arguments, QString* output, int timeoutMs)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForStarted(timeoutMs)) {
        if (output)
            *output = process.errorString();
        return false;
    }
    const bool finished = process.waitForFinished(timeoutMs);
    if (!finished) {
        process.kill();
        process.waitForFinished(timeoutMs);
    }
    if (output)
        *output = QString::fromLocal8Bit(process.readAll());
    return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

std::unique_ptr<NetNamespace> NetNamespace::create(const QString& role, QString* error)
{
    static std::atomic<int> counter{0};
    const QString name = QStringLiteral("%1-%2-%3").arg(namespacePrefix()).arg(++counter).arg(role);
    QString output;
    if (!runProgram(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("add"), name}, &output)) {
        *error = QStringLiteral("cannot create network namespace %1 (this needs root or CAP_SYS_ADMIN): %2")
                     .arg(name, output.trimmed());
        return nullptr;
    }
    std::unique_ptr<NetNamespace> ns(new NetNamespace(name));
    if (!ns->ip({QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("lo"), QStringLiteral("up")}, &output)) {
        *error = QStringLiteral("cannot bring up loopback in %1: %2").arg(name, output.trimmed());
        return nullptr;
    }
    return ns;
}

NetNamespace::~NetNamespace()
{
    QString pids;
    runProgram(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("pids"), m_name}, &pids);
    for (const QString& pid : pids.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        bool ok = false;
        const pid_t id = pid.trimmed().toInt(&ok);
        if (ok && id > 0 && id != getpid())
            ::kill(id, SIGKILL);
    }
    runProgram(QStringLiteral("ip"), {QStringLiteral("netns"), QStringLiteral("del"), m_name});
}

bool NetNamespace::ip(const QStringList& arguments, QString* output) const
{
    return runProgram(QStringLiteral("ip"), QStringList{QStringLiteral("-n"), m_name} + arguments, output);
}

bool NetNamespace::exec(const QStringList& command, QString* output, int timeoutMs) const
{
    return runProgram(QStringLiteral("ip"), QStringList{QStringLiteral("netns"), QStringLiteral("exec"), m_name} + command,
                      output, timeoutMs);
}

InsideNamespace::InsideNamespace(const NetNamespace& ns)
{
    m_original = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    const QByteArray path = QStringLiteral("/run/netns/%1").arg(ns.name()).toLocal8Bit();
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

GatewayLab::GatewayLab() = default;

GatewayLab::~GatewayLab()
{
    if (m_gatewayProcess) {
        m_gatewayProcess->terminate();
        if (!m_gatewayProcess->waitForFinished(5000)) {
            m_gatewayProcess->kill();
            m_gatewayProcess->waitForFinished(5000);
        }
    }
}

std::unique_ptr<GatewayLab> GatewayLab::create(QString* error)
{
    for (const char* tool : {"ip", "nft", "miniupnpd", "upnpc"}) {
        const QString name = QString::fromLatin1(tool);
        if (QStandardPaths::findExecutable(name).isEmpty()
            && QStandardPaths::findExecutable(name, {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")}).isEmpty()) {
            *error = QStringLiteral("%1 is not installed (scripts/install-deps.sh installs it)").arg(name);
            return nullptr;
        }
    }
    std::unique_ptr<GatewayLab> lab(new GatewayLab);
    if (!lab->m_dir.isValid()) {
        *error = QStringLiteral("no temporary folder");
        return nullptr;
    }
    if (!lab->build(error) || !lab->startGateway(error))
        return nullptr;
    return lab;
}

bool GatewayLab::build(QString* error)
{
    for (auto [ns, role] : {std::pair{&m_lan, "lan"}, std::pair{&m_gateway, "gw"}, std::pair{&m_wan, "wan"}}) {
        *ns = NetNamespace::create(QString::fromLatin1(role), error);
        if (!*ns)
            return false;
    }

    const QString lan = m_lan->name();
    const QString wan = m_wan->name();
    const std::vector<std::pair<const NetNamespace*, QString>> steps = {
        {m_gateway.get(), QStringLiteral("link add gw-lan type veth peer name lan0 netns %1").arg(lan)},
        {m_gateway.get(), QStringLiteral("link add gw-wan type veth peer name wan0 netns %1").arg(wan)},
        {m_lan.get(), QStringLiteral("addr add 192.168.77.2/24 dev lan0")},
        {m_gateway.get(), QStringLiteral("addr add 192.168.77.1/24 dev gw-lan")},
        {m_gateway.get(), QStringLiteral("addr add 198.18.0.1/24 dev gw-wan")},
        {m_wan.get(), QStringLiteral("addr add 198.18.0.2/24 dev wan0")},
        {m_lan.get(), QStringLiteral("link set lan0 up")},
        {m_gateway.get(), QStringLiteral("link set gw-lan up")},
        {m_gateway.get(), QStringLiteral("link set gw-wan up")},
        {m_wan.get(), QStringLiteral("link set wan0 up")},
        {m_lan.get(), QStringLiteral("route add default via 192.168.77.1")},
    };
    for (const auto& [ns, command] : steps) {
        QString output;
        if (!ns->ip(command.split(QLatin1Char(' ')), &output)) {
            *error = QStringLiteral("ip -n %1 %2 failed: %3").arg(ns->name(), command, output.trimmed());
            return false;
        }
    }

    const QString rules = m_dir.filePath(QStringLiteral("gateway.nft"));
    const QString config = m_dir.filePath(QStringLiteral("miniupnpd.conf"));
    if (!writeFile(rules, kRuleset) || !writeFile(config, kGatewayConfig)) {
        *error = QStringLiteral("cannot write the gateway's files");
        return false;
    }
    QString output;
    if (!m_gateway->exec({QStringLiteral("nft"), QStringLiteral("-f"), rules}, &output)) {
        *error = QStringLiteral("nft -f failed: %1").arg(output.trimmed());
        return false;
    }
    return true;
}

bool GatewayLab::startGateway(QString* error)
{
    m_gatewayProcess = std::make_unique<QProcess>();
    m_gatewayProcess->setProcessChannelMode(QProcess::MergedChannels);
    m_gatewayProcess->setStandardOutputFile(m_dir.filePath(QStringLiteral("miniupnpd.log")));
    // `ip netns exec` replaces itself with miniupnpd, which stays in the
    // foreground (-d) and logs every request.
    m_gatewayProcess->start(QStringLiteral("ip"),
                            {QStringLiteral("netns"), QStringLiteral("exec"), m_gateway->name(),
                             QStringLiteral("miniupnpd"), QStringLiteral("-d"), QStringLiteral("-f"),
                             m_dir.filePath(QStringLiteral("miniupnpd.conf")), QStringLiteral("-P"),
                             m_dir.filePath(QStringLiteral("miniupnpd.pid"))});
    if (!m_gatewayProcess->waitForStarted(5000)) {
        *error = QStringLiteral("miniupnpd did not start: %1").arg(m_gatewayProcess->errorString());
        return false;
    }
    // Ready once it answers HTTP and its SSDP socket (UDP port 1900, hex
    // 076C) is bound in the gateway's namespace.
    const QString udpTable = QStringLiteral("/proc/%1/net/udp").arg(m_gatewayProcess->processId());
    const bool ready = waitFor(
        [&] {
            if (m_gatewayProcess->state() != QProcess::Running)
                return true;
            return gatewayLog().contains(QLatin1String("HTTP listening on port 5000"))
                && readFile(udpTable).contains(":076C ");
        },
        10000);
    if (!ready || m_gatewayProcess->state() != QProcess::Running) {
        *error = QStringLiteral("miniupnpd is not ready:\n%1").arg(gatewayLog());
        return false;
    }
    return true;
}

QString GatewayLab::gatewayLog() const
{
    return QString::fromLocal8Bit(readFile(m_dir.filePath(QStringLiteral("miniupnpd.log"))));
}

int GatewayLab::soapRequests(const QString& action) const
{
    const QRegularExpression line(QStringLiteral("SOAPAction: \\S+#%1\\s*$").arg(QRegularExpression::escape(action)),
                                  QRegularExpression::MultilineOption);
    int count = 0;
    for (auto it = line.globalMatch(gatewayLog()); it.hasNext(); it.next())
        ++count;
    return count;
}

int GatewayLab::descriptionFetches() const
{
    return gatewayLog().count(QLatin1String(": GET /rootDesc.xml "));
}

QStringList GatewayLab::upnpc(const QStringList& arguments) const
{
    QString output;
    if (!m_lan->exec(QStringList{QStringLiteral("upnpc"), QStringLiteral("-u"), rootDescriptionUrl()} + arguments,
                     &output))
        return {};
    return output.split(QLatin1Char('\n'));
}

std::optional<std::vector<ListedMapping>> GatewayLab::mappings() const
{
    const QStringList lines = upnpc({QStringLiteral("-l")});
    if (!lines.join(QString()).contains(QLatin1String("protocol exPort->inAddr:inPort")))
        return std::nullopt;
    // " 0 TCP 54322->192.168.77.2:54322 'com.halvinor.brenvo' '' 604800"
    static const QRegularExpression entry(
        QStringLiteral("^\\s*\\d+\\s+(TCP|UDP)\\s+(\\d+)->([0-9.]+):(\\d+)\\s+'([^']*)'"));
    std::vector<ListedMapping> result;
    for (const QString& line : lines) {
        const auto match = entry.match(line);
        if (!match.hasMatch())
            continue;
        result.push_back({match.captured(1), match.captured(2).toInt(), match.captured(3), match.captured(4).toInt(),
                          match.captured(5)});
    }
    return result;
}

bool GatewayLab::addMappingWithUpnpc(int port, const QString& description) const
{
    const QString text = QString::number(port);
    const QStringList lines = upnpc({QStringLiteral("-e"), description, QStringLiteral("-a"),
                                     QLatin1String(kLanAddress), text, text, QStringLiteral("TCP")});
    return lines.join(QLatin1Char('\n')).contains(QLatin1String("is redirected to internal"));
}

bool GatewayLab::setWanLinkUp(bool up) const
{
    return m_gateway->ip({QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("gw-wan"),
                          up ? QStringLiteral("up") : QStringLiteral("down")});
}

bool namespaceTestsMayBeSkipped()
{
    return qEnvironmentVariable("CI") != QLatin1String("true");
}

}  // namespace vortan::test
