#include "app/settings/appsettings.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

// Not translated: the settings' keys.
namespace brenvo {

namespace {
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

bool AppSettings::read(QSettings& store, const QString& key, bool absent)
{
    const QVariant value = store.value(key);
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

bool AppSettings::write(QSettings& store, const QString& key, bool value)
{
    store.setValue(key, value);
    return true;
}

QString AppSettings::read(QSettings& store, const QString& key, const QString& absent)
{
    return store.value(key, absent).toString();
}

bool AppSettings::write(QSettings& store, const QString& key, const QString& value)
{
    if (!value.isEmpty()) {
        store.setValue(key, value);
        return true;
    }
    if (!store.contains(key))
        return false;
    store.remove(key);
    return true;
}

DownloadLocationSetting AppSettings::read(QSettings& store, const QString& key, const DownloadLocationSetting& absent)
{
    return store.contains(key) ? DownloadLocationSetting::fromRawValue(store.value(key).toString()) : absent;
}

bool AppSettings::write(QSettings& store, const QString& key, const DownloadLocationSetting& value)
{
    store.setValue(key, value.rawValue());
    return true;
}

std::optional<QDateTime> AppSettings::read(QSettings& store, const QString& key,
                                           const std::optional<QDateTime>& absent)
{
    const QDateTime when = store.value(key).toDateTime();
    return when.isValid() ? std::optional(when) : absent;
}

bool AppSettings::write(QSettings& store, const QString& key, const std::optional<QDateTime>& value)
{
    if (!value)
        store.remove(key);
    else
        store.setValue(key, value->toUTC());
    return true;
}

QList<AppSettings::Window> AppSettings::read(QSettings& store, const QString& key, const QList<Window>& absent)
{
    QList<Window> windows;
    const int count = std::min(store.beginReadArray(key), kMaxWindows);
    for (int i = 0; i < count; ++i) {
        store.setArrayIndex(i);
        windows.append({store.value(kGeometry).toByteArray(),
                        QByteArray::fromHex(store.value(kSelectedUser).toByteArray())});
    }
    store.endArray();
    return count > 0 ? windows : absent;
}

bool AppSettings::write(QSettings& store, const QString& key, const QList<Window>& windows)
{
    store.remove(key);
    store.beginWriteArray(key, int(windows.size()));
    for (int i = 0; i < windows.size(); ++i) {
        store.setArrayIndex(i);
        store.setValue(kGeometry, windows[i].geometry);
        store.setValue(kSelectedUser, QString::fromLatin1(windows[i].selectedUser.toHex()));
    }
    store.endArray();
    return true;
}

void AppSettings::removeAll()
{
    m_store.clear();
    m_store.sync();
    QFile::remove(m_store.fileName());
}

}  // namespace brenvo
