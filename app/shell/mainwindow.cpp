#include "app/shell/mainwindow.h"

#include "app/cards/cardactions.h"
#include "app/cards/cardfiles.h"
#include "app/files/filelistview.h"
#include "app/shell/appdelegate.h"
#include "app/shell/infobar.h"
#include "app/shell/personactions.h"
#include "app/shell/windowactions.h"
#include "app/shell/reasontext.h"
#include "app/shell/sidebarmodel.h"
#include "app/shell/sidebaroffer.h"
#include "app/shell/sidebarview.h"
#include "app/shell/welcomeview.h"

#include "vortan/controller.h"

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QTextDocument>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>

using vortan::Controller;
using vortan::User;

namespace brenvo {

namespace {

// Readable on the window (a contrast of at least 4.5:1), not the disabled grey.
QColor stateColor(const QPalette& palette, const User& user)
{
    const bool dark = palette.color(QPalette::Window).lightness() < 128;
    if (SidebarModel::available(user))
        return dark ? QColor(0x57, 0xd3, 0x6e) : QColor(0x1a, 0x7f, 0x37);
    return dark ? QColor(0xc0, 0xc0, 0xc0) : QColor(0x55, 0x55, 0x55);
}

QString connectTitle(User::State state)
{
    switch (state) {
    case User::State::connected: return MainWindow::tr("Disconnect");
    case User::State::connecting: return MainWindow::tr("Cancel");
    case User::State::notConnected: return MainWindow::tr("Connect");
    }
    return {};
}

}  // namespace

MainWindow::MainWindow(AppDelegate& app, QWidget* parent) : QMainWindow(parent), m_app(app)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("mainWindow"));
    resize(860, 560);

    m_sidebar = new SidebarView(this);
    m_detail = new QStackedWidget(this);
    m_welcome = new WelcomeView(m_detail);
    m_noUser = new QLabel(tr("No user selected."), m_detail);
    m_noUser->setAlignment(Qt::AlignCenter);
    m_noUser->setForegroundRole(QPalette::PlaceholderText);
    m_files = app.createFileList(*this);
    m_detail->addWidget(m_welcome);
    m_detail->addWidget(m_noUser);
    m_detail->addWidget(m_files);

    auto* columns = new QSplitter(Qt::Horizontal, this);
    columns->setChildrenCollapsible(false);
    columns->addWidget(m_sidebar);
    columns->addWidget(m_detail);
    columns->setStretchFactor(1, 1);
    columns->setSizes({220, 640});
    auto* central = new QWidget(this);
    auto* rows = new QVBoxLayout(central);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(0);
    m_infoBar = new InfoBar(central);
    rows->addWidget(m_infoBar);
    rows->addWidget(columns, 1);
    setCentralWidget(central);
    const auto showWarnings = [this] {
        m_infoBar->setMessages(m_app.warnings());
        m_infoBar->setImportOffered(m_app.warningsOfferImport());
    };
    showWarnings();
    connect(&app, &AppDelegate::warningsChanged, this, showWarnings);
    connect(m_infoBar, &InfoBar::dismissed, &app, &AppDelegate::dismissWarnings);
    connect(m_infoBar, &InfoBar::importRequested, this, [this] { m_app.cards().importCards(this); });

    m_toolbar = addToolBar(tr("Connection"));
    m_toolbar->setObjectName(QStringLiteral("connectionToolbar"));
    m_toolbar->setMovable(false);
    m_toolbar->toggleViewAction()->setVisible(false);
    // The window's title and subtitle, also where the window manager shows
    // no title bar.
    m_title = new QLabel(m_toolbar);
    m_title->setObjectName(QStringLiteral("windowTitle"));
    m_title->setContentsMargins(8, 0, 8, 0);
    m_toolbar->addWidget(m_title);
    auto* spacer = new QWidget(m_toolbar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_toolbar->addWidget(spacer);
    m_error = new QLabel(m_toolbar);
    m_error->setObjectName(QStringLiteral("userError"));
    m_error->setTextFormat(Qt::PlainText);  // the peer's or the network's words
    m_error->setContentsMargins(8, 0, 8, 0);
    // Red readable on the toolbar (a contrast of at least 4.5:1 either way).
    QPalette red = m_error->palette();
    const bool dark = red.color(QPalette::Window).lightness() < 128;
    red.setColor(QPalette::WindowText, dark ? QColor(0xff, 0x7b, 0x72) : QColor(0xc0, 0x1c, 0x28));
    m_error->setPalette(red);
    // A toolbar's widgets take its ButtonText otherwise.
    m_error->setForegroundRole(QPalette::WindowText);
    m_reasonTimer.setSingleShot(true);
    connect(&m_reasonTimer, &QTimer::timeout, this, &MainWindow::redraw);
    m_errorAction = m_toolbar->addWidget(m_error);
    m_connect = new QPushButton(m_toolbar);
    m_connect->setObjectName(QStringLiteral("connectButton"));
    m_toolbar->addWidget(m_connect);
    connect(m_connect, &QPushButton::clicked, this, &MainWindow::connectButtonClicked);

    m_actions = new WindowActions(*this, app);
    m_actions->addToMenuBar(menuBar());

    Controller& controller = app.controller();
    connect(&controller, &Controller::usersChanged, this, &MainWindow::redraw);
    connect(&controller, &Controller::meChanged, this, &MainWindow::redraw);
    connect(m_sidebar, &SidebarView::selectedKeyChanged, &m_scene, &SceneController::setSelectedUser);
    connect(&m_scene, &SceneController::selectedUserChanged, this, [this](const QByteArray& key) {
        m_sidebar->selectKey(key);
        redraw();
    });
    connect(m_files, &FileListView::selectedFilesChanged, &m_scene, &SceneController::setSelectedFiles);
    connect(&m_scene, &SceneController::selectedFilesChanged, this, [this](const QSet<QUuid>& ids) {
        if (ids != m_files->selectedFiles())
            m_files->selectFiles(ids);
    });
    connect(m_sidebar, &SidebarView::editMeRequested, this, [this] { m_app.cards().editMe(this); });
    connect(m_sidebar, &SidebarView::shareMeRequested, this, [this] { m_app.cards().shareMyCard(this); });
    connect(m_sidebar, &SidebarView::editUserRequested, this, [this](const QByteArray& key) { m_app.cards().editUser(this, key); });
    connect(m_sidebar, &SidebarView::removeUserRequested, this,
            [this](const QByteArray& key) { m_app.cards().confirmRemoveUser(this, key); });
    connect(m_sidebar, &SidebarView::cardsDropped, this,
            [this](const QStringList& paths) { m_app.cards().importCardFiles(this, paths); });
    connect(m_sidebar, &SidebarView::filesDroppedOnUser, this, [this](const QByteArray& key, const QList<QUrl>& urls) {
        offerFilesToUser(this, m_app.controller(), m_app.dialogs(), urls, key);
    });
    connect(m_sidebar, &SidebarView::shareFilesRequested, this, [this](const QByteArray& key) {
        m_scene.setSelectedUser(key);
        m_files->chooseFilesToOffer();
    });
    connect(m_sidebar, &SidebarView::shareFolderRequested, this, [this](const QByteArray& key) {
        m_scene.setSelectedUser(key);
        m_files->chooseFolderToOffer();
    });
    connect(m_sidebar, &SidebarView::connectionToggleRequested, this, [this](const QByteArray& key) {
        m_scene.setSelectedUser(key);
        connectButtonClicked();
    });
    connect(&controller, &Controller::filesChanged, m_sidebar,
            [this, &controller] { m_sidebar->setFileRows(controller.fileRows()); });
    m_sidebar->setFileRows(controller.fileRows());
    connect(m_welcome, &WelcomeView::exportCardRequested, this, [this] { m_app.cards().shareMyCard(this); });
    connect(m_welcome, &WelcomeView::importCardRequested, this, [this] { m_app.cards().importCards(this); });

    redraw();
}

MainWindow::~MainWindow() = default;

void MainWindow::redraw()
{
    const Controller& controller = m_app.controller();
    m_sidebar->setUsers(controller.me(), controller.users());
    const std::optional<User> user =
        m_scene.selectedUser().isEmpty() ? std::nullopt : controller.user(m_scene.selectedUser());
    m_toolbar->setVisible(user.has_value());
    if (m_actions)
        m_actions->setPersonShown(user.has_value());
    const QByteArray shown = user ? user->key : QByteArray();
    if (m_files->user() != shown)
        m_files->setUser(shown);
    if (user) {
        m_detail->setCurrentWidget(m_files);
        setWindowTitle(tr("%1 — %2").arg(displayName(user->name), SidebarModel::stateText(*user)));
        // not translated: markup around translated texts
        m_title->setText(QStringLiteral("<b>%1</b>&nbsp;&nbsp;<span style=\"color:%2\">%3</span>")
                             .arg(displayName(user->name).toHtmlEscaped(), stateColor(palette(), *user).name(),
                                  SidebarModel::stateText(*user)));
        m_title->setAccessibleName(windowTitle());
        const ReasonText reason = userReason(*user, QDateTime::currentDateTimeUtc()).value_or(ReasonText{});
        m_errorText = reason.text;
        m_errorDetail = reason.withDetail();
        fitError();
        m_error->setAccessibleName(reason.text);
        m_error->setAccessibleDescription(reason.detail);
        m_errorAction->setVisible(!reason.text.isEmpty());
        if (reason.changesAt)
            m_reasonTimer.start(int(std::clamp<qint64>(QDateTime::currentDateTimeUtc().msecsTo(*reason.changesAt), 0,
                                                       3'600'000)));
        else
            m_reasonTimer.stop();
        m_connect->setText(connectTitle(user->state));
        m_connect->setAccessibleName(connectTitle(user->state));
        return;
    }
    m_reasonTimer.stop();
    setWindowTitle(QStringLiteral("Brenvo"));
    m_detail->setCurrentWidget(controller.users().isEmpty() ? static_cast<QWidget*>(m_welcome) : m_noUser);
}

void MainWindow::fitError()
{
    // Half the window at most, so that Connect stays on the toolbar; the
    // whole text in the tooltip.
    const QString shown =
        m_error->fontMetrics().elidedText(m_errorText, Qt::ElideRight, std::max(160, width() / 2));
    m_error->setText(shown);
    m_error->setToolTip(shown != m_errorText || m_errorDetail != m_errorText ? Qt::convertFromPlainText(m_errorDetail)
                                                                             : QString());
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    if (!m_errorText.isEmpty())
        fitError();
}

void MainWindow::connectButtonClicked()
{
    Controller& controller = m_app.controller();
    const std::optional<User> user = controller.user(m_scene.selectedUser());
    if (!user)
        return;
    const QByteArray key = user->key;
    if (user->state == User::State::notConnected)
        controller.connectTo(key);
    else
        controller.disconnectFrom(key);
}

void MainWindow::deleteSelection()
{
    QWidget* focus = focusWidget();
    if (m_sidebar->isAncestorOf(focus) || focus == m_sidebar) {
        m_sidebar->personActions()->remove->trigger();  // off for the own card
        return;
    }
    m_files->removeSelected();
}

void MainWindow::bringToFront()
{
    // Back from the taskbar keeping its size: showNormal() would also undo
    // a maximised window.
    if (isMinimized())
        setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

void MainWindow::toggleSidebar() { m_sidebar->setVisible(!m_sidebar->isVisible()); }

void MainWindow::updatePhase()
{
    if (!isVisible() || isMinimized())
        m_scene.setPhase(SceneController::Phase::background);
    else if (isActiveWindow())
        m_scene.setPhase(SceneController::Phase::active);
    else
        m_scene.setPhase(SceneController::Phase::inactive);
}

void MainWindow::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange || event->type() == QEvent::WindowStateChange)
        updatePhase();
}

void MainWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    updatePhase();
}

void MainWindow::hideEvent(QHideEvent* event)
{
    QMainWindow::hideEvent(event);
    updatePhase();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (!m_app.mayClose(*this)) {
        event->ignore();
        return;
    }
    m_app.windowClosing(*this);
    QMainWindow::closeEvent(event);
}

}  // namespace brenvo
