#pragma once

#include "app/settings/downloadlocationsetting.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QSettings>
#include <QString>

#include <optional>

// Not translated: the settings' keys.
namespace brenvo {

class AppSettings;

// One preference of the settings file: its key, its type and its value
// when the file has none (or one that does not read as a T). setting()
// reads it afresh from the file, so several readers always agree;
// setting.set(value) writes it and reports the key through
// AppSettings::changed.
template <typename T> class Setting {
public:
    Setting(AppSettings& settings, const char* key, T absent = T())
        : m_settings(settings), m_key(QString::fromLatin1(key)), m_absent(std::move(absent))
    {
    }
    Setting(const Setting&) = delete;
    Setting& operator=(const Setting&) = delete;

    T operator()() const;
    void set(const T& value);
    // The key in the file ("Listen"), as AppSettings::changed reports it.
    const QString& key() const { return m_key; }

private:
    AppSettings& m_settings;
    const QString m_key;
    const T m_absent;
};

// The program's preferences and remembered windows, in one settings file
// (the "com.halvinor.brenvo" domain).
class AppSettings : public QObject {
    Q_OBJECT
public:
    // $XDG_CONFIG_HOME/com.halvinor.brenvo/Brenvo.conf
    static QString defaultFilePath();

    explicit AppSettings(const QString& filePath = defaultFilePath(), QObject* parent = nullptr);

    QString filePath() const { return m_store.fileName(); }

    // The three switches; Booleans are kept as the words true and false,
    // anything else counts as absent.
    Setting<bool> checkForUpdates{*this, "CheckForUpdates", true};
    Setting<bool> listen{*this, "Listen", true};
    Setting<bool> mapPort{*this, "MapPort", true};
    // Reach people over the internet through Tor (it takes effect only
    // where tor is installed).
    Setting<bool> useTor{*this, "UseTor", true};
    Setting<bool> useDirectConnection{*this, "UseDirectConnection", true};
    // Users with something to transfer are connected without a click.
    Setting<bool> connectAutomatically{*this, "ConnectAutomatically", true};
    // Closing the last window keeps the program running with its status icon.
    Setting<bool> keepRunning{*this, "KeepRunning", true};
    // Started at login (the autostart entry is the program's to write).
    Setting<bool> startAtLogin{*this, "StartAtLogin", false};
    // The first close into the background has been announced.
    Setting<bool> backgroundNoticeShown{*this, "BackgroundNoticeShown", false};
    // The own card's address as Brenvo filled it in, until the person
    // confirms the card (none: empty, and an empty one removes the key).
    Setting<QString> proposedAddress{*this, "ProposedAddress"};
    // The card others hold no longer matches the own one (its port or its
    // address changed) until it is shared again.
    Setting<bool> cardOutdated{*this, "CardOutdated", false};
    Setting<DownloadLocationSetting> downloadLocation{*this, "DownloadLocation", DownloadLocationSetting::downloads()};
    // Kept in UTC.
    Setting<std::optional<QDateTime>> lastUpdateCheck{*this, "LastUpdateCheck"};

    // One main window as it was at quit.
    struct Window {
        QByteArray geometry;      // QWidget::saveGeometry()
        QByteArray selectedUser;  // a user's key, or empty
        friend bool operator==(const Window&, const Window&) = default;
    };
    // An array of Geometry and SelectedUser (the key in hex).
    Setting<QList<Window>> windows{*this, "Windows"};

    // Forgets everything and deletes the file (uninstall).
    void removeAll();
    // Writes pending changes to the file now.
    void sync() { m_store.sync(); }

signals:
    // A value changed through this object: the key's name ("Listen", …).
    void changed(const QString& key);

private:
    template <typename T> friend class Setting;

    // How each type is kept under a key; a write returns whether it changed the file.
    static bool read(QSettings& store, const QString& key, bool absent);
    static bool write(QSettings& store, const QString& key, bool value);
    static QString read(QSettings& store, const QString& key, const QString& absent);
    static bool write(QSettings& store, const QString& key, const QString& value);
    static DownloadLocationSetting read(QSettings& store, const QString& key, const DownloadLocationSetting& absent);
    static bool write(QSettings& store, const QString& key, const DownloadLocationSetting& value);
    static std::optional<QDateTime> read(QSettings& store, const QString& key, const std::optional<QDateTime>& absent);
    static bool write(QSettings& store, const QString& key, const std::optional<QDateTime>& value);
    static QList<Window> read(QSettings& store, const QString& key, const QList<Window>& absent);
    static bool write(QSettings& store, const QString& key, const QList<Window>& value);

    mutable QSettings m_store;
};

template <typename T> T Setting<T>::operator()() const
{
    return AppSettings::read(m_settings.m_store, m_key, m_absent);
}

template <typename T> void Setting<T>::set(const T& value)
{
    if (AppSettings::write(m_settings.m_store, m_key, value))
        emit m_settings.changed(m_key);
}

}  // namespace brenvo
