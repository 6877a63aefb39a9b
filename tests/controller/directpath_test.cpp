// What a contact tells over Tor about where it can be reached directly: the
// message's bounds and which endpoints are called.

#include "vortan/controller/hintfilter.h"
#include "vortan/peer/hints.h"
#include "vortan/records/coding.h"

#include <QDeadlineTimer>

#include <gtest/gtest.h>

namespace vortan {
namespace {

QNetworkAddressEntry network(const char* address, int prefix, const char* broadcast = nullptr)
{
    QNetworkAddressEntry entry;
    entry.setIp(QHostAddress(QString::fromLatin1(address)));
    entry.setPrefixLength(prefix);
    if (broadcast)
        entry.setBroadcast(QHostAddress(QString::fromLatin1(broadcast)));
    return entry;
}

TEST(HintFilter, OnlyAddressesThatCanLeadToTheContactAreCalled)
{
    const HintFilter filter({network("192.168.1.10", 24, "192.168.1.255"), network("2001:db8:1::10", 64),
                             network("fd00:1::5", 64)});
    const struct {
        const char* host;
        std::uint16_t port;
        const char* refusal;  // nullptr: called
    } cases[] = {
        {"203.0.113.9", 54322, nullptr},
        {"2001:db8:2::1", 54322, nullptr},
        {"192.168.1.20", 54322, nullptr},  // our own network
        {"192.168.1.10", 54322, "this machine"},
        {"2001:db8:1::10", 54322, "this machine"},
        {"fd00:1::9", 54322, nullptr},
        {"host.example", 54322, "not a numeric address"},
        {"203.0.113.9", 0, "no port"},
        {"127.0.0.1", 54322, "loopback"},
        {"::1", 54322, "loopback"},
        {"::ffff:127.0.0.1", 54322, "loopback"},
        {"0.0.0.0", 54322, "unspecified"},
        {"0.1.2.3", 54322, "unspecified"},
        {"::", 54322, "unspecified"},
        {"224.0.0.251", 54322, "multicast"},
        {"ff02::1", 54322, "multicast"},
        {"255.255.255.255", 54322, "broadcast"},
        {"192.168.1.255", 54322, "broadcast"},
        {"169.254.3.4", 54322, "link-local"},
        {"fe80::1", 54322, "link-local"},
        {"10.0.0.5", 54322, "a private address of another network"},
        {"192.168.2.7", 54322, "a private address of another network"},
        {"100.64.0.1", 54322, "a private address of another network"},
        {"fd00:2::1", 54322, "a private address of another network"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.host);
        const std::optional<QString> refusal = filter.refusal(Endpoint{QString::fromLatin1(c.host), c.port});
        EXPECT_EQ(refusal.value_or(QString()), QString::fromLatin1(c.refusal ? c.refusal : ""));
    }
}

TEST(HintFilter, OwnAddressesLeaveOutThoseThatLeadNowhereElseOrChange)
{
    // As the kernel shows them: a privacy address (flag 01), a deprecated one
    // (20), a stable SLAAC one (00), a static one (80), and lines of no use.
    const QList<QHostAddress> changing = changingIpv6Addresses(
        "20010db8000100000000000000000099 02 40 00 01     eth0\n"
        "20010db8000100000000000000000098 02 40 00 21     eth0\n"
        "20010db8000100000000000000000010 02 40 00 00     eth0\n"
        "20010db8000100000000000000000011 02 40 00 80     eth0\n"
        "20010db80001 02 40 00 01 eth0\n"
        "2001:db8:1::97 02 40 00 01 eth0\n"
        "20010db800010000000000000000zz97 02 40 00 01 eth0\n"
        "20010db8000100000000000000000096 02 40 00 zz eth0\n\n");
    EXPECT_EQ(changing, (QList<QHostAddress>{QHostAddress("2001:db8:1::99"), QHostAddress("2001:db8:1::98")}));
    // An address with a lifetime (all from SLAAC or DHCP) is no privacy one.
    QNetworkAddressEntry leased = network("2001:db8:1::10", 64);
    leased.setAddressLifetime(QDeadlineTimer(3600 * 1000), QDeadlineTimer(3600 * 1000));
    const QList<QString> own = HintFilter::ownAddresses(
        {network("192.168.1.10", 24), network("127.0.0.1", 8), network("fe80::1", 64), network("2001:db8:1::99", 64),
         leased, network("2001:db8:1::98", 64), network("192.168.1.10", 24)},
        changing);
    EXPECT_EQ(own, (QList<QString>{"192.168.1.10", "2001:db8:1::10"}));
}

TEST(Hints, AMessageCarriesAtMostEightEndpointsAndNothingElse)
{
    QList<Endpoint> many;
    for (int i = 0; i < 1000; ++i)
        many.append(Endpoint{QStringLiteral("203.0.113.%1").arg(i % 250), std::uint16_t(1000 + i)});
    const Hints sent = Hints::decode(Hints::encode(many));
    EXPECT_EQ(sent.endpoints, many.first(Hints::kMax));
    EXPECT_EQ(sent.ignored, 0);

    plist::Array hostile;
    for (int i = 0; i < 1000; ++i)
        hostile.push_back(plist::Dictionary{{"host", "203.0.113.1"}, {"port", 1000 + i}});
    hostile.insert(hostile.begin(), {plist::Value("not a dictionary"), plist::Dictionary{{"host", "a"}, {"port", 0}},
                                     plist::Dictionary{{"host", "a"}, {"port", 70000}}, plist::Dictionary{{"port", 5}},
                                     plist::Dictionary{{"host", std::string(65, 'a')}, {"port", 5}}});
    const Hints told = Hints::decode(plistToBytes(hostile));
    ASSERT_EQ(told.endpoints.size(), Hints::kMax);
    EXPECT_EQ(told.endpoints.first(), (Endpoint{"203.0.113.1", 1000}));
    EXPECT_EQ(told.ignored, 1005 - Hints::kMax);
    EXPECT_THROW(Hints::decode(plistToBytes(plist::Dictionary{})), DecodeError);
    EXPECT_THROW(Hints::decode("not a property list"), DecodeError);
}

TEST(Hints, AnAddressIsOneEndpointHoweverItIsWritten)
{
    // Each endpoint is called once: the forms of one address must not make
    // several endpoints of it.
    const struct {
        const char* told;
        const char* taken;
    } cases[] = {
        {"203.0.113.9", "203.0.113.9"},
        {"::ffff:203.0.113.9", "203.0.113.9"},
        {"::FFFF:CB00:7109", "203.0.113.9"},
        {"0:0:0:0:0:ffff:203.0.113.9", "203.0.113.9"},
        {"2001:DB8:0:0::1", "2001:db8::1"},
        {"2001:db8::0:1", "2001:db8::1"},
        {" 203.0.113.9 ", "203.0.113.9"},
        {"host.example", "host.example"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.told);
        const Hints told = Hints::decode(plistToBytes(plist::Array{plist::Dictionary{{"host", c.told}, {"port", 54322}}}));
        ASSERT_EQ(told.endpoints.size(), 1);
        EXPECT_EQ(told.endpoints.first(), (Endpoint{QString::fromLatin1(c.taken), 54322}));
    }
}

}  // namespace
}  // namespace vortan
