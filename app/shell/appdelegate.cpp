#include "app/shell/appdelegate.h"

#include "app/cards/cardactions.h"
#include "app/cards/cardfiles.h"
#include "app/desktop/appnotifications.h"
#include "app/desktop/filemanager.h"
#include "app/desktop/launcherbadge.h"
#include "app/desktop/notificationserver.h"
#include "app/files/filelistview.h"
#include "app/files/thumbnailscache.h"
#include "app/shell/addressproposal.h"
#include "app/shell/appactions.h"
#include "app/shell/background.h"
#include "app/shell/fileselection.h"
#include "app/shell/mainwindow.h"
#include "app/shell/peopleinview.h"
#include "app/shell/quitquestion.h"
#include "app/shell/reasontext.h"
#include "app/shell/windowregistry.h"
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
      m_settings(m_options.settingsPath.isEmpty() ? AppSettings::defaultFilePath() : m_options.settingsPath)
{
    ControllerOptions controllerOptions;
    controllerOptions.supportDirectory = m_supportDirectory;
    controllerOptions.keyStore = m_options.keyStore;
    controllerOptions.useGateway = m_options.useGateway;
    controllerOptions.usePresence = true;
    controllerOptions.useTor = m_options.mayUseTor && m_settings.useTor() && Controller::torInstalled();
    controllerOptions.useDirectPath = m_settings.useDirectConnection();
    m_controller = std::make_unique<Controller>(controllerOptions);
    m_peopleInView = std::make_unique<PeopleInView>(*m_controller);
    m_windows = std::make_unique<WindowRegistry>();
    connect(m_windows.get(), &WindowRegistry::sceneAdded, m_peopleInView.get(),
            [this](SceneController* scene) { m_peopleInView->addScene(*scene); });
    connect(m_windows.get(), &WindowRegistry::sceneRemoved, m_peopleInView.get(), &PeopleInView::removeScene);

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
        if (MainWindow* main = m_windows->windowOf(window))
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
    m_actions = std::make_unique<AppActions>(AppActionParts{
        *m_controller, m_settings, *m_dialogs, *m_cards, *m_updater, *m_addressProposal, m_supportDirectory,
        m_options.mayUseTor, [this] { return shownListenerState(); }, [this] { return m_windows->active(); },
        [this] { quit(); }});
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
    // The windows go first: they use everything else.
    m_windows.reset();
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
    const QList<MainWindow*> open = m_windows->shown();
    if (!open.isEmpty() && !m_actions->uninstalled())
        WindowRegistry::remember(m_settings, open);
    m_controller->stop();
    m_actions->finishStop();
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
    m_windows->add(*window);
    window->show();
    return window;
}

bool AppDelegate::windowShown() const
{
    return m_windows->anyShown();
}

void AppDelegate::showWindow()
{
    MainWindow* window = m_windows->active();
    if (!window) {
        restoreWindows();
        window = m_windows->active();
    }
    if (window)
        window->bringToFront();
}

bool AppDelegate::mayClose(MainWindow& window)
{
    if (m_quitting || m_actions->uninstalled() || m_background->keepsRunning())
        return true;
    for (MainWindow* other : m_windows->shown())
        if (other != &window)
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
    if (m_windows->shown().size() == 1 && !m_actions->uninstalled())
        WindowRegistry::remember(m_settings, {&window});
    m_windows->closing(window);
    // Once the window is gone: the program quits, or stays in the background.
    QTimer::singleShot(0, this, [this] {
        if (!windowShown() && !m_actions->uninstalled())
            m_background->lastWindowClosed();
    });
}

void AppDelegate::open(const QStringList& urls, const QStringList& cards)
{
    MainWindow* window = m_windows->active();
    if (!window)
        window = newWindow();
    window->bringToFront();
    for (const QString& url : urls)
        openUrl(QUrl(url));
    if (!cards.isEmpty())
        m_cards->importCardFiles(window, cards);
}

void AppDelegate::openUrl(const QUrl& url)
{
    MainWindow* window = m_windows->active();
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
    if (SceneController* scene = windowForFiles(m_windows->scenes(), files.first().user)) {
        selectFilesIn(*scene, files);
        if (MainWindow* window = m_windows->windowOf(scene))
            window->bringToFront();
        return;
    }
    QList<QUuid> found;
    for (const FileRow& file : files)
        found.append(file.id);
    openUrl(fileSelectionUrl(found));
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
        m_cards->chooseRecipients(window, preselected,
                                  [done = std::move(done)](const QList<QByteArray>& keys) { done(keys); });
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

void AppDelegate::quit()
{
    m_quitting = true;  // the windows close without asking
    QCoreApplication::quit();
}

}  // namespace brenvo
