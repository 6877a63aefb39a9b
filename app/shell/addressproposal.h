#pragma once

#include "app/cards/addresssuggestions.h"

#include "vortan/user.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <optional>

namespace vortan {
class Controller;
}

namespace brenvo {

class AppSettings;

// The own card's address while the person has not chosen one: filled with
// bestAddress() from the first start, followed when the router's answer or
// the machine's addresses change, and marked as a proposal (in the
// settings) until the person confirms the card. Watches the card too: once
// its port, or an address others may hold, changes, the card others hold is
// out of date until it is shared again.
class AddressProposal : public QObject {
    Q_OBJECT
public:
    using Addresses = std::function<QList<QHostAddress>()>;
    // How often the machine's addresses are looked at again.
    static constexpr int kCheckMs = 60'000;

    AddressProposal(vortan::Controller& controller, AppSettings& settings, Addresses addresses = machineHostAddresses,
                    QObject* parent = nullptr);

    // Once the controller has started.
    void start();
    // Fills or follows the proposal now.
    void update();
    // The person confirmed the own card as it is (and shared it, or not).
    void confirmed(bool shared);

    // Whether the own card's address is Brenvo's proposal.
    bool proposed() const;

signals:
    // The proposal moved to another address (the person did not change
    // anything): the card others hold is out of date.
    void proposalChanged();

private:
    void meChanged();

    vortan::Controller& m_controller;
    AppSettings& m_settings;
    Addresses m_addresses;
    QTimer m_check;
    std::optional<vortan::User> m_last;  // the own card as last seen
};

}  // namespace brenvo
