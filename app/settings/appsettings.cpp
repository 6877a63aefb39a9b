#include "app/settings/appsettings.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

// Not translated: the settings' keys.
namespace brenvo {

namespace {
const QString kCheckForUpdates = QStringLiteral("CheckForUpdates");
const QString kListen = QStringLiteral("Listen");
const QString kMapPort = QStringLiteral("MapPort");
const QString kUseTor = QStringLiteral("UseTor");
const QString kDownloadLocation = QStringLiteral("DownloadLocation");
const QString kKeepRunning = QStringLiteral("KeepRunning");
const QString kStartAtLogin = QStringLiteral("StartAtLogin");
const QString kBackgroundNoticeShown = QStringLiteral("BackgroundNoticeShown");
const QString kProposedAddress = QStringLiteral("ProposedAddress");
const QString kCardOutdated = QStringLiteral("CardOutdated");
const QString kLastUpdateCheck = QStringLiteral("LastUpdateCheck");
const QString kWindows = QStringLiteral("Windows");
const QString kGeometry = QStringLiteral("Geometry");
const QString kSelectedUser = QStringLiteral("SelectedUser");
// Restoring more windows than this is a damaged file, not a person's desk.
constexpr int kMaxWindows = 32;
}  // namespace

QString AppSettings::defaultFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/com.halvinor.brenvo/Brenvo.conf");
}

AppSettings::AppSettings(const QString& filePath, QObject* parent)
    : QObject(parent), m_store(filePath, QSettings::IniFormat)
{
}

bool AppSettings::boolValue(const QString& key, bool absent) const
{
    const QVariant value = m_store.value(key);
    // The file keeps Booleans as the words true and false; anything else
    // (absent, a number, a damaged line) counts as the default.
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    const QString text = value.toString();
    if (text == QLatin1String("false"))
        return false;
    if (text == QLatin1String("true"))
        return true;
    return absent;
}

void AppSettings::setValue(const QString& key, const QVariant& value)
{
    m_store.setValue(key, value);
    emit changed(key);
}

bool AppSettings::checkForUpdates() const { return boolValue(kCheckForUpdates); }
void AppSettings::setCheckForUpdates(bool on) { setValue(kCheckForUpdates, on); }
bool AppSettings::listen() const { return boolValue(kListen); }
void AppSettings::setListen(bool on) { setValue(kListen, on); }
bool AppSettings::mapPort() const { return boolValue(kMapPort); }
void AppSettings::setMapPort(bool on) { setValue(kMapPort, on); }
bool AppSettings::useTor() const { return boolValue(kUseTor); }
void AppSettings::setUseTor(bool on) { setValue(kUseTor, on); }
const QString AppSettings::kConnectAutomatically = QStringLiteral("ConnectAutomatically");

bool AppSettings::connectAutomatically() const { return boolValue(kConnectAutomatically); }
void AppSettings::setConnectAutomatically(bool on) { setValue(kConnectAutomatically, on); }
bool AppSettings::keepRunning() const { return boolValue(kKeepRunning); }
void AppSettings::setKeepRunning(bool on) { setValue(kKeepRunning, on); }
bool AppSettings::startAtLogin() const { return boolValue(kStartAtLogin, false); }
void AppSettings::setStartAtLogin(bool on) { setValue(kStartAtLogin, on); }
bool AppSettings::backgroundNoticeShown() const { return boolValue(kBackgroundNoticeShown, false); }
void AppSettings::setBackgroundNoticeShown(bool shown) { setValue(kBackgroundNoticeShown, shown); }
QString AppSettings::proposedAddress() const { return m_store.value(kProposedAddress).toString(); }
void AppSettings::setProposedAddress(const QString& address)
{
    if (address.isEmpty()) {
        if (m_store.contains(kProposedAddress)) {
            m_store.remove(kProposedAddress);
            emit changed(kProposedAddress);
        }
        return;
    }
    setValue(kProposedAddress, address);
}
bool AppSettings::cardOutdated() const { return boolValue(kCardOutdated, false); }
void AppSettings::setCardOutdated(bool outdated) { setValue(kCardOutdated, outdated); }

DownloadLocationSetting AppSettings::downloadLocation() const
{
    return DownloadLocationSetting::fromRawValue(m_store.value(kDownloadLocation).toString());
}

void AppSettings::setDownloadLocation(const DownloadLocationSetting& location)
{
    setValue(kDownloadLocation, location.rawValue());
}

std::optional<QDateTime> AppSettings::lastUpdateCheck() const
{
    const QDateTime when = m_store.value(kLastUpdateCheck).toDateTime();
    if (!when.isValid())
        return std::nullopt;
    return when;
}

void AppSettings::setLastUpdateCheck(const QDateTime& when) { setValue(kLastUpdateCheck, when.toUTC()); }

QList<AppSettings::Window> AppSettings::windows() const
{
    QList<Window> windows;
    const int count = std::min(m_store.beginReadArray(kWindows), kMaxWindows);
    for (int i = 0; i < count; ++i) {
        m_store.setArrayIndex(i);
        windows.append({m_store.value(kGeometry).toByteArray(),
                        QByteArray::fromHex(m_store.value(kSelectedUser).toByteArray())});
    }
    m_store.endArray();
    return windows;
}

void AppSettings::setWindows(const QList<Window>& windows)
{
    m_store.remove(kWindows);
    m_store.beginWriteArray(kWindows, int(windows.size()));
    for (int i = 0; i < windows.size(); ++i) {
        m_store.setArrayIndex(i);
        m_store.setValue(kGeometry, windows[i].geometry);
        m_store.setValue(kSelectedUser, QString::fromLatin1(windows[i].selectedUser.toHex()));
    }
    m_store.endArray();
    emit changed(kWindows);
}

void AppSettings::removeAll()
{
    m_store.clear();
    m_store.sync();
    QFile::remove(m_store.fileName());
}

}  // namespace brenvo
