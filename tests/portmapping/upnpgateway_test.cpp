#include "vortan/portmapping/upnpgateway.h"

#include <miniupnpc/upnpdev.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

using vortan::upnp::DeviceList;
using vortan::upnp::isUsableExternalAddress;
using vortan::upnp::keepGatewayAnswers;

namespace {

constexpr const char* kIgd = "urn:schemas-upnp-org:device:InternetGatewayDevice:1";
constexpr const char* kIpConnection = "urn:schemas-upnp-org:service:WANIPConnection:1";
constexpr const char* kPppConnection = "urn:schemas-upnp-org:service:WANPPPConnection:1";
constexpr const char* kRoot = "upnp:rootdevice";

// Description URL and search type of each device, in order.
using Contents = std::vector<std::pair<std::string, std::string>>;

// Builds a list laid out as miniupnpc builds it (one malloc block per device,
// strings in the trailing buffer), so that freeUPNPDevlist can free it.
DeviceList makeList(const Contents& answers)
{
    UPNPDev* head = nullptr;
    for (auto it = answers.rbegin(); it != answers.rend(); ++it) {
        const size_t urlSize = it->first.size();
        const size_t stSize = it->second.size();
        auto* device = static_cast<UPNPDev*>(std::malloc(sizeof(UPNPDev) + urlSize + stSize + 3));
        device->pNext = head;
        device->descURL = device->buffer;
        std::memcpy(device->descURL, it->first.c_str(), urlSize + 1);
        device->st = device->descURL + urlSize + 1;
        std::memcpy(device->st, it->second.c_str(), stSize + 1);
        device->usn = device->st + stSize + 1;
        device->usn[0] = '\0';
        device->scope_id = 0;
        head = device;
    }
    return DeviceList(head);
}

Contents contents(const DeviceList& list)
{
    Contents result;
    for (const UPNPDev* d = list.get(); d; d = d->pNext)
        result.emplace_back(d->descURL, d->st);
    return result;
}

// Each gateway is kept once, in order, with the first type it answered;
// root-only devices go unless no gateway answered.
TEST(GatewayAnswersTest, GatewaysAreKeptOnceInOrderAndRootOnlyDevicesGo)
{
    const struct {
        Contents answers, kept;
    } cases[] = {
        {{{"http://10.0.0.7:8080/tv.xml", kRoot},
          {"http://10.0.0.1:5000/rootDesc.xml", kRoot},
          {"http://10.0.0.1:5000/rootDesc.xml", kPppConnection},
          {"http://10.0.0.1:5000/rootDesc.xml", kIpConnection},
          {"http://10.0.0.1:5000/rootDesc.xml", kIgd},
          {"http://10.0.0.9/printer.xml", kRoot}},
         {{"http://10.0.0.1:5000/rootDesc.xml", kPppConnection}}},
        {{{"http://10.0.0.2/b.xml", kIpConnection},
          {"http://10.0.0.1/a.xml", kIgd},
          {"http://10.0.0.2/b.xml", kIgd},
          {"http://10.0.0.3/c.xml", kPppConnection}},
         {{"http://10.0.0.2/b.xml", kIpConnection}, {"http://10.0.0.1/a.xml", kIgd}, {"http://10.0.0.3/c.xml", kPppConnection}}},
        {{{"http://10.0.0.7/tv.xml", kRoot}, {"http://10.0.0.8/box.xml", kRoot}, {"http://10.0.0.7/tv.xml", kRoot}},
         {{"http://10.0.0.7/tv.xml", kRoot}, {"http://10.0.0.8/box.xml", kRoot}}},
        {{}, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(contents(keepGatewayAnswers(makeList(c.answers))), c.kept) << c.answers.size() << " answers";
}

TEST(ExternalAddressTest, OnlyASpecifiedNumericIpv4AddressIsUsable)
{
    for (const char* usable : {"1.2.3.4", "203.0.113.255"})
        EXPECT_TRUE(isUsableExternalAddress(usable)) << usable;
    for (const char* unusable : {"", "0.0.0.0", "1.2.3", "256.1.1.1", "gateway.local", "::1", "1.2.3.4 "})
        EXPECT_FALSE(isUsableExternalAddress(unusable)) << unusable;
}

}  // namespace
