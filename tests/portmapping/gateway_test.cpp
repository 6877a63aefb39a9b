// The UPnP port mapper against a real miniupnpd, in network namespaces that
// each test builds and removes. Discovery only ever runs inside them: the
// mapper's worker thread is started while the test thread is inside the LAN
// namespace and stays there.

#include "gatewaylab.h"

#include "vortan/portmapping/upnpportmapper.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <condition_variable>
#include <csignal>
#include <future>
#include <mutex>
#include <thread>

using namespace std::chrono_literals;
using vortan::PortMapper;
using vortan::UpnpPortMapper;
using vortan::test::GatewayLab;
using vortan::test::InsideNamespace;
using vortan::test::ListedMapping;
using vortan::test::NetNamespace;

namespace {

constexpr auto kAnswerWait = 15s;  // one discovery (2 s) and a few requests, with room

// Collects what get_public_address reports, from whichever thread.
class AddressProbe : public std::enable_shared_from_this<AddressProbe> {
public:
    struct Report {
        QString address;
        std::thread::id thread;
    };
    PortMapper::AddressCallback callback()
    {
        return [self = shared_from_this()](const QString& address) {
            {
                std::lock_guard lock(self->m_lock);
                self->m_reports.push_back({address, std::this_thread::get_id()});
            }
            self->m_arrived.notify_all();
        };
    }
    // Waits until `count` reports arrived; returns them (fewer on timeout;
    // with 0, those in so far).
    std::vector<Report> waitFor(size_t count, std::chrono::milliseconds timeout = kAnswerWait)
    {
        std::unique_lock lock(m_lock);
        m_arrived.wait_for(lock, timeout, [&] { return m_reports.size() >= count; });
        return m_reports;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_arrived;
    std::vector<Report> m_reports;
};

// unmap_port() blocks until the queue has drained; run it with a bound.
bool unmapWithin(const std::shared_ptr<UpnpPortMapper>& mapper, std::chrono::milliseconds timeout = kAnswerWait)
{
    auto done = std::make_shared<std::promise<void>>();
    auto finished = done->get_future();
    std::thread([mapper, done] {
        mapper->unmap_port();
        done->set_value();
    }).detach();
    return finished.wait_for(timeout) == std::future_status::ready;
}

// Starts a mapper whose worker lives in `ns`; null if the namespace could not
// be entered (the worker is then never started, so nothing is sent).
std::shared_ptr<UpnpPortMapper> mapperInside(const NetNamespace& ns)
{
    auto mapper = std::make_shared<UpnpPortMapper>();
    InsideNamespace inside(ns);
    if (!inside.entered())
        return nullptr;
    mapper->port_mapping_init();
    return mapper;
}

// A TCP mapping of port to the LAN host, as a gateway lists it.
std::vector<ListedMapping> onlyMapping(int port, const char* description = "com.halvinor.brenvo")
{
    return {{QStringLiteral("TCP"), port, QLatin1String(GatewayLab::kLanAddress), port, QLatin1String(description)}};
}

#define SKIP_OR_FAIL(why)                                                          \
    do {                                                                           \
        if (vortan::test::namespaceTestsMayBeSkipped())                            \
            GTEST_SKIP() << "network namespace test skipped: " << (why).toStdString(); \
        FAIL() << (why).toStdString();                                             \
    } while (false)

class GatewayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QString why;
        m_lab = GatewayLab::create(&why);
        if (!m_lab)
            SKIP_OR_FAIL(why);
    }

    GatewayLab& lab() { return *m_lab; }

    std::unique_ptr<GatewayLab> m_lab;
};

TEST_F(GatewayTest, ReportsTheExternalAddressOnTheWorkerThreadAndKeepsTheGateway)
{
    auto mapper = mapperInside(lab().lan());
    ASSERT_TRUE(mapper);
    auto probe = std::make_shared<AddressProbe>();

    QElapsedTimer timer;
    timer.start();
    mapper->get_public_address(probe->callback());
    mapper->get_public_address(probe->callback());

    ASSERT_GE(probe->waitFor(1).size(), 1u);  // the second may already be in
    std::printf("discovery and first address took %.2f s\n", static_cast<double>(timer.elapsed()) / 1000.0);
    const int fetchesForTheFirst = lab().descriptionFetches();
    const auto reports = probe->waitFor(2);
    ASSERT_EQ(reports.size(), 2u);
    for (const auto& report : reports) {
        EXPECT_EQ(report.address, QLatin1String(GatewayLab::kExternalAddress));
        EXPECT_NE(report.thread, std::this_thread::get_id());
    }
    // The second request reused the gateway found by the first. (A loaded
    // machine may make the first discovery read the description twice.)
    EXPECT_LE(lab().descriptionFetches(), std::max(fetchesForTheFirst, 1));
}

TEST_F(GatewayTest, UnmapWithoutAStandingMappingSendsNothing)
{
    auto mapper = mapperInside(lab().lan());
    ASSERT_TRUE(mapper);

    // Nothing asked yet: not even a discovery.
    ASSERT_TRUE(unmapWithin(mapper));
    EXPECT_EQ(lab().descriptionFetches(), 0);

    // Gateway known, nothing mapped.
    auto probe = std::make_shared<AddressProbe>();
    mapper->get_public_address(probe->callback());
    ASSERT_EQ(probe->waitFor(1).size(), 1u);
    ASSERT_TRUE(unmapWithin(mapper));
    EXPECT_EQ(lab().soapRequests(QStringLiteral("DeletePortMapping")), 0);

    // Mapped and removed once; a second removal must not touch a mapping
    // another program has made for the same port meanwhile.
    mapper->map_port(54322);
    ASSERT_TRUE(unmapWithin(mapper));
    EXPECT_EQ(lab().soapRequests(QStringLiteral("DeletePortMapping")), 1);
    ASSERT_TRUE(lab().addMappingWithUpnpc(54322, QStringLiteral("another program")));
    ASSERT_TRUE(unmapWithin(mapper));
    EXPECT_EQ(lab().soapRequests(QStringLiteral("DeletePortMapping")), 1);
    EXPECT_EQ(lab().mappings(), onlyMapping(54322, "another program"));
}

TEST_F(GatewayTest, ARefusedMappingIsNotRemovedTheNextMapPortTriesAgainAndASecondSendsNothing)
{
    auto mapper = mapperInside(lab().lan());
    ASSERT_TRUE(mapper);

    mapper->map_port(80);  // below the gateway's allowed range
    ASSERT_TRUE(unmapWithin(mapper));
    EXPECT_EQ(lab().soapRequests(QStringLiteral("AddPortMapping")), 1);
    EXPECT_EQ(lab().soapRequests(QStringLiteral("DeletePortMapping")), 0);

    mapper->map_port(54322);
    mapper->map_port(60000);
    // Requests run in order: once this one answers, both map_port calls are done.
    auto probe = std::make_shared<AddressProbe>();
    mapper->get_public_address(probe->callback());
    ASSERT_EQ(probe->waitFor(1).size(), 1u);
    EXPECT_EQ(lab().mappings(), onlyMapping(54322));
    EXPECT_EQ(lab().soapRequests(QStringLiteral("AddPortMapping")), 2);

    ASSERT_TRUE(unmapWithin(mapper));
    EXPECT_EQ(lab().mappings(), std::vector<ListedMapping>{});
    EXPECT_EQ(lab().soapRequests(QStringLiteral("DeletePortMapping")), 1);
}

TEST_F(GatewayTest, AGatewayReportingItselfDisconnectedCountsAsNoneUntilItConnects)
{
    ASSERT_TRUE(lab().setWanLinkUp(false));
    auto mapper = mapperInside(lab().lan());
    ASSERT_TRUE(mapper);
    auto probe = std::make_shared<AddressProbe>();

    mapper->get_public_address(probe->callback());
    mapper->map_port(54322);
    ASSERT_TRUE(unmapWithin(mapper));
    EXPECT_TRUE(probe->waitFor(0).empty());
    EXPECT_GE(lab().soapRequests(QStringLiteral("GetStatusInfo")), 1);  // it did answer
    EXPECT_EQ(lab().soapRequests(QStringLiteral("AddPortMapping")), 0);
    EXPECT_EQ(lab().descriptionFetches(), 2);  // each request searched again

    ASSERT_TRUE(lab().setWanLinkUp(true));
    mapper->get_public_address(probe->callback());
    const auto reports = probe->waitFor(1);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].address, QLatin1String(GatewayLab::kExternalAddress));
}

TEST(NoGatewayTest, NothingIsReportedWhenNoGatewayAnswers)
{
    QString why;
    auto ns = NetNamespace::create(QStringLiteral("alone"), &why);
    if (!ns)
        SKIP_OR_FAIL(why);
    // Only loopback, but with a multicast route, so that the searches are
    // really sent and simply go unanswered.
    ASSERT_TRUE(ns->ip({QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("lo"), QStringLiteral("multicast"),
                        QStringLiteral("on")}));
    ASSERT_TRUE(ns->ip({QStringLiteral("route"), QStringLiteral("add"), QStringLiteral("239.255.255.250/32"),
                        QStringLiteral("dev"), QStringLiteral("lo")}));
    auto mapper = mapperInside(*ns);
    ASSERT_TRUE(mapper);
    auto probe = std::make_shared<AddressProbe>();

    QElapsedTimer timer;
    timer.start();
    mapper->get_public_address(probe->callback());
    mapper->map_port(54322);
    ASSERT_TRUE(unmapWithin(mapper, 40s));
    // Both requests have finished: neither reported anything.
    EXPECT_TRUE(probe->waitFor(0).empty());
    std::printf("two unanswered discoveries took %.1f s\n", static_cast<double>(timer.elapsed()) / 1000.0);
}

}  // namespace

#ifdef BRENVO_CLI_PATH
// GNU timeout stops a program with one signal to it and one to its process
// group: brenvo-cli run --map-port must still remove its mapping and save.
TEST_F(GatewayTest, ACliRunStoppedThroughTimeoutRemovesItsMappingAndSaves)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString data = dir.filePath("data");
    ASSERT_TRUE(QDir().mkpath(dir.filePath("home/.local/share")) && QDir().mkpath(dir.filePath("run")));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", dir.filePath("home"));
    env.insert("XDG_DATA_HOME", dir.filePath("home/.local/share"));
    env.insert("XDG_RUNTIME_DIR", dir.filePath("run"));
    env.insert("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + dir.filePath("no-bus"));
    env.remove("DBUS_SESSION_BUS_ADDRESS");

    QProcess run;
    run.setProcessEnvironment(env);
    // ip netns exec execs timeout in place: the process's id is timeout's.
    run.start("ip", {"netns", "exec", lab().lan().name(), "timeout", "-s", "TERM", "120", BRENVO_CLI_PATH,
                     "--data-dir", data, "--key-store", "file", "--log", dir.filePath("run.log"), "run", "--map-port", "--no-tor"});
    ASSERT_TRUE(run.waitForStarted(10000)) << run.errorString().toStdString();
    QElapsedTimer waited;
    waited.start();
    while (lab().mappings() != onlyMapping(54322) && waited.elapsed() < 60000)
        std::this_thread::sleep_for(200ms);
    ASSERT_EQ(lab().mappings(), onlyMapping(54322)) << run.readAllStandardError().toStdString();

    ::kill(static_cast<pid_t>(run.processId()), SIGTERM);
    ASSERT_TRUE(run.waitForFinished(60000));
    const QByteArray errors = run.readAllStandardError();
    EXPECT_EQ(run.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(run.exitCode(), 128 + SIGTERM) << errors.toStdString();
    EXPECT_FALSE(errors.contains("stopping at once")) << errors.toStdString();
    EXPECT_EQ(lab().mappings(), std::vector<ListedMapping>{});
    for (const char* name : {"transfers.plist", "users.plist", "me.plist", "deleted.plist"})
        EXPECT_TRUE(QFileInfo::exists(data + "/" + name)) << name;
}
#endif
