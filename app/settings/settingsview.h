#pragma once

#include "app/settings/appsettings.h"

#include <QDialog>

#include <functional>
#include <optional>

class QCheckBox;
class QComboBox;

namespace vortan {

// The settings window: update checks, running in the background and at
// login, listening, the router's port forwarding and where downloads go. Every change is stored at once;
// changes of the two network switches are handed to onSettingsChange with
// both stored values.
class SettingsView : public QDialog {
    Q_OBJECT
public:
    using SettingsChange = std::function<void(bool listen, bool mapPort)>;
    // Shows a folder chooser and reports the chosen folder, or nothing when
    // cancelled. The default one is a non-blocking QFileDialog.
    using FolderChooser = std::function<void(QWidget* parent, std::function<void(std::optional<QString>)> done)>;

    // Starting at login, as the program does it: whether it is on now, and
    // turning it on or off (the error's text when that failed).
    struct LoginStart {
        std::function<bool()> enabled;
        std::function<std::optional<QString>(bool on)> set;
    };

    SettingsView(AppSettings& settings, SettingsChange onSettingsChange, QWidget* parent = nullptr);

    // Shows the "Start Brenvo when you log in" switch (hidden without one).
    void setLoginStart(LoginStart loginStart);

    void setFolderChooser(FolderChooser chooser) { m_chooseFolder = std::move(chooser); }

    // The picker's entries in order, for tests and accessibility checks.
    QComboBox* locationPicker() const { return m_location; }

private:
    void showStored();
    void fillLocationPicker();
    void locationPicked(int index);
    void networkToggled();
    void loginStartToggled(bool on);

    AppSettings& m_settings;
    SettingsChange m_onSettingsChange;
    FolderChooser m_chooseFolder;
    LoginStart m_loginStart;
    QCheckBox* m_checkForUpdates = nullptr;
    QCheckBox* m_keepRunning = nullptr;
    QCheckBox* m_startAtLogin = nullptr;
    QCheckBox* m_listen = nullptr;
    QCheckBox* m_mapPort = nullptr;
    QComboBox* m_location = nullptr;
    bool m_filling = false;
};

}  // namespace vortan
