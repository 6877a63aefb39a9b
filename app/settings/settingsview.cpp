#include "app/settings/settingsview.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QMessageBox>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>

namespace vortan {

namespace {

void chooseFolderWithDialog(QWidget* parent, std::function<void(std::optional<QString>)> done)
{
    auto* dialog = new QFileDialog(parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    dialog->setLabelText(QFileDialog::Accept, SettingsView::tr("Select", "accepts the chosen folder"));
    QObject::connect(dialog, &QFileDialog::finished, dialog, [dialog, done = std::move(done)](int result) {
        const QStringList chosen = dialog->selectedFiles();
        if (result == QDialog::Accepted && !chosen.isEmpty())
            done(chosen.first());
        else
            done(std::nullopt);
    });
    dialog->open();
}

QString sameFolder(const QString& path) { return QDir::cleanPath(QFileInfo(path).absoluteFilePath()); }

}  // namespace

SettingsView::SettingsView(AppSettings& settings, SettingsChange onSettingsChange, QWidget* parent)
    : QDialog(parent), m_settings(settings), m_onSettingsChange(std::move(onSettingsChange)),
      m_chooseFolder(chooseFolderWithDialog)
{
    setWindowTitle(tr("Settings"));
    setObjectName(QStringLiteral("settings"));

    m_checkForUpdates = new QCheckBox(tr("Check for updates automatically"), this);
    m_keepRunning = new QCheckBox(tr("Keep running when the window is closed"), this);
    m_startAtLogin = new QCheckBox(tr("Start Brenvo when you log in"), this);
    m_startAtLogin->hide();
    m_listen = new QCheckBox(tr("Listen for incoming connections"), this);
    m_mapPort = new QCheckBox(tr("Ask router to forward connections"), this);
    auto* caption = new QLabel(
        tr("Brenvo will ask your router to forward connections received on the listening port to this machine."), this);
    caption->setWordWrap(true);
    caption->setForegroundRole(QPalette::PlaceholderText);
    QFont small = caption->font();
    small.setPointSizeF(small.pointSizeF() * 0.85);
    caption->setFont(small);
    caption->setContentsMargins(24, 0, 0, 0);

    m_location = new QComboBox(this);
    m_location->setAccessibleName(tr("Download location:"));
    m_location->setMinimumContentsLength(24);
    auto* form = new QFormLayout;
    form->addRow(tr("Download location:"), m_location);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_checkForUpdates);
    layout->addWidget(m_keepRunning);
    layout->addWidget(m_startAtLogin);
    layout->addSpacing(8);
    layout->addWidget(m_listen);
    layout->addWidget(m_mapPort);
    layout->addWidget(caption);
    layout->addSpacing(8);
    layout->addLayout(form);
    layout->addStretch();
    layout->addSpacing(12);
    layout->addWidget(buttons);
    setMinimumWidth(440);

    showStored();

    connect(m_checkForUpdates, &QCheckBox::toggled, this, [this](bool on) { m_settings.setCheckForUpdates(on); });
    // toggled, not clicked: an assistive tool's Toggle action does not click.
    connect(m_keepRunning, &QCheckBox::toggled, this, [this](bool on) { m_settings.setKeepRunning(on); });
    connect(m_startAtLogin, &QCheckBox::toggled, this, &SettingsView::loginStartToggled);
    connect(m_listen, &QCheckBox::clicked, this, [this](bool on) {
        m_settings.setListen(on);
        networkToggled();
    });
    connect(m_mapPort, &QCheckBox::clicked, this, [this](bool on) {
        m_settings.setMapPort(on);
        networkToggled();
    });
    connect(m_location, &QComboBox::activated, this, &SettingsView::locationPicked);
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
        auto* alert = new QMessageBox(QMessageBox::Warning, tr("Brenvo could not change how it starts"),
                                      on ? tr("Brenvo could not arrange to start when you log in.")
                                         : tr("Brenvo could not stop starting when you log in."),
                                      QMessageBox::Ok, this);
        alert->setAttribute(Qt::WA_DeleteOnClose);
        // The reason names files and system errors: never rich text.
        alert->setInformativeText(*error);
        if (auto* label = alert->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
            label->setTextFormat(Qt::PlainText);
        alert->open();
    } else {
        m_settings.setStartAtLogin(on);
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
        m_settings.setDownloadLocation(picked);
        fillLocationPicker();
        return;
    }
    const DownloadLocationSetting before = m_settings.downloadLocation();
    m_chooseFolder(this, [this, before](std::optional<QString> folder) {
        if (folder) {
            const bool isDownloads = sameFolder(*folder) == sameFolder(downloadsDirectory());
            m_settings.setDownloadLocation(isDownloads ? DownloadLocationSetting::downloads()
                                                       : DownloadLocationSetting::other(sameFolder(*folder)));
            fillLocationPicker();
            return;
        }
        // Cancelled: leave "Other…" and show the choice from before.
        m_settings.setDownloadLocation(DownloadLocationSetting::otherMenuItem());
        QTimer::singleShot(0, this, [this, before] {
            m_settings.setDownloadLocation(before);
            fillLocationPicker();
        });
    });
}

}  // namespace vortan
