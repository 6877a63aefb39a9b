#include "app/shell/appdelegate.h"

#include "app/cards/cardactions.h"
#include "app/cards/cardfiles.h"
#include "app/desktop/appnotifications.h"
#include "app/desktop/filemanager.h"
#include "app/desktop/launcherbadge.h"
#include "app/desktop/notificationserver.h"
#include "app/files/filelistview.h"
#include "app/files/thumbnailscache.h"
#include "app/settings/settingsview.h"
#include "app/shell/addressproposal.h"
#include "app/shell/autostart.h"
#include "app/shell/background.h"
#include "app/shell/fileselection.h"
#include "app/shell/mainwindow.h"
#include "app/shell/peopleinview.h"
#include "app/shell/quitquestion.h"
#include "app/shell/reasontext.h"
#include "app/shell/uninstall.h"
#include "app/update/updatercontroller.h"

#include "vortan/directories.h"

#include <QApplication>
#include <QDir>
#include <QDesktopServices>
#include <QLocale>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <utility>

using vortan::Controller;
using vortan::ControllerOptions;
using vortan::FileRow;
using vortan::StartError;
using vortan::User;
using vortan::defaultSupportDirectory;

namespace brenvo {

AppDelegate::AppDelegate(AppOptions options, QObject* parent)
    : QObject(parent), m_options(std::move(options)),
      m_supportDirectory(m_options.supportDirectory.isEmpty() ? defaultSupportDirectory()
                                                               : QDir(m_options.supportDirectory).absolutePath()),
      m_programPath(QCoreApplication::applicationFilePath()),
      m_settings(m_options.settingsPath.isEmpty() ? AppSettings::defaultFilePath() : m_options.settingsPath)
{
    ControllerOptions controllerOptions;
    controllerOptions.supportDirectory = m_supportDirectory;
    controllerOptions.keyStore = m_options.keyStore;
    controllerOptions.useGateway = m_options.useGateway;
    controllerOptions.usePresence = true;
    controllerOptions.useTor = m_options.mayUseTor && m_settings.useTor() && Controller::torInstalled();
    m_controller = std::make_unique<Controller>(controllerOptions);
    m_peopleInView = std::make_unique<PeopleInView>(*m_controller);

    m_notifier = std::make_unique<NotificationServer>();
    // A click on a notification, or its "Show", while no window is shown.
    connect(m_notifier.get(), &Notifier::actionInvoked, this, [this](quint32, const QString& action) {
        if ((action == QLatin1String(Notifier::kDefaultAction) || action == QLatin1String(AppNotifications::kShowFile))
            && !windowShown())
            showWindow();
    });
    m_badge = std::make_unique<LauncherBadge>();
    m_fileManager = std::make_unique<FileManager>();
    m_notifications =
        std::make_unique<AppNotifications>(*m_controller, m_settings, *m_notifier, *m_badge, *m_fileManager);
    m_thumbnails = std::make_unique<ThumbnailsCache>();
    m_dialogs = makeWindowDialogs();
    m_cards = std::make_unique<CardActions>(*m_controller, m_supportDirectory, *m_dialogs);
    // Imported in a window: that window shows the first of them.
    connect(m_cards.get(), &CardActions::usersImported, this, [this](QWidget* window, const QByteArray& key) {
        for (MainWindow* main : std::as_const(m_windows))
            if (main && main == window)
                main->scene().setSelectedUser(key);
    });
    m_updater = std::make_unique<UpdaterController>(UpdaterConfig::fromBuild(), m_settings, *m_dialogs);
    connect(m_notifications.get(), &AppNotifications::selectFilesRequested, this, &AppDelegate::selectNotifiedFiles);
    // Also those of the start (an unreadable stored file), before any window.
    connect(m_controller.get(), &Controller::warning, this, &AppDelegate::addWarning);
    connect(m_controller.get(), &Controller::offersRefused, this, [this](const QByteArray& key, qsizetype count) {
        const std::optional<User> user = m_controller->user(key);
        addWarning(tr("%1 offered more files than Brenvo keeps at once: %2 were not added")
                       .arg(user ? user->name : tr("Someone"), QLocale().toString(qlonglong(count))));
    });
    connect(m_controller.get(), &Controller::strangerRefused, this, [this](const QByteArray& key) {
        const QString message =
            tr("Someone who is not among your people tried to connect (key %1)").arg(keyFingerprint(key));
        m_strangerWarnings.insert(key, message);
        addWarning(message);
    });
    // Their card imported: the warning about them has done its work.
    connect(m_controller.get(), &Controller::usersChanged, this, [this] {
        bool changed = false;
        for (auto it = m_strangerWarnings.begin(); it != m_strangerWarnings.end();) {
            if (!m_controller->user(it.key())) {
                ++it;
                continue;
            }
            changed = m_warnings.removeAll(it.value()) > 0 || changed;
            it = m_strangerWarnings.erase(it);
        }
        if (changed)
            emit warningsChanged();
    });
    connect(m_controller.get(), &Controller::downloadFinished, this, &AppDelegate::didFinishDownloading);
    connect(m_controller.get(), &Controller::filesReceived, this, &AppDelegate::didReceiveFiles);
    connect(m_controller.get(), &Controller::listenerStateChanged, this, &AppDelegate::listenerStateChanged);
    connect(m_controller.get(), &Controller::meChanged, this, &AppDelegate::showListenerState);
    connect(&m_settings, &AppSettings::changed, this, [this](const QString& key) {
        if (key == m_settings.connectAutomatically.key())
            m_controller->setConnectAutomatically(m_settings.connectAutomatically());
    });
    BackgroundActions background;
    background.showWindow = [this] { showWindow(); };
    background.showFiles = [this](const QList<QUuid>& ids) {
        showWindow();
        selectNotifiedFiles(ids);
    };
    background.quit = [this] { quit(); };
    background.windowShown = [this] { return windowShown(); };
    m_background = std::make_unique<Background>(*m_controller, m_settings, *m_notifier, std::move(background));
    m_addressProposal = std::make_unique<AddressProposal>(*m_controller, m_settings);
    connect(m_cards.get(), &CardActions::ownCardConfirmed, m_addressProposal.get(), &AddressProposal::confirmed);
    connect(m_addressProposal.get(), &AddressProposal::proposalChanged, this, [this] {
        addWarning(tr("Your address changed: the card others hold is now out of date. Share it again with "
                      "Share My Card…"));
    });
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive) {
            m_notifications->applicationBecameActive();
            m_background->windowActivated();
        }
    });
}

AppDelegate::~AppDelegate()
{
    // A window going away updates m_windows: walk a list of our own.
    const QList<MainWindow*> windows = std::exchange(m_windows, {});
    for (MainWindow* window : windows)
        delete window;
}

std::optional<StartError> AppDelegate::start()
{
    m_controller->setConnectAutomatically(m_settings.connectAutomatically());
    if (std::optional<StartError> error = m_controller->start(m_settings.listen(), m_settings.mapPort()))
        return error;
    m_started = true;
    m_addressProposal->start();
    if (m_settings.checkForUpdates())
        m_updater->checkAutomatically();
    m_background->start(m_options.background);
    return std::nullopt;
}

void AppDelegate::stop()
{
    if (!m_started || m_stopped)
        return;
    m_stopped = true;
    QList<MainWindow*> open;
    for (MainWindow* window : std::as_const(m_windows))
        if (window && window->isVisible())
            open.append(window);
    if (!open.isEmpty() && !m_uninstalled)
        rememberWindows(open);
    m_controller->stop();
    if (m_uninstalled)
        removeLeftovers(m_settings, m_supportDirectory, m_uninstalledKey);
}

void AppDelegate::addWarning(const QString& message)
{
    m_warnings.removeAll(message);
    m_warnings.append(message);
    while (m_warnings.size() > kMaxWarnings)
        m_warnings.removeFirst();
    emit warningsChanged();
}

void AppDelegate::listenerStateChanged()
{
    const Controller::ListenerState& state = m_controller->listenerState();
    const std::optional<User>& me = m_controller->me();
    switch (state.kind()) {
    case Controller::ListenerState::Kind::failed:
        if (state.error())
            m_listenerFailure = ListenerFailure{*state.error(), me ? me->port : std::nullopt};
        break;
    case Controller::ListenerState::Kind::ready: m_listenerFailure.reset(); break;
    case Controller::ListenerState::Kind::stopped:
        if (!m_settings.listen())
            m_listenerFailure.reset();
        break;
    }
    showListenerState();
}

Controller::ListenerState AppDelegate::shownListenerState() const
{
    const std::optional<User>& me = m_controller->me();
    if (m_listenerFailure && m_settings.listen() && me && me->port == m_listenerFailure->port)
        return Controller::ListenerState::failed(m_listenerFailure->error);
    return m_controller->listenerState();
}

void AppDelegate::showListenerState()
{
    const Controller::ListenerState state = shownListenerState();
    QString text;
    if (state.kind() == Controller::ListenerState::Kind::failed && state.error()) {
        const std::optional<User>& me = m_controller->me();
        text = listenerFailureText(me && me->port ? *me->port : 0, *state.error());
    }
    if (text == m_listenerWarning)
        return;
    if (!m_listenerWarning.isEmpty() && m_warnings.removeAll(m_listenerWarning) > 0 && text.isEmpty())
        emit warningsChanged();
    m_listenerWarning = text;
    if (!text.isEmpty())
        addWarning(text);
}

bool AppDelegate::warningsOfferImport() const
{
    return std::any_of(m_strangerWarnings.cbegin(), m_strangerWarnings.cend(),
                       [this](const QString& message) { return m_warnings.contains(message); });
}

void AppDelegate::dismissWarnings()
{
    if (m_warnings.isEmpty())
        return;
    m_warnings.clear();
    emit warningsChanged();
}

void AppDelegate::rememberWindows(const QList<MainWindow*>& windows)
{
    QList<AppSettings::Window> states;
    for (MainWindow* window : windows)
        states.append({window->saveGeometry(), window->scene().selectedUser()});
    m_settings.windows.set(states);
    m_settings.sync();
}

void AppDelegate::restoreWindows()
{
    const QList<AppSettings::Window> states = m_settings.windows();
    if (states.isEmpty()) {
        newWindow();
        return;
    }
    for (const AppSettings::Window& state : states) {
        MainWindow* window = newWindow();
        window->restoreGeometry(state.geometry);
        if (m_controller->user(state.selectedUser))
            window->scene().setSelectedUser(state.selectedUser);
    }
}

MainWindow* AppDelegate::newWindow()
{
    auto* window = new MainWindow(*this);
    registerWindow(*window);
    window->show();
    return window;
}

bool AppDelegate::windowShown() const
{
    for (MainWindow* window : m_windows)
        if (window && window->isVisible())
            return true;
    return false;
}

void AppDelegate::showWindow()
{
    MainWindow* window = activeWindow();
    if (!window) {
        restoreWindows();
        window = activeWindow();
    }
    if (window)
        window->bringToFront();
}

void AppDelegate::registerWindow(MainWindow& window)
{
    m_windows.append(&window);
    m_scenes.append(&window.scene());
    SceneController* scene = &window.scene();
    // By address only: when destroyed() comes, the window is a QObject no more.
    MainWindow* gone = &window;
    connect(&window, &QObject::destroyed, this, [this, scene, gone] {
        m_scenes.removeOne(scene);
        m_windows.removeOne(gone);
        m_peopleInView->removeScene(scene);
    });
    m_peopleInView->addScene(*scene);
}

bool AppDelegate::mayClose(MainWindow& window)
{
    if (m_quitting || m_uninstalled || m_background->keepsRunning())
        return true;
    for (MainWindow* other : std::as_const(m_windows))
        if (other && other != &window && other->isVisible())
            return true;
    return closeOrAskToQuit(&window, *m_dialogs, m_controller->fileRows(), [this, shown = QPointer(&window)] {
        m_quitting = true;
        if (shown)
            shown->close();
    });
}

void AppDelegate::windowClosing(MainWindow& window)
{
    // The last window closed is the one to come back: at the next start, or
    // from the background.
    int shown = 0;
    for (MainWindow* other : std::as_const(m_windows))
        shown += other && other->isVisible() ? 1 : 0;
    if (shown == 1 && !m_uninstalled)
        rememberWindows({&window});
    m_scenes.removeOne(&window.scene());
    // Once the window is gone: the program quits, or stays in the background.
    QTimer::singleShot(0, this, [this] {
        if (!windowShown() && !m_uninstalled)
            m_background->lastWindowClosed();
    });
}

MainWindow* AppDelegate::activeWindow() const
{
    MainWindow* last = nullptr;
    for (MainWindow* window : m_windows) {
        if (!window || !window->isVisible())
            continue;
        if (window->isActiveWindow())
            return window;
        last = window;
    }
    return last;
}

MainWindow* AppDelegate::windowOf(const SceneController* scene) const
{
    for (MainWindow* window : m_windows)
        if (window && &window->scene() == scene)
            return window;
    return nullptr;
}

void AppDelegate::open(const QStringList& urls, const QStringList& cards)
{
    MainWindow* window = activeWindow();
    if (!window)
        window = newWindow();
    window->bringToFront();
    for (const QString& url : urls)
        openUrl(QUrl(url));
    if (!cards.isEmpty())
        importCardFiles(window, cards);
}

void AppDelegate::openUrl(const QUrl& url)
{
    MainWindow* window = activeWindow();
    if (!window)
        window = newWindow();
    const QList<FileRow> files = knownFiles(*m_controller, fileIdsFromUrl(url));
    selectFilesIn(window->scene(), files);
    if (!files.isEmpty())
        window->bringToFront();
}

void AppDelegate::selectNotifiedFiles(const QList<QUuid>& ids)
{
    const QList<FileRow> files = knownFiles(*m_controller, ids);
    if (files.isEmpty())
        return;
    if (SceneController* scene = windowForFiles(m_scenes, files.first().user)) {
        selectFilesIn(*scene, files);
        if (MainWindow* window = windowOf(scene))
            window->bringToFront();
        return;
    }
    QList<QUuid> found;
    for (const FileRow& file : files)
        found.append(file.id);
    openUrl(fileSelectionUrl(found));
}

void AppDelegate::showSettings(QWidget* over)
{
    // Over the window it was asked from (it goes with that window).
    QWidget* window = over ? over : activeWindow();
    if (!m_settingsView) {
        m_settingsView = new SettingsView(
            m_settings, *m_dialogs, [this](bool listen, bool mapPort) { m_controller->setSettings(listen, mapPort); }, window);
        m_settingsView->setAttribute(Qt::WA_DeleteOnClose);
        m_settingsView->setLoginStart({[] { return Autostart().enabled(); },
                                       [](bool on) { return Autostart().setEnabled(on); }});
        m_settingsView->setPortChange([this](std::uint16_t port) {
            if (std::optional<User> me = m_controller->me()) {
                me->port = port;
                m_controller->editMe(*me);
            }
        });
        m_settingsView->setShareCard([this] { shareMyCard(m_settingsView); });
        m_settingsView->setTorChange([this](bool on) {
            m_controller->setTorEnabled(on && m_options.mayUseTor && Controller::torInstalled());
        });
        const auto showReach = [this] {
            const std::optional<User>& me = m_controller->me();
            m_settingsView->setReach({shownListenerState(), me ? me->port : std::nullopt, m_controller->reachability(),
                                      me ? me->address.value_or(QString()).trimmed() : QString(),
                                      m_addressProposal->proposed()});
        };
        showReach();
        connect(&m_settings, &AppSettings::changed, m_settingsView, [this, showReach](const QString& key) {
            if (key == m_settings.proposedAddress.key())
                showReach();
        });
        connect(m_controller.get(), &Controller::listenerStateChanged, m_settingsView, showReach);
        connect(m_controller.get(), &Controller::reachabilityChanged, m_settingsView, showReach);
        connect(m_controller.get(), &Controller::meChanged, m_settingsView, showReach);
    } else if (window && m_settingsView->parentWidget() != window) {
        m_settingsView->setParent(window, m_settingsView->windowFlags());
    }
    m_settingsView->show();
    m_settingsView->raise();
    m_settingsView->activateWindow();
}

void AppDelegate::showAbout(QWidget* parent)
{
    m_dialogs->about(parent, tr("About Brenvo"),
                       tr("<h3>Brenvo %1</h3><p>Send files straight from one machine to another, between people "
                          "who know each other, with no server in between.</p>")
                           .arg(QStringLiteral(BRENVO_VERSION)));
}

void AppDelegate::checkForUpdates(QWidget* window)
{
    m_updater->checkManually(window ? window : activeWindow());
}
void AppDelegate::shareMyCard(QWidget* window) { m_cards->shareMyCard(window); }
void AppDelegate::importCards(QWidget* window) { m_cards->importCards(window); }
void AppDelegate::importCardFiles(QWidget* window, const QStringList& paths) { m_cards->importCardFiles(window, paths); }
void AppDelegate::editMe(QWidget* window) { m_cards->editMe(window); }
void AppDelegate::editUser(QWidget* window, const QByteArray& key) { m_cards->editUser(window, key); }
void AppDelegate::removeUser(QWidget* window, const QByteArray& key) { m_cards->confirmRemoveUser(window, key); }

void AppDelegate::chooseRecipients(QWidget* window, const QByteArray& preselected,
                                   std::function<void(QList<QByteArray>)> done)
{
    m_cards->chooseRecipients(window, preselected, [done = std::move(done)](const QList<QByteArray>& keys) { done(keys); });
}
void AppDelegate::deleteSelectedFiles(MainWindow& window)
{
    window.fileList()->removeSelected();
}

void AppDelegate::selectAllFiles(MainWindow& window)
{
    window.fileList()->selectAll();
}

namespace {
QList<QUrl> fileUrls(const QStringList& paths)
{
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls.append(QUrl::fromLocalFile(path));
    return urls;
}
}  // namespace

FileListView* AppDelegate::createFileList(MainWindow& window)
{
    FileListServices services;
    services.dialogs = m_dialogs.get();
    services.reveal = [this](const QStringList& paths) { m_fileManager->reveal(fileUrls(paths)); };
    services.preview = [this](const QStringList& paths) { m_fileManager->preview(fileUrls(paths)); };
    services.chooseRecipients = [this](QWidget* window, const QByteArray& preselected,
                                       std::function<void(QList<QByteArray>)> done) {
        chooseRecipients(window, preselected, std::move(done));
    };
    return new FileListView(*m_controller, m_settings, *m_thumbnails, std::move(services), &window);
}

void AppDelegate::didFinishDownloading(const FileRow& file)
{
    m_thumbnails->refresh(file);
    m_notifications->didFinishDownloading(file);
}

void AppDelegate::didReceiveFiles(const QList<FileRow>& files, const User& user)
{
    m_background->didReceiveFiles(files);
    m_notifications->didReceiveFiles(files, user);
}

void AppDelegate::uninstall(QWidget* parent)
{
    const QByteArray ownKey = m_controller->me() ? m_controller->me()->key : QByteArray();
    const QStringList files = brenvoFiles(m_supportDirectory, ownKey);
    // The folder is the person's choice (--data-dir): it may hold their own
    // files, which stay. Its name is shown as it is, never as markup.
    QString informative = tr("This operation cannot be undone.") + QStringLiteral("\n\n") +
                          tr("Brenvo removes your identity key, its settings and the files it made in the folder %1 "
                             "(listed in the details); the folder itself only when nothing else is left in it.")
                              .arg(QDir::toNativeSeparators(m_supportDirectory));
    if (installedByPackage(m_programPath))
        informative += QStringLiteral("\n\n") + packageAdvice();
    QStringList paths;
    for (const QString& name : files)
        paths.append(QDir::toNativeSeparators(QDir(m_supportDirectory).filePath(name)));
    paths.append(QDir::toNativeSeparators(m_settings.filePath()));
    const Question question{{Alert::Kind::warning, tr("Are you sure you want to uninstall Brenvo?"),
                             tr("Are you sure you want to uninstall Brenvo?"), informative,
                             paths.join(QLatin1Char('\n'))},
                            {{AlertButton::Role::destructive, tr("Uninstall")}, {AlertButton::Role::cancel, {}}},
                            1};
    QPointer<QWidget> window(parent);
    m_dialogs->ask(parent, question, [self = QPointer(this), window, inWindow = parent != nullptr](int button) {
        if (!self || button != 0 || self->m_uninstalled)
            return;
        self->finishUninstall(inWindow ? window.data() : nullptr);
    });
}

QString AppDelegate::packageAdvice()
{
    return tr("The program was installed with a package of the system: remove the package “brenvo” with your "
              "package manager, for example with the command: sudo apt remove brenvo");
}

void AppDelegate::finishUninstall(QWidget* parent)
{
    m_uninstalled = true;
    m_uninstalledKey = m_controller->me() ? m_controller->me()->key : QByteArray();
    const UninstallResult result = uninstallEverything(*m_controller, m_settings, m_supportDirectory, m_programPath);
    if (result.trashError.isEmpty()) {
        quit();
        return;
    }
    // The data is gone: the person is told what is left and how to remove
    // it, then the program ends.
    const QString program = QDir::toNativeSeparators(m_programPath);
    const QString informative =
        installedByPackage(m_programPath)
            ? tr("Your data has been removed. %1 stays.").arg(program) + QLatin1Char(' ') + packageAdvice()
            : tr("Your data has been removed. Remove %1 yourself (%2).").arg(program, result.trashError);
    m_dialogs->tell(parent,
                    Alert{Alert::Kind::information, tr("Brenvo"), tr("Brenvo could not move the program to the Trash."),
                          informative, {}},
                    [self = QPointer(this)] {
                        if (self)
                            self->quit();
                    });
}

void AppDelegate::quit()
{
    m_quitting = true;  // the windows close without asking
    QCoreApplication::quit();
}

}  // namespace brenvo
