#pragma once

#include "app/settings/appsettings.h"
#include "app/shell/appoptions.h"
#include "app/shell/scenecontroller.h"

#include "vortan/controller.h"

#include <QHash>
#include <QObject>
#include <QPointer>

#include <memory>

namespace brenvo {

class AddressProposal;
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
class SettingsView;
class ThumbnailsCache;
class UpdaterController;

// The program: owns the one Controller from launch to exit, the windows and
// their scene state, and the desktop plumbing (notifications, the launcher
// badge, links, the settings window, uninstall) and, through Background,
// running on without windows with the status icon.
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
    // The open windows' scene state, in the order the windows appeared.
    const QList<SceneController*>& sceneControllers() const { return m_scenes; }

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

    // Commands of the menus and windows, over the window they come from. A
    // null window means the application's own path (over the active window
    // where one is asked for).
    void showSettings(QWidget* window = nullptr);
    void showAbout(QWidget* parent);
    void checkForUpdates(QWidget* window = nullptr);
    void shareMyCard(QWidget* window);
    void importCards(QWidget* window);
    void importCardFiles(QWidget* window, const QStringList& paths);
    void editMe(QWidget* window);
    // The recipient chooser over a window, the user preselected; done gets
    // the chosen keys (none when cancelled).
    void chooseRecipients(QWidget* window, const QByteArray& preselected,
                          std::function<void(QList<QByteArray>)> done);
    void editUser(QWidget* window, const QByteArray& key);
    void removeUser(QWidget* window, const QByteArray& key);
    void deleteSelectedFiles(MainWindow& window);
    void selectAllFiles(MainWindow& window);
    void uninstall(QWidget* parent);
    void quit();

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

    // The program file that uninstall moves to the Trash.
    void setProgramPath(const QString& path) { m_programPath = path; }

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
    void finishUninstall(QWidget* parent);
    static QString packageAdvice();
    void registerWindow(MainWindow& window);
    void rememberWindows(const QList<MainWindow*>& windows);
    MainWindow* activeWindow() const;
    MainWindow* windowOf(const SceneController* scene) const;

    AppOptions m_options;
    QString m_supportDirectory;
    QString m_programPath;
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
    QList<SceneController*> m_scenes;
    QList<MainWindow*> m_windows;  // shown or not yet destroyed
    std::unique_ptr<PeopleInView> m_peopleInView;
    QPointer<SettingsView> m_settingsView;
    bool m_started = false;
    bool m_stopped = false;
    bool m_uninstalled = false;
    bool m_quitting = false;  // Quit was chosen: windows close without asking
    QByteArray m_uninstalledKey;  // the card files of this key were ours
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
