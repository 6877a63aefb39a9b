#pragma once

#include "vortan/controller.h"

#include <QObject>
#include <QPointer>

#include <functional>

class QWidget;

namespace brenvo {

class AddressProposal;
class AppSettings;
class CardActions;
class Dialogs;
class SettingsView;
class UpdaterController;

// What the program's own commands work with.
struct AppActionParts {
    vortan::Controller& controller;
    AppSettings& settings;
    Dialogs& dialogs;
    CardActions& cards;
    UpdaterController& updater;
    AddressProposal& addressProposal;
    QString supportDirectory;
    // Whether the setting "Reach people over the internet through Tor" may start tor.
    bool mayUseTor = false;
    // The listener's state as the windows tell it.
    std::function<vortan::Controller::ListenerState()> listenerState;
    // The window a command without one goes over.
    std::function<QWidget*()> activeWindow;
    std::function<void()> quit;
};

// The program's own commands, over the window they come from (a null
// window: over the active one where one is asked for): the settings window,
// About, the update check and uninstall.
class AppActions : public QObject {
    Q_OBJECT
public:
    explicit AppActions(AppActionParts parts, QObject* parent = nullptr);

    void showSettings(QWidget* window = nullptr);
    void showAbout(QWidget* parent);
    void checkForUpdates(QWidget* window = nullptr);
    // Asks first; then removes the person's Brenvo and quits.
    void uninstall(QWidget* parent);

    // Uninstall was chosen: nothing is remembered any more, and what the
    // controller writes as it stops goes too (see finishStop()).
    bool uninstalled() const { return m_uninstalled; }
    // After the controller stopped.
    void finishStop();

    // The program file that uninstall moves to the Trash.
    void setProgramPath(const QString& path) { m_programPath = path; }

private:
    void finishUninstall(QWidget* parent);
    static QString packageAdvice();

    AppActionParts m_parts;
    QString m_programPath;
    QPointer<SettingsView> m_settingsView;
    bool m_uninstalled = false;
    QByteArray m_uninstalledKey;  // the card files of this key were ours
};

}  // namespace brenvo
