// The own card's address from the first start: Brenvo's proposal until
// confirmed, and a card others hold told out of date when it changes.
#include "app/settings/appsettings.h"
#include "app/shell/addressproposal.h"

#include "tests/app/support/peers.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using vortan::User;

using namespace brenvo;

namespace {

QList<QHostAddress> addresses(const QStringList& texts)
{
    QList<QHostAddress> list;
    for (const QString& text : texts)
        list.append(QHostAddress(text));
    return list;
}

TEST(OwnAddress, TheRoutersAddressThenAGlobalIpv6ThenTheLocalOne)
{
    const struct {
        QString external;
        QStringList machine;
        QString best;
    } cases[] = {
        {"203.0.113.5", {"192.168.1.20", "2a01:4f8:c17:1::2"}, "203.0.113.5"},
        {{}, {"192.168.1.20", "fd00::20", "2a01:4f8:c17:1::2"}, "2a01:4f8:c17:1::2"},
        {{}, {"fd00::20", "192.168.1.20", "10.0.0.7"}, "192.168.1.20"},
        {{}, {"fd00::20"}, "fd00::20"},
        {{}, {}, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(bestAddress(c.external, addresses(c.machine)), c.best) << c.best.toStdString();
}

TEST(OwnAddress, ProposedUntilConfirmedAndAChangeOutdatesTheCard)
{
    QTemporaryDir dir;
    AppSettings settings(dir.filePath("Brenvo.conf"));
    test::Peer me("Me");
    QStringList machine{"192.168.1.20"};
    AddressProposal proposal(*me.controller, settings, [&] { return addresses(machine); });
    QSignalSpy changed(&proposal, &AddressProposal::proposalChanged);
    const auto address = [&] { return me.controller->me()->address.value_or(QString()); };

    // Filled at the first start, nothing outdated: nobody holds the card yet.
    proposal.start();
    EXPECT_EQ(address(), "192.168.1.20");
    EXPECT_TRUE(proposal.proposed());
    EXPECT_FALSE(settings.cardOutdated());

    // The machine moves: the proposal follows, and says so.
    machine = QStringList{"10.0.0.7"};
    proposal.update();
    EXPECT_EQ(address(), "10.0.0.7");
    EXPECT_EQ(changed.size(), 1);
    EXPECT_TRUE(settings.cardOutdated());
    proposal.confirmed(true);  // shared: confirmed and current
    EXPECT_FALSE(proposal.proposed());
    EXPECT_FALSE(settings.cardOutdated());

    // A confirmed address stays; a new port outdates the card.
    machine = QStringList{"192.168.1.20"};
    proposal.update();
    EXPECT_EQ(address(), "10.0.0.7");
    User edited = *me.controller->me();
    edited.port = 40000;
    me.controller->editMe(edited);
    EXPECT_TRUE(settings.cardOutdated());
    EXPECT_EQ(changed.size(), 1);
}

}  // namespace
