#include "app/settings/settingsview.h"

#include "app/texts/librarytexts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QSignalBlocker>
#include <QTimer>
#include <QPointer>
#include <QVBoxLayout>

#include <cerrno>

using vortan::ListenerState;
using vortan::Reachability;

namespace brenvo {

namespace {

QString sameFolder(const QString& path) { return QDir::cleanPath(QFileInfo(path).absoluteFilePath()); }

QLabel* captionLabel(const QString& text, QWidget* parent)
{
    auto* caption = new QLabel(text, parent);
    caption->setWordWrap(true);
    caption->setForegroundRole(QPalette::PlaceholderText);
    QFont small = caption->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    caption->setFont(small);
    caption->setContentsMargins(24, 0, 0, 0);
    return caption;
}

// A state told in words that may hold a system's or a router's text.
QLabel* stateLabel(const QString& objectName, QWidget* parent)
{
    auto* label = new QLabel(parent);
    label->setObjectName(objectName);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    return label;
}

bool portTaken(const vortan::VortanError& error)
{
    if (const vortan::NetworkError* network = error.networkError())
        return network->kind == vortan::NetworkError::Kind::posix && network->code == EADDRINUSE;
    if (const vortan::OtherError* other = error.otherError())
        return other->posixCode == EADDRINUSE;
    return false;
}

QString portNumber(const std::optional<std::uint16_t>& port) { return port ? QString::number(*port) : QString(); }

}  // namespace

SettingsView::SettingsView(AppSettings& settings, Dialogs& dialogs, SettingsChange onSettingsChange, QWidget* parent)
    : QDialog(parent), m_settings(settings), m_onSettingsChange(std::move(onSettingsChange)), m_dialogs(dialogs)
{
    setWindowTitle(tr("Settings"));
    setObjectName(QStringLiteral("settings"));

    m_checkForUpdates = new QCheckBox(tr("Check for updates automatically"), this);
    m_keepRunning = new QCheckBox(tr("Keep running when the window is closed"), this);
    m_startAtLogin = new QCheckBox(tr("Start Brenvo when you log in"), this);
    m_startAtLogin->hide();
    QWidget* reach = buildReachSection();

    m_location = new QComboBox(this);
    m_location->setAccessibleName(tr("Download location:"));
    m_location->setMinimumContentsLength(24);
    auto* form = new QFormLayout;
    form->addRow(tr("Download location:"), m_location);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    // Return applies the port typed and keeps the window, to tell how it went;
    // Escape closes.
    buttons->button(QDialogButtonBox::Close)->setAutoDefault(false);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_checkForUpdates);
    layout->addWidget(m_keepRunning);
    layout->addWidget(m_startAtLogin);
    layout->addSpacing(8);
    layout->addWidget(reach);
    layout->addSpacing(8);
    layout->addLayout(form);
    layout->addStretch();
    layout->addSpacing(12);
    layout->addWidget(buttons);
    setMinimumWidth(440);

    showStored();

    connect(m_checkForUpdates, &QCheckBox::toggled, this, [this](bool on) { m_settings.checkForUpdates.set(on); });
    // toggled, not clicked: an assistive tool's Toggle action does not click.
    connect(m_keepRunning, &QCheckBox::toggled, this, [this](bool on) { m_settings.keepRunning.set(on); });
    connect(m_startAtLogin, &QCheckBox::toggled, this, &SettingsView::loginStartToggled);
    connect(m_listen, &QCheckBox::clicked, this, [this](bool on) {
        m_settings.listen.set(on);
        networkToggled();
    });
    connect(m_mapPort, &QCheckBox::clicked, this, [this](bool on) {
        m_settings.mapPort.set(on);
        networkToggled();
    });
    connect(m_useTor, &QCheckBox::toggled, this, [this](bool on) {
        m_settings.useTor.set(on);
        if (m_torChange)
            m_torChange(on);
        showReach();
    });
    connect(m_useDirect, &QCheckBox::toggled, this, [this](bool on) {
        m_settings.useDirectConnection.set(on);
        if (m_directChange)
            m_directChange(on);
    });
    connect(m_connectAutomatically, &QCheckBox::toggled, this,
            [this](bool on) { m_settings.connectAutomatically.set(on); });
    connect(m_port, &QLineEdit::editingFinished, this, &SettingsView::portEdited);
    connect(m_location, &QComboBox::activated, this, &SettingsView::locationPicked);
}

QWidget* SettingsView::buildReachSection()
{
    auto* group = new QGroupBox(tr("How others reach you"), this);
    group->setObjectName(QStringLiteral("reach"));
    m_listen = new QCheckBox(tr("Listen for incoming connections"), group);
    m_port = new QLineEdit(group);
    m_port->setObjectName(QStringLiteral("listeningPort"));
    m_port->setAccessibleName(tr("Listening port"));
    m_port->setValidator(new QIntValidator(1, 65535, m_port));
    m_port->setInputMethodHints(Qt::ImhDigitsOnly);
    m_port->setMaxLength(5);
    m_port->setMaximumWidth(m_port->fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 16);
    m_listenerState = stateLabel(QStringLiteral("listenerState"), group);
    m_mapPort = new QCheckBox(tr("Ask router to forward connections"), group);
    m_routerState = stateLabel(QStringLiteral("routerState"), group);
    m_presenceState = stateLabel(QStringLiteral("presenceState"), group);
    m_useTor = new QCheckBox(tr("Reach people over the internet through Tor"), group);
    m_useTor->setObjectName(QStringLiteral("useTor"));
    m_torState = stateLabel(QStringLiteral("torState"), group);
    m_useDirect = new QCheckBox(tr("Use a direct connection when possible"), group);
    m_useDirect->setObjectName(QStringLiteral("useDirectConnection"));
    m_connectAutomatically = new QCheckBox(tr("Connect automatically"), group);
    m_cardAddress = stateLabel(QStringLiteral("cardAddress"), group);
    m_cardAddress->setAccessibleDescription(tr("Others connect to"));
    m_outdated = new QWidget(group);
    m_outdated->setObjectName(QStringLiteral("cardOutdated"));
    m_outdated->hide();
    auto* outdatedText = new QLabel(tr("The card others hold is now out of date."), m_outdated);
    outdatedText->setWordWrap(true);
    auto* share = new QPushButton(tr("Share My Card…"), m_outdated);
    share->setAccessibleName(tr("Share My Card…"));
    share->setAutoDefault(false);
    connect(share, &QPushButton::clicked, this, [this] {
        if (m_shareCard)
            m_shareCard();
    });
    auto* outdatedRow = new QHBoxLayout(m_outdated);
    outdatedRow->setContentsMargins(24, 0, 0, 0);
    outdatedRow->addWidget(outdatedText, 1);
    outdatedRow->addWidget(share);
    connect(&m_settings, &AppSettings::changed, this, [this](const QString& key) {
        if (key == m_settings.cardOutdated.key())
            showReach();
    });

    // The port with its state beside it; then the states of the router and
    // of the local network, aligned.
    auto* portRow = new QHBoxLayout;
    portRow->addWidget(m_port);
    portRow->addWidget(m_listenerState, 1);
    auto* listening = new QFormLayout;
    listening->setContentsMargins(24, 0, 0, 0);
    listening->addRow(tr("Port:"), portRow);
    auto* states = new QFormLayout;
    states->setContentsMargins(24, 0, 0, 0);
    states->addRow(tr("Router:"), m_routerState);
    states->addRow(tr("Local network:"), m_presenceState);
    m_routerState->setAccessibleDescription(tr("Router"));
    m_presenceState->setAccessibleDescription(tr("Local network"));
    states->addRow(tr("Through Tor:"), m_torState);
    m_torState->setAccessibleDescription(tr("Through Tor"));

    auto* layout = new QVBoxLayout(group);
    layout->addWidget(m_listen);
    layout->addLayout(listening);
    layout->addWidget(m_mapPort);
    layout->addWidget(captionLabel(
        tr("Brenvo will ask your router to forward connections received on the listening port to this machine."),
        group));
    states->addRow(tr("Others connect to:"), m_cardAddress);
    layout->addLayout(states);
    layout->addWidget(m_useTor);
    layout->addWidget(captionLabel(tr("People who have your card reach you through the Tor network wherever they are, "
                                      "and only they can: no router settings, no server in between."),
                                   group));
    layout->addWidget(m_useDirect);
    layout->addWidget(captionLabel(tr("Tells the people you reach through Tor your addresses, so that files can go "
                                      "straight between your machines where the networks allow it."),
                                   group));
    layout->addWidget(m_outdated);
    layout->addWidget(m_connectAutomatically);
    layout->addWidget(captionLabel(tr("Connects to people when there are files to send or receive, and tries again "
                                      "after a failure."),
                                   group));
    return group;
}

QString SettingsView::listenerText(const Reach& reach, bool listen)
{
    using Kind = ListenerState::Kind;
    const QString port = portNumber(reach.port);
    if (!listen)
        return tr("Not listening");
    switch (reach.listener.kind()) {
    case Kind::ready: return tr("Listening on port %1").arg(port);
    case Kind::stopped: return reach.port ? tr("Not listening") : tr("Not listening: your card has no port");
    case Kind::failed:
        if (reach.listener.error() && portTaken(*reach.listener.error()))
            return tr("Port %1 is in use by another program").arg(port);
        return tr("Not listening: %1")
            .arg(reach.listener.error() ? errorText(*reach.listener.error()) : tr("unknown error"));
    }
    return {};
}

QString SettingsView::routerText(const Reach& reach, bool mapPort)
{
    using Router = Reachability::Router;
    const Reachability& r = reach.reachability;
    if (!mapPort || r.router == Router::off)
        return tr("Not asked to forward connections");
    switch (r.router) {
    case Router::off: break;
    case Router::searching: return tr("Asking the router…");
    case Router::forwarded:
        return r.externalAddress.isEmpty()
                   ? tr("Forwarding port %1 to this machine").arg(portNumber(reach.port))
                   : tr("Forwarding port %1 to this machine; your address on the internet is %2")
                         .arg(portNumber(reach.port), r.externalAddress);
    case Router::failed:
        return r.routerError.isEmpty() ? tr("No forwarding: no router answered")
                                       : tr("No forwarding: %1").arg(libraryText(r.routerError));
    }
    return {};
}

QString SettingsView::presenceText(Reachability::Presence presence)
{
    switch (presence) {
    case Reachability::Presence::on: return tr("Others on your network can find you");
    case Reachability::Presence::off: return tr("Off");
    case Reachability::Presence::noResponder:
        return tr("No mDNS responder (avahi-daemon) is running; others on your network can't find you automatically.");
    }
    return {};
}

QString SettingsView::torText(const Reachability& reachability, bool on)
{
    using Tor = Reachability::Tor;
    if (reachability.tor == Tor::notInstalled)
        return tr("tor is not installed");
    if (!on || reachability.tor == Tor::off)
        return tr("off");
    switch (reachability.tor) {
    case Tor::ready: return tr("ready");
    case Tor::starting: return tr("connecting, %1 %").arg(QLocale().toString(reachability.torProgress));
    case Tor::failed:
        return reachability.torError.isEmpty() ? tr("not available") : tr("not available: %1").arg(libraryText(reachability.torError));
    case Tor::off:
    case Tor::notInstalled: break;
    }
    return {};
}

QString SettingsView::cardAddressText(const Reach& reach)
{
    if (reach.address.isEmpty())
        return tr("Your card has no address: others can't connect to you with it");
    // host:port as a person types it, IPv6 in brackets.
    const QString host =
        reach.address.contains(QLatin1Char(':')) ? QLatin1Char('[') + reach.address + QLatin1Char(']') : reach.address;
    const QString endpoint = reach.port ? host + QLatin1Char(':') + portNumber(reach.port) : host;
    return reach.addressProposed ? tr("%1 (proposed: confirm it with Share My Card…)").arg(endpoint) : endpoint;
}

void SettingsView::setReach(const Reach& reach)
{
    m_reach = reach;
    showReach();
}

void SettingsView::showReach()
{
    if (!m_port->hasFocus())
        m_port->setText(portNumber(m_reach.port));
    const auto show = [](QLabel* label, const QString& text) {
        label->setText(text);
        label->setAccessibleName(text);
    };
    show(m_listenerState, listenerText(m_reach, m_settings.listen()));
    QPalette colours = palette();
    if (m_settings.listen() && m_reach.listener.kind() == ListenerState::Kind::failed) {
        const bool dark = colours.color(QPalette::Window).lightness() < 128;
        colours.setColor(QPalette::WindowText, dark ? QColor(0xff, 0x7b, 0x72) : QColor(0xc0, 0x1c, 0x28));
    }
    m_listenerState->setPalette(colours);
    show(m_routerState, routerText(m_reach, m_settings.listen() && m_settings.mapPort()));
    show(m_presenceState, presenceText(m_reach.reachability.presence));
    show(m_cardAddress, cardAddressText(m_reach));
    show(m_torState, torText(m_reach.reachability, m_settings.useTor()));
    m_outdated->setVisible(m_settings.cardOutdated());
}

void SettingsView::portEdited()
{
    bool ok = false;
    const int port = m_port->text().toInt(&ok);
    if (ok && port >= 1 && port <= 65535 && std::optional<std::uint16_t>(std::uint16_t(port)) != m_reach.port) {
        if (m_portChange)
            m_portChange(std::uint16_t(port));
        return;
    }
    m_port->setText(portNumber(m_reach.port));  // nothing usable: the port as it is
}

void SettingsView::showStored()
{
    m_checkForUpdates->setChecked(m_settings.checkForUpdates());
    {
        const QSignalBlocker quiet(m_keepRunning);
        const QSignalBlocker quietToo(m_startAtLogin);
        m_keepRunning->setChecked(m_settings.keepRunning());
        if (m_loginStart.enabled)
            m_startAtLogin->setChecked(m_loginStart.enabled());
    }
    const bool listen = m_settings.listen();
    m_listen->setChecked(listen);
    // Without listening there is nothing to forward: the switch reads off and
    // keeps the stored choice for when listening comes back.
    m_mapPort->setEnabled(listen);
    m_mapPort->setChecked(listen && m_settings.mapPort());
    m_port->setEnabled(listen);
    {
        const QSignalBlocker quiet(m_connectAutomatically);
        m_connectAutomatically->setChecked(m_settings.connectAutomatically());
    }
    {
        const QSignalBlocker quiet(m_useTor);
        m_useTor->setChecked(m_settings.useTor());
    }
    {
        const QSignalBlocker quiet(m_useDirect);
        m_useDirect->setChecked(m_settings.useDirectConnection());
    }
    showReach();
    fillLocationPicker();
}

void SettingsView::setLoginStart(LoginStart loginStart)
{
    m_loginStart = std::move(loginStart);
    m_startAtLogin->setVisible(m_loginStart.enabled && m_loginStart.set);
    showStored();
}

void SettingsView::loginStartToggled(bool on)
{
    if (!m_loginStart.set)
        return;
    if (const std::optional<QString> error = m_loginStart.set(on)) {
        // The reason names files and system errors: shown as plain text.
        m_dialogs.tell(this, Alert{Alert::Kind::warning, tr("Brenvo could not change how it starts"),
                                   on ? tr("Brenvo could not arrange to start when you log in.")
                                      : tr("Brenvo could not stop starting when you log in."),
                                   *error, {}});
    } else {
        m_settings.startAtLogin.set(on);
    }
    showStored();
}

void SettingsView::networkToggled()
{
    showStored();
    if (m_onSettingsChange)
        m_onSettingsChange(m_settings.listen(), m_settings.mapPort());
}

void SettingsView::fillLocationPicker()
{
    m_filling = true;
    m_location->clear();
    const QFileIconProvider icons;
    const DownloadLocationSetting stored = m_settings.downloadLocation();
    if (stored.kind() == DownloadLocationSetting::Kind::other) {
        const QFileInfo folder(stored.folder());
        const QString name = folder.fileName().isEmpty() ? stored.folder() : folder.fileName();
        m_location->addItem(icons.icon(QFileIconProvider::Folder), name, stored.rawValue());
        m_location->setItemData(0, stored.folder(), Qt::ToolTipRole);
    }
    const QFileInfo downloads(downloadsDirectory());
    m_location->addItem(icons.icon(downloads), downloads.fileName(), DownloadLocationSetting::downloads().rawValue());
    m_location->insertSeparator(m_location->count());
    m_location->addItem(tr("Ask for each download"), DownloadLocationSetting::ask().rawValue());
    m_location->addItem(tr("Other…"), DownloadLocationSetting::otherMenuItem().rawValue());
    m_location->setCurrentIndex(m_location->findData(stored.rawValue()));
    m_filling = false;
}

void SettingsView::locationPicked(int index)
{
    if (m_filling || index < 0)
        return;
    const DownloadLocationSetting picked = DownloadLocationSetting::fromRawValue(m_location->itemData(index).toString());
    if (picked.kind() != DownloadLocationSetting::Kind::otherMenuItem) {
        m_settings.downloadLocation.set(picked);
        fillLocationPicker();
        return;
    }
    const DownloadLocationSetting before = m_settings.downloadLocation();
    FileDialogOptions options;
    options.acceptLabel = tr("Select", "accepts the chosen folder");
    m_dialogs.chooseFolder(this, options, [this, self = QPointer(this), before](std::optional<QString> folder) {
        if (!self)
            return;
        if (folder) {
            const bool isDownloads = sameFolder(*folder) == sameFolder(downloadsDirectory());
            m_settings.downloadLocation.set(isDownloads ? DownloadLocationSetting::downloads()
                                                       : DownloadLocationSetting::other(sameFolder(*folder)));
            fillLocationPicker();
            return;
        }
        // Cancelled: leave "Other…" and show the choice from before.
        m_settings.downloadLocation.set(DownloadLocationSetting::otherMenuItem());
        QTimer::singleShot(0, this, [this, before] {
            m_settings.downloadLocation.set(before);
            fillLocationPicker();
        });
    });
}

}  // namespace brenvo
