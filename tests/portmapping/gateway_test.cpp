// The port mapper against a real miniupnpd, in network namespaces that each
// test builds and removes. Gateway traffic only ever runs inside them: the
// mapper's worker thread is started while the test thread is inside the LAN
// namespace and stays there.

#include "gatewaylab.h"

#include "tests/support/testsupport.h"
#include "vortan/portmapping/gatewayportmapper.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>

#include <csignal>
#include <cstdio>
#include <mutex>
#include <thread>

#ifdef BRENVO_CLI_PATH
#include "tests/e2e/clinode.h"
#endif

// Readable failures: the lists as text.
void PrintTo(const QStringList& list, std::ostream* out)
{
    *out << '[' << list.join(" | ").toStdString() << ']';
}

using namespace std::chrono_literals;
using vortan::GatewayPortMapper;
using vortan::PortMapper;
using vortan::test::GatewayLab;
using vortan::test::InsideNamespace;
using vortan::test::NetNamespace;

namespace {

constexpr auto kAnswerWait = 15s;  // one discovery (2 s) and a few requests, with room

// What the mapper reported, in order; a report made on the test thread says so.
struct Reports : std::enable_shared_from_this<Reports> {
    PortMapper::AddressCallback address()
    {
        return [self = shared_from_this()](const QString& address) { self->add(address); };
    }
    PortMapper::MappingCallback mapping()
    {
        return [self = shared_from_this()](bool forwarded, const QString& why) { self->add(forwarded ? "forwarded" : why); };
    }
    void add(const QString& line)
    {
        std::lock_guard hold(lock);
        lines.append(std::this_thread::get_id() == testThread ? line + " (on the test thread)" : line);
    }
    // Waits (bounded) until `count` reports are in; returns those in by then.
    QStringList waitFor(int count)
    {
        vortan::test::waitFor([&] { std::lock_guard hold(lock); return lines.size() >= count; }, 15000);
        std::lock_guard hold(lock);
        return lines;
    }
    const std::thread::id testThread = std::this_thread::get_id();
    std::mutex lock;
    QStringList lines;
};

// Starts a mapper whose worker lives in `ns`; null if the namespace could not
// be entered (the worker is then never started, so nothing is sent).
std::shared_ptr<GatewayPortMapper> mapperInside(const NetNamespace& ns, std::chrono::seconds lifetime = 7200s)
{
    auto mapper = std::make_shared<GatewayPortMapper>(lifetime);
    InsideNamespace inside(ns);
    if (!inside.entered())
        return nullptr;
    mapper->port_mapping_init();
    return mapper;
}

QString forward(int outside, int inside)
{
    return QStringLiteral("%1->%2:%3").arg(outside).arg(QLatin1String(GatewayLab::kLanAddress)).arg(inside);
}

// Whether a TCP connection from `from` to [host]:port completes. The lab's
// firewall drops what it does not let through: a failure costs the whole wait.
bool connects(const NetNamespace& from, const char* host, quint16 port)
{
    InsideNamespace inside(from);
    if (!inside.entered())
        return false;
    QTcpSocket socket;
    socket.connectToHost(QHostAddress(QLatin1String(host)), port);
    return socket.waitForConnected(2000);
}

class GatewayTest : public ::testing::Test {
protected:
    void startLab(GatewayLab::Protocol protocol, bool ipv6 = false)
    {
        QString why;
        m_lab = GatewayLab::create(&why, protocol, ipv6);
        // Outside CI, a machine that does not allow network namespaces skips.
        if (!m_lab && qEnvironmentVariable("CI") != "true")
            GTEST_SKIP() << "network namespace test skipped: " << why.toStdString();
        ASSERT_TRUE(m_lab) << why.toStdString();
    }
    void SetUp() override { startLab(GatewayLab::Protocol::upnp); }

    GatewayLab& lab() { return *m_lab; }
    int soap(const char* action) { return lab().logCount(QStringLiteral("SOAPAction: \\S+#%1\\s*$").arg(action)); }
    int discoveries() { return lab().logCount(QStringLiteral(": GET /rootDesc.xml ")); }

    std::unique_ptr<GatewayLab> m_lab;
};

class NatPmpGatewayTest : public GatewayTest {
protected:
    void SetUp() override { startLab(GatewayLab::Protocol::natpmp); }
};

class Ipv6GatewayTest : public GatewayTest {
protected:
    void SetUp() override { startLab(GatewayLab::Protocol::upnp, true); }
};

// One mapper through its life on a UPnP gateway: the external address, a
// refused mapping, a standing mapping, its removal, and removals that must
// send nothing; then a fresh one while the gateway reports itself
// disconnected. Meanwhile a mapper on the WAN side, where no gateway
// answers, reports nothing but that.
TEST_F(GatewayTest, AddressMappingAndRemovalThroughUpnp)
{
    auto mapper = mapperInside(lab().lan());
    auto alone = mapperInside(lab().wan());
    ASSERT_TRUE(mapper && alone);
    auto reports = std::make_shared<Reports>();
    auto aloneReports = std::make_shared<Reports>();
    QElapsedTimer timer;
    timer.start();
    alone->get_public_address(aloneReports->address());
    alone->map_port_reporting(54322, aloneReports->mapping());

    // Nothing asked yet: a removal does not even search for the gateway.
    ASSERT_TRUE(mapper->unmap_port_within(kAnswerWait));
    EXPECT_EQ(discoveries(), 0);

    mapper->get_public_address(reports->address());
    mapper->get_public_address(reports->address());
    ASSERT_GE(reports->waitFor(1).size(), 1);  // the second may already be in
    std::printf("discovery and first address took %.2f s\n", static_cast<double>(timer.elapsed()) / 1000.0);
    const int discoveriesForTheFirst = discoveries();
    EXPECT_EQ(reports->waitFor(2), QStringList({"1.2.3.4", "1.2.3.4"}));
    // The second request reused the gateway found by the first. (A loaded
    // machine may make the first discovery read the description twice.)
    EXPECT_LE(discoveries(), std::max(discoveriesForTheFirst, 1));

    // The mapping was the last request without a gateway: the address
    // request before it reported nothing.
    EXPECT_EQ(aloneReports->waitFor(1), QStringList{"No gateway answered"});
    std::printf("two unanswered discoveries took %.1f s\n", static_cast<double>(timer.elapsed()) / 1000.0);

    // Gateway known, nothing mapped: nothing to remove.
    ASSERT_TRUE(mapper->unmap_port_within(kAnswerWait));
    EXPECT_EQ(soap("DeletePortMapping"), 0);

    // A refused mapping is not removed; the next map_port tries again, and
    // one while a mapping stands sends nothing.
    mapper->map_port_reporting(80, reports->mapping());  // below the gateway's allowed range
    mapper->map_port_reporting(54322, reports->mapping());
    mapper->map_port(60000);
    mapper->get_public_address(reports->address());  // requests run in order: the last to answer
    const QStringList mapped = reports->waitFor(5);
    ASSERT_EQ(mapped.size(), 5);
    EXPECT_TRUE(mapped[2].startsWith("The gateway refused to forward port 80: ")) << mapped[2].toStdString();
    EXPECT_EQ(mapped.mid(3), QStringList({"forwarded", "1.2.3.4"}));
    EXPECT_EQ(lab().forwards(), QStringList{forward(54322, 54322)});
    EXPECT_EQ(soap("AddPortMapping"), 2);

    ASSERT_TRUE(mapper->unmap_port_within(kAnswerWait));
    EXPECT_EQ(lab().forwards(), QStringList{});
    EXPECT_EQ(soap("DeletePortMapping"), 1);

    // Removed once: a second removal must not touch a mapping another program
    // has made for the same port meanwhile.
    ASSERT_TRUE(lab().lan().exec({"upnpc", "-u", "http://192.168.77.1:5000/rootDesc.xml", "-e", "another program", "-a",
                                  GatewayLab::kLanAddress, "54322", "54322", "TCP"}));
    ASSERT_TRUE(mapper->unmap_port_within(kAnswerWait));
    EXPECT_EQ(soap("DeletePortMapping"), 1);
    EXPECT_EQ(lab().forwards(), QStringList{forward(54322, 54322)});

    // A gateway that reports itself disconnected counts as none, and each
    // request searches again, until it connects.
    ASSERT_TRUE(lab().gateway().ip({"link", "set", "gw-wan", "down"}));
    auto later = mapperInside(lab().lan());
    ASSERT_TRUE(later);
    const int discoveriesBefore = discoveries();
    const int statusQueries = soap("GetStatusInfo");
    const int mappingRequests = soap("AddPortMapping");  // upnpc's too
    later->get_public_address(reports->address());
    later->map_port(54323);
    ASSERT_TRUE(later->unmap_port_within(40s));
    EXPECT_EQ(reports->waitFor(0).size(), 5);
    EXPECT_GT(soap("GetStatusInfo"), statusQueries);  // it did answer
    EXPECT_EQ(soap("AddPortMapping"), mappingRequests);
    EXPECT_EQ(discoveries(), discoveriesBefore + 2);
    ASSERT_TRUE(lab().gateway().ip({"link", "set", "gw-wan", "up"}));
    later->get_public_address(reports->address());
    EXPECT_EQ(reports->waitFor(6).mid(5), QStringList{"1.2.3.4"});
}

// A gateway that answers NAT-PMP and not UPnP. libnatpmp reads the default
// route from /proc/net, which shows the namespace of the process's main
// thread: the test thread stays in the LAN namespace meanwhile.
TEST_F(NatPmpGatewayTest, AddressMappingRenewalAndRemovalThroughNatPmp)
{
    InsideNamespace inside(lab().lan());
    ASSERT_TRUE(inside.entered());
    auto mapper = mapperInside(lab().lan(), 4s);
    ASSERT_TRUE(mapper);
    auto reports = std::make_shared<Reports>();
    // Another program holds port 54323 outside.
    ASSERT_TRUE(lab().lan().exec({"natpmpc", "-a", "54323", "40000", "tcp", "60"}));

    mapper->get_public_address(reports->address());
    mapper->map_port_reporting(54323, reports->mapping());
    mapper->map_port_reporting(54322, reports->mapping());
    EXPECT_EQ(reports->waitFor(3), QStringList({"1.2.3.4",
                                                "The gateway refused to forward port 54323: it offered port 54324 instead",
                                                "forwarded"}));
    EXPECT_EQ(lab().forwards(), QStringList({forward(54323, 40000), forward(54322, 54322)}));

    // Renewed every 2 s: after three renewals the first lifetime has long ended.
    const QString request = "mapping request : 54322->192.168.77.2:54322 tcp lifetime=4s";
    EXPECT_TRUE(vortan::test::waitFor([&] { return lab().logCount(request) >= 4; }, 15000));
    EXPECT_EQ(lab().forwards(), QStringList({forward(54323, 40000), forward(54322, 54322)}));

    ASSERT_TRUE(mapper->unmap_port_within(kAnswerWait));
    EXPECT_EQ(lab().forwards(), QStringList{forward(54323, 40000)});
}

// Where the gateway keeps an IPv6 firewall, the mapping opens a pinhole in
// it to the LAN host's global address, renews it before its lease ends and
// removes it at stop: a call from the WAN side gets through only meanwhile.
TEST_F(Ipv6GatewayTest, APinholeLetsCallsFromTheWanThroughWhileThePortIsMapped)
{
    const char* const lanHost = GatewayLab::kLanIpv6Address;
    QTcpServer listener;  // the kernel completes connections without accept()
    {
        InsideNamespace inside(lab().lan());
        ASSERT_TRUE(inside.entered());
        ASSERT_TRUE(listener.listen(QHostAddress(QLatin1String(lanHost)), 54322));
    }
    EXPECT_FALSE(connects(lab().wan(), lanHost, 54322));

    auto mapper = mapperInside(lab().lan(), 4s);
    ASSERT_TRUE(mapper);
    auto reports = std::make_shared<Reports>();
    QElapsedTimer timer;
    timer.start();
    mapper->map_port_reporting(54322, reports->mapping());
    EXPECT_EQ(reports->waitFor(1), QStringList{"forwarded"});
    const QStringList pinhole{QStringLiteral("[%1]:54322").arg(QLatin1String(lanHost))};
    ASSERT_TRUE(vortan::test::waitFor([&] { return lab().pinholes() == pinhole; }, 15000))
        << lab().pinholes().join(" ").toStdString();
    std::printf("forwarding and pinhole took %.1f s\n", static_cast<double>(timer.elapsed()) / 1000.0);
    EXPECT_TRUE(connects(lab().wan(), lanHost, 54322));

    // Renewed every 2 s: after three renewals the first lease has long ended.
    EXPECT_TRUE(vortan::test::waitFor([&] { return soap("UpdatePinhole") >= 3; }, 15000));
    EXPECT_TRUE(connects(lab().wan(), lanHost, 54322));

    ASSERT_TRUE(mapper->unmap_port_within(kAnswerWait));
    EXPECT_EQ(lab().pinholes(), QStringList{});
    EXPECT_FALSE(connects(lab().wan(), lanHost, 54322));
}

#ifdef BRENVO_CLI_PATH
// GNU timeout stops a program with one signal to it and one to its process
// group: brenvo-cli run --map-port must still remove its mapping and save.
// Its gateway answers NAT-PMP only: the program's own mapper falls back to it.
TEST_F(NatPmpGatewayTest, ACliRunStoppedThroughTimeoutRemovesItsMappingAndSaves)
{
    brenvo::e2e::Scene scene;
    const QString data = scene.path("data");
    QProcess run;
    run.setProcessEnvironment(scene.environment());
    // ip netns exec execs timeout in place: the process's id is timeout's.
    run.start("ip", {"netns", "exec", lab().lan().name, "timeout", "-s", "TERM", "120", BRENVO_CLI_PATH,
                     "--data-dir", data, "--key-store", "file", "--log", scene.path("run.log"), "run", "--map-port", "--no-tor"});
    ASSERT_TRUE(run.waitForStarted(10000)) << run.errorString().toStdString();
    ASSERT_TRUE(vortan::test::waitFor([&] { return lab().forwards() == QStringList{forward(54322, 54322)}; }, 60000))
        << run.readAllStandardError().toStdString();

    ::kill(static_cast<pid_t>(run.processId()), SIGTERM);
    ASSERT_TRUE(run.waitForFinished(60000));
    const QByteArray errors = run.readAllStandardError();
    EXPECT_EQ(run.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(run.exitCode(), 128 + SIGTERM) << errors.toStdString();
    EXPECT_FALSE(errors.contains("stopping at once")) << errors.toStdString();
    EXPECT_EQ(lab().forwards(), QStringList{});
    for (const char* name : {"transfers.plist", "users.plist", "me.plist", "deleted.plist"})
        EXPECT_TRUE(QFileInfo::exists(data + "/" + name)) << name;
}
#endif

}  // namespace
