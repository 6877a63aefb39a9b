#pragma once

#include "app/settings/appsettings.h"
#include "app/shell/appoptions.h"
#include "app/shell/scenecontroller.h"

#include "vortan/controller.h"

#include <QHash>
#include <QObject>

#include <memory>

namespace brenvo {

class AddressProposal;
class AppActions;
class AppNotifications;
class Background;
class CardActions;
class Dialogs;
class FileListView;
class FileManager;
class LauncherBadge;
class MainWindow;
class NotificationServer;
class PeopleInView;
class ThumbnailsCache;
class UpdaterController;
class WindowRegistry;

// The program's lifecycle: owns the one Controller from launch to exit, the
// windows (through WindowRegistry) and the desktop plumbing (notifications,
// the launcher badge, links) and, through Background, running on without
// windows with the status icon. The commands are the action classes'
// (AppActions, CardActions, the file list's FileActions).
class AppDelegate : public QObject {
    Q_OBJECT
public:
    explicit AppDelegate(AppOptions options, QObject* parent = nullptr);
    ~AppDelegate() override;

    vortan::Controller& controller() { return *m_controller; }
    AppSettings& settings() { return m_settings; }
    // The alerts and file dialogs of every window.
    Dialogs& dialogs() { return *m_dialogs; }
    const QString& supportDirectory() const { return m_supportDirectory; }
    WindowRegistry& windows() { return *m_windows; }
    // The program's own commands (settings, About, updates, uninstall).
    AppActions& actions() { return *m_actions; }
    // The commands on cards and people.
    CardActions& cards() { return *m_cards; }

    // Starts the controller with the stored network settings, then the
    // automatic update check when it is on. Returns why it could not start.
    std::optional<vortan::StartError> start();
    // Stops the controller (once) and remembers the open windows.
    void stop();

    // Opens the windows of the last run (one when none is remembered).
    void restoreWindows();
    MainWindow* newWindow();
    // Raises the active window, or brings back the remembered ones.
    void showWindow();
    // Whether a main window is shown.
    bool windowShown() const;

    // What a second launch (or this one's command line) asks for: show a
    // window, open the links, import the card files.
    void open(const QStringList& urls, const QStringList& cards);
    // A brenvo://file/… link: selects its files in the active window, or in
    // a new one when none is shown.
    void openUrl(const QUrl& url);
    // A notification's files: selected in the window that shows their user,
    // else through a link.
    void selectNotifiedFiles(const QList<QUuid>& ids);

    // The detail's file list of a new window.
    FileListView* createFileList(MainWindow& window);
    // Whether a window may close now: the last one, where closing it quits
    // while downloads run, asks first (and closes once Quit is chosen).
    bool mayClose(MainWindow& window);
    // A window is about to close (the last one remembers its place).
    void windowClosing(MainWindow& window);

    // What went wrong in the background that the person should know (a
    // stored file that could not be saved, or was kept aside as unreadable),
    // the latest last, until dismissed. Every window shows them.
    const QStringList& warnings() const { return m_warnings; }
    // Whether a warning is about someone unknown calling: their card may
    // be what is missing.
    bool warningsOfferImport() const;
    void dismissWarnings();

    FileManager& fileManager() { return *m_fileManager; }
    Background& background() { return *m_background; }

    // Ends the program (the windows close without asking).
    void quit();

signals:
    void warningsChanged();

private:
    static constexpr qsizetype kMaxWarnings = 5;

    void addWarning(const QString& message);
    // The controller's reports.
    void didFinishDownloading(const vortan::FileRow& file);
    void didReceiveFiles(const QList<vortan::FileRow>& files, const vortan::User& user);
    // A listener that failed is told in the windows' information bar while it lasts.
    void showListenerState();
    // The listener's state as the windows tell it: a failure lasts while the
    // listener tries again by itself (the controller reports it stopped
    // between the tries), until it is ready, turned off or given another port.
    vortan::Controller::ListenerState shownListenerState() const;
    void listenerStateChanged();

    AppOptions m_options;
    QString m_supportDirectory;
    AppSettings m_settings;
    std::unique_ptr<vortan::Controller> m_controller;
    std::unique_ptr<Dialogs> m_dialogs;
    std::unique_ptr<NotificationServer> m_notifier;
    std::unique_ptr<LauncherBadge> m_badge;
    std::unique_ptr<FileManager> m_fileManager;
    std::unique_ptr<AppNotifications> m_notifications;
    std::unique_ptr<UpdaterController> m_updater;
    std::unique_ptr<ThumbnailsCache> m_thumbnails;
    std::unique_ptr<CardActions> m_cards;
    std::unique_ptr<Background> m_background;
    std::unique_ptr<AddressProposal> m_addressProposal;
    std::unique_ptr<AppActions> m_actions;
    std::unique_ptr<PeopleInView> m_peopleInView;
    std::unique_ptr<WindowRegistry> m_windows;
    bool m_started = false;
    bool m_stopped = false;
    bool m_quitting = false;  // Quit was chosen: windows close without asking
    QStringList m_warnings;
    QString m_listenerWarning;  // among m_warnings while the listener has failed
    QHash<QByteArray, QString> m_strangerWarnings;  // by key, until the key is a user's
    struct ListenerFailure {
        vortan::VortanError error;
        std::optional<std::uint16_t> port;
    };
    std::optional<ListenerFailure> m_listenerFailure;
};

}  // namespace brenvo
