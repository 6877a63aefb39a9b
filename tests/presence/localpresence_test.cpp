// The presence policy against a scripted responder: which announcements
// count, which addresses are reported, and the day's tokens from the clock.

#include "tests/controller/manualclock.h"
#include "vortan/crypto/crypto.h"
#include "vortan/presence/announcement.h"
#include "vortan/presence/localpresence.h"
#include "vortan/presence/presencetoken.h"

#include <QHostAddress>

#include <gtest/gtest.h>

namespace vortan {
namespace {

using namespace std::chrono_literals;

// Records what presence asks of the responder.
class ScriptedResponder : public PresenceResponder {
public:
    void start() override { setState(State::on); }
    State state() const override { return m_state; }
    void announce(const QString& name, std::uint16_t port, const QList<QByteArray>& txt) override
    {
        announced = name;
        announcedPort = port;
        announcedTxt = txt;
    }
    QString announcedName() const override { return announced; }
    void resolve(const ServiceItem& item) override { resolving.insert(item.id()); }
    void stopResolving(const ServiceItem& item) override { resolving.remove(item.id()); }
    void setState(State state)
    {
        m_state = state;
        emit stateChanged();
    }

    QString announced;
    std::uint16_t announcedPort = 0;
    QList<QByteArray> announcedTxt;
    QSet<QString> resolving;

private:
    State m_state = State::off;
};

QByteArray bytes(const crypto::Key32& key) { return QByteArray(reinterpret_cast<const char*>(key.data()), 32); }

struct Person {
    crypto::SigningKey signing = crypto::SigningKey::generate();
    QByteArray key = bytes(signing.publicKey());
    QByteArray sign(const QByteArray& message) const
    {
        const crypto::Signature s = signing.sign(
            {reinterpret_cast<const std::uint8_t*>(message.constData()), static_cast<std::size_t>(message.size())});
        return QByteArray(reinterpret_cast<const char*>(s.data()), 64);
    }
};

struct Presence : ::testing::Test {
    // 2025-12-08 23:59:00 UTC when the clock starts.
    const QDateTime start = QDateTime(QDate(2025, 12, 8), QTime(23, 59), Qt::UTC);
    test::ManualClock clock;
    const Clock::TimePoint zero = clock.now();
    QList<QHostAddress> ownAddresses{QHostAddress("192.168.1.5")};
    ScriptedResponder* responder = new ScriptedResponder;
    LocalPresence presence{std::unique_ptr<PresenceResponder>(responder), clock,
                           {[this] { return start.addMSecs(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                               clock.now() - zero).count()); },
                            [this] { return ownAddresses; }}};
    Person bob;
    QList<QPair<QByteArray, QList<Endpoint>>> seen;

    Presence()
    {
        QObject::connect(&presence, &LocalPresence::userSeen,
                         [this](const QByteArray& key, const QList<Endpoint>& e) { seen.append({key, e}); });
        presence.setKnownKeys({bob.key});
        presence.start();
    }
    std::int64_t today() const { return utcDayNumber(start); }
    // Bob's announcement signed for the given addresses, at the given time.
    QList<QByteArray> txt(std::int64_t day, QList<QHostAddress> addresses, qint64 time, const Person& signer,
                          std::uint16_t port = 7000) const
    {
        return announcementTxt({presenceToken(bob.key, day), port, addresses, time},
                               [&](const QByteArray& m) { return signer.sign(m); });
    }
    // The item appears and resolves to host:port with txt; returns what was reported.
    QList<Endpoint> sight(const QString& name, const QString& host, const QList<QByteArray>& txt,
                          std::uint16_t port = 7000, int interface = 2)
    {
        seen.clear();
        const ServiceItem item{interface, host.contains(':') ? 1 : 0, name};
        emit responder->itemNew(item);
        if (responder->resolving.contains(item.id()))
            emit responder->resolved(item, Resolution{host, !host.contains(':'), false, port, txt});
        clock.advance(LocalPresence::kSettleTime);
        return seen.isEmpty() ? QList<Endpoint>() : seen.constLast().second;
    }
};

TEST_F(Presence, YesterdaysTodaysAndTomorrowsTokensAreRecognisedByTheClocksDay)
{
    const qint64 now = start.toSecsSinceEpoch();
    for (std::int64_t day = today() - 2; day <= today() + 2; ++day) {
        SCOPED_TRACE(day - today());
        const QList<Endpoint> found = sight(presenceToken(bob.key, day), "192.168.1.9",
                                            txt(day, {QHostAddress("192.168.1.9")}, now, bob));
        EXPECT_EQ(found.size(), std::abs(day - today()) <= 1 ? 1 : 0);
    }
    // After midnight (by the clock given), today's token is the next day's.
    EXPECT_EQ(responder->announced, QString());
    presence.setAnnouncement(bob.key, 7000, [&](const QByteArray& m) { return bob.sign(m); });
    EXPECT_EQ(responder->announced, presenceToken(bob.key, today()));
    clock.advance(2min);
    EXPECT_EQ(responder->announced, presenceToken(bob.key, today() + 1));
    const QList<Endpoint> found = sight(presenceToken(bob.key, today() + 2) + " #2", "192.168.1.9",
                                        txt(today() + 2, {QHostAddress("192.168.1.9")}, now + 120, bob));
    EXPECT_EQ(found.size(), 1);
}

TEST_F(Presence, OnlyAnnouncementsSignedByTheUserForTheAddressCount)
{
    const QString name = presenceToken(bob.key, today());
    const qint64 now = start.toSecsSinceEpoch();
    const QHostAddress at("10.0.0.2");
    const Person mallory;
    const struct {
        const char* what;
        QList<QByteArray> txt;
        QString host;
        std::uint16_t port;
        bool counts;
        bool followed;  // still resolved
    } cases[] = {
        {"signed by Bob for the address", txt(today(), {at}, now, bob), "10.0.0.2", 7000, true, true},
        {"link-local IPv6 address signed", txt(today(), {QHostAddress("fe80::1")}, now, bob), "fe80::1%lo", 7000, true, true},
        {"no signature", {"t=" + name.toLatin1()}, "10.0.0.2", 7000, false, false},
        {"signed by another key", txt(today(), {at}, now, mallory), "10.0.0.2", 7000, false, false},
        {"replayed at another address", txt(today(), {at}, now, bob), "10.0.0.66", 7000, false, true},
        {"replayed with another port", txt(today(), {at}, now, bob), "10.0.0.2", 7001, false, false},
        {"signed too long ago", txt(today(), {at}, now - 16 * 60, bob), "10.0.0.2", 7000, false, true},
        {"signed too far ahead", txt(today(), {at}, now + 16 * 60, bob), "10.0.0.2", 7000, false, true},
        {"signature cut short", {"t=" + name.toLatin1(), txt(today(), {at}, now, bob).at(1).chopped(16)}, "10.0.0.2",
         7000, false, false},
    };
    int interface = 10;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QList<Endpoint> found = sight(name, c.host, c.txt, c.port, ++interface);
        EXPECT_EQ(found, c.counts ? QList<Endpoint>({{c.host, c.port}}) : QList<Endpoint>());
        const ServiceItem item{interface, c.host.contains(':') ? 1 : 0, name};
        EXPECT_EQ(responder->resolving.contains(item.id()), c.followed);
        emit responder->itemRemoved(item);
    }
}

TEST_F(Presence, UnusableAddressesAreNeverReportedAndEveryGoodOneIsBestFirst)
{
    const QString name = presenceToken(bob.key, today());
    const qint64 now = start.toSecsSinceEpoch();
    for (const char* host : {"0.0.0.0", "255.255.255.255", "224.0.0.251", "127.0.0.1", "::", "ff02::1", "::1"}) {
        SCOPED_TRACE(host);
        EXPECT_TRUE(sight(name, host, txt(today(), {QHostAddress(host)}, now, bob)).isEmpty());
    }
    const QList<QHostAddress> bobs{QHostAddress("10.0.0.2"), QHostAddress("10.0.1.2"), QHostAddress("2001:db8::2")};
    sight(name, "10.0.0.2", txt(today(), bobs, now, bob), 7000, 1);
    sight(name, "2001:db8::2", txt(today(), bobs, now, bob), 7000, 2);
    const QList<Endpoint> all = sight(name, "10.0.1.2", txt(today(), bobs, now, bob), 7000, 3);
    EXPECT_EQ(all, (QList<Endpoint>{{"10.0.1.2", 7000}, {"10.0.0.2", 7000}, {"2001:db8::2", 7000}}));
}

// Gone once the last of the user's announcements is: withdrawn, or with the responder.
TEST_F(Presence, AUserIsGoneWithTheirLastAnnouncement)
{
    QList<QByteArray> gone;
    QObject::connect(&presence, &LocalPresence::userGone, [&](const QByteArray& key) { gone.append(key); });
    const QString name = presenceToken(bob.key, today());
    const QList<QHostAddress> bobs{QHostAddress("10.0.0.2"), QHostAddress("10.0.1.2")};
    const qint64 now = start.toSecsSinceEpoch();
    ASSERT_EQ(sight(name, "10.0.0.2", txt(today(), bobs, now, bob), 7000, 1).size(), 1);
    ASSERT_EQ(sight(name, "10.0.1.2", txt(today(), bobs, now, bob), 7000, 2).size(), 2);
    emit responder->itemRemoved(ServiceItem{1, 0, name});
    EXPECT_TRUE(gone.isEmpty());
    emit responder->itemRemoved(ServiceItem{2, 0, name});
    EXPECT_EQ(gone, QList<QByteArray>{bob.key});
    sight(name, "10.0.0.2", txt(today(), bobs, now, bob), 7000, 1);
    responder->setState(PresenceResponder::State::noResponder);
    EXPECT_EQ(gone, (QList<QByteArray>{bob.key, bob.key}));
}

TEST_F(Presence, TheOwnAnnouncementIsSignedForThisHostAndRenewed)
{
    presence.setAnnouncement(bob.key, 7000, [&](const QByteArray& m) { return bob.sign(m); });
    const auto check = [&](const char* address) {
        const QDateTime now = start.addSecs(std::chrono::duration_cast<std::chrono::seconds>(clock.now() - zero).count());
        return checkAnnouncement(responder->announcedTxt, presenceToken(bob.key, utcDayNumber(now)),
                                 QHostAddress(address), 7000, bob.key, now.toSecsSinceEpoch());
    };
    EXPECT_EQ(check("192.168.1.5"), AnnouncementCheck::valid);
    EXPECT_EQ(check("192.168.1.6"), AnnouncementCheck::notCovered);
    // A new address is announced within the check's period.
    ownAddresses = {QHostAddress("192.168.1.6")};
    clock.advance(LocalPresence::kAddressCheck);
    EXPECT_EQ(check("192.168.1.6"), AnnouncementCheck::valid);
    // Renewed before it goes out of time.
    clock.advance(20min);
    EXPECT_EQ(check("192.168.1.6"), AnnouncementCheck::valid);
}

}  // namespace
}  // namespace vortan
