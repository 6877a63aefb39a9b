#include "app/shell/addressproposal.h"

#include "app/settings/appsettings.h"

#include "vortan/controller.h"

#include <utility>

using vortan::Controller;
using vortan::Reachability;
using vortan::User;

namespace brenvo {

AddressProposal::AddressProposal(Controller& controller, AppSettings& settings, Addresses addresses,
                                 QObject* parent)
    : QObject(parent), m_controller(controller), m_settings(settings), m_addresses(std::move(addresses))
{
    m_check.setInterval(kCheckMs);
    connect(&m_check, &QTimer::timeout, this, &AddressProposal::update);
}

void AddressProposal::start()
{
    m_last = m_controller.me();
    connect(&m_controller, &Controller::meChanged, this, &AddressProposal::meChanged);
    connect(&m_controller, &Controller::reachabilityChanged, this, &AddressProposal::update);
    m_check.start();
    update();
}

bool AddressProposal::proposed() const
{
    const std::optional<User>& me = m_controller.me();
    const QString proposal = m_settings.proposedAddress();
    return me && !proposal.isEmpty() && me->address.value_or(QString()).trimmed() == proposal;
}

void AddressProposal::update()
{
    const std::optional<User>& me = m_controller.me();
    if (!me)
        return;
    const QString current = me->address.value_or(QString()).trimmed();
    // An address the person chose stays.
    if (!current.isEmpty() && !proposed()) {
        m_settings.proposedAddress.set({});
        return;
    }
    const Reachability& reach = m_controller.reachability();
    const QString best = bestAddress(
        reach.router == Reachability::Router::forwarded ? reach.externalAddress : QString(), m_addresses());
    if (best.isEmpty() || best == current)
        return;
    User edited = *me;
    edited.address = best;
    m_settings.proposedAddress.set(best);
    m_last = edited;  // not the person's change
    m_controller.editMe(edited);
    // A card without an address reached nobody: filling it in outdates nothing.
    if (current.isEmpty())
        return;
    m_settings.cardOutdated.set(true);
    emit proposalChanged();
}

void AddressProposal::confirmed(bool shared)
{
    m_settings.proposedAddress.set({});
    if (shared)
        m_settings.cardOutdated.set(false);
}

void AddressProposal::meChanged()
{
    const std::optional<User>& me = m_controller.me();
    if (!me)
        return;
    const std::optional<User> last = std::exchange(m_last, me);
    if (!last)
        return;
    const bool addressChanged = !last->address.value_or(QString()).trimmed().isEmpty() && last->address != me->address;
    if (last->port != me->port || addressChanged)
        m_settings.cardOutdated.set(true);
}

}  // namespace brenvo
