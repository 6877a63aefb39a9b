// The Avahi client against a stand-in responder on a private bus (see
// with-fake-avahi.sh): a flood of announcements is resolved in full, with
// few lookups at a time, every failed lookup tried again.

#include "tests/support/testsupport.h"
#include "vortan/clock.h"
#include "vortan/presence/avahiclient.h"

#include <QDBusMessage>
#include <QSet>

#include <gtest/gtest.h>

#include <algorithm>

namespace vortan {
namespace {

TEST(AvahiClientTest, AFloodOfNamesIsResolvedInFullWithFewLookupsAtATime)
{
    const int items = qEnvironmentVariableIntValue("FAKE_AVAHI_ITEMS");
    QDBusConnection bus = QDBusConnection::systemBus();
    ASSERT_TRUE(bus.isConnected());
    AvahiClient client(bus, systemClock());
    QSet<QString> resolved;
    int most = 0;
    QObject::connect(&client, &PresenceResponder::itemNew, [&](const ServiceItem& item) {
        client.resolve(item);
        most = std::max(most, client.lookupsInFlight());
    });
    QObject::connect(&client, &PresenceResponder::resolved, [&](const ServiceItem& item, const Resolution&) {
        resolved.insert(item.name);
    });
    client.start();
    // Every item's first lookup fails: all are found on the second.
    EXPECT_TRUE(test::waitFor([&] { return resolved.size() == items; }, 30000)) << resolved.size();
    EXPECT_LE(most, AvahiClient::kMaxLookups);
    const QDBusMessage reply = bus.call(QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Avahi"), QStringLiteral("/"), QStringLiteral("org.brenvo.Test"),
        QStringLiteral("MostWaiting")));
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    EXPECT_LE(reply.arguments().value(0).toInt(), AvahiClient::kMaxLookups);
    EXPECT_GT(reply.arguments().value(0).toInt(), 1);
}

}  // namespace
}  // namespace vortan
