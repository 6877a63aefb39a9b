#pragma once

#include "app/dialogs/dialogs.h"
#include "app/settings/appsettings.h"

#include "vortan/listenerstate.h"
#include "vortan/reachability.h"

#include <QDialog>

#include <cstdint>
#include <functional>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace brenvo {

// The settings window: update checks, running in the background and at
// login, how others reach you (listening, its port and state, the router's
// port forwarding, presence on the local network, connecting automatically)
// and where downloads go. Every change is stored at once; changes of the two
// network switches are handed to onSettingsChange with both stored values.
class SettingsView : public QDialog {
    Q_OBJECT
public:
    using SettingsChange = std::function<void(bool listen, bool mapPort)>;

    // Starting at login, as the program does it: whether it is on now, and
    // turning it on or off (the error's text when that failed).
    struct LoginStart {
        std::function<bool()> enabled;
        std::function<std::optional<QString>(bool on)> set;
    };

    // dialogs shows the folder chooser of "Other…" and the alerts.
    SettingsView(AppSettings& settings, Dialogs& dialogs, SettingsChange onSettingsChange, QWidget* parent = nullptr);

    // What "How others reach you" tells: the listener, the own card's port,
    // the router and the local network, and the card's address (Brenvo's
    // proposal until the person confirms it).
    struct Reach {
        vortan::ListenerState listener = vortan::ListenerState::stopped();
        std::optional<std::uint16_t> port;
        vortan::Reachability reachability;
        QString address;
        bool addressProposed = false;
    };
    void setReach(const Reach& reach);
    // Editing the port hands the new one on (the program saves it into the
    // own card, which moves the listener).
    void setPortChange(std::function<void(std::uint16_t port)> change) { m_portChange = std::move(change); }
    // "Share My Card…", offered while the card others hold is out of date.
    void setShareCard(std::function<void()> share) { m_shareCard = std::move(share); }
    // The Tor switch hands its new value on (the program applies it).
    void setTorChange(std::function<void(bool on)> change) { m_torChange = std::move(change); }
    void setDirectChange(std::function<void(bool on)> change) { m_directChange = std::move(change); }

    // The texts of the section's states.
    static QString listenerText(const Reach& reach, bool listen);
    static QString routerText(const Reach& reach, bool mapPort);
    static QString presenceText(vortan::Reachability::Presence presence);
    // The path through Tor: "ready", "connecting, 45 %", "tor is not installed", "off".
    static QString torText(const vortan::Reachability& reachability, bool on);
    // The address and port others should use: "203.0.113.5:54322".
    static QString cardAddressText(const Reach& reach);

    // Shows the "Start Brenvo when you log in" switch (hidden without one).
    void setLoginStart(LoginStart loginStart);

    // The picker's entries in order, for tests and accessibility checks.
    QComboBox* locationPicker() const { return m_location; }

private:
    void showStored();
    void fillLocationPicker();
    void locationPicked(int index);
    void networkToggled();
    void loginStartToggled(bool on);
    QWidget* buildReachSection();
    void showReach();
    void portEdited();

    AppSettings& m_settings;
    SettingsChange m_onSettingsChange;
    Dialogs& m_dialogs;
    LoginStart m_loginStart;
    QCheckBox* m_checkForUpdates = nullptr;
    QCheckBox* m_keepRunning = nullptr;
    QCheckBox* m_startAtLogin = nullptr;
    QCheckBox* m_listen = nullptr;
    QCheckBox* m_mapPort = nullptr;
    QCheckBox* m_connectAutomatically = nullptr;
    QLineEdit* m_port = nullptr;
    QLabel* m_listenerState = nullptr;
    QLabel* m_routerState = nullptr;
    QLabel* m_presenceState = nullptr;
    QCheckBox* m_useTor = nullptr;
    QCheckBox* m_useDirect = nullptr;
    QLabel* m_torState = nullptr;
    std::function<void(bool on)> m_torChange;
    std::function<void(bool on)> m_directChange;
    QLabel* m_cardAddress = nullptr;
    QWidget* m_outdated = nullptr;  // the card others hold is out of date: share it again
    QComboBox* m_location = nullptr;
    Reach m_reach;
    std::function<void(std::uint16_t)> m_portChange;
    std::function<void()> m_shareCard;
    bool m_filling = false;
};

}  // namespace brenvo
