#pragma once

#include "app/settings/downloadlocationsetting.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QSettings>
#include <QString>

#include <optional>

namespace brenvo {

// The program's preferences and remembered windows, in one settings file
// (the "com.halvinor.brenvo" domain). Every value is read afresh from the
// file when asked for, so several readers always agree.
class AppSettings : public QObject {
    Q_OBJECT
public:
    // $XDG_CONFIG_HOME/com.halvinor.brenvo/Brenvo.conf
    static QString defaultFilePath();

    explicit AppSettings(const QString& filePath = defaultFilePath(), QObject* parent = nullptr);

    QString filePath() const { return m_store.fileName(); }

    // The three switches; absent or not a Boolean counts as on.
    bool checkForUpdates() const;
    void setCheckForUpdates(bool on);
    bool listen() const;
    void setListen(bool on);
    bool mapPort() const;
    void setMapPort(bool on);
    // Reach people over the internet through Tor (absent: on; it takes
    // effect only where tor is installed).
    bool useTor() const;
    void setUseTor(bool on);
    // Users with something to transfer are connected without a click (absent: on).
    static const QString kConnectAutomatically;
    bool connectAutomatically() const;
    void setConnectAutomatically(bool on);

    // Closing the last window keeps the program running with its status
    // icon (absent: on).
    bool keepRunning() const;
    void setKeepRunning(bool on);
    // Started at login (the autostart entry is the program's to write; absent: off).
    bool startAtLogin() const;
    void setStartAtLogin(bool on);
    // The first close into the background has been announced (absent: no).
    bool backgroundNoticeShown() const;
    void setBackgroundNoticeShown(bool shown);

    // The own card's address as Brenvo filled it in, until the person
    // confirms the card (absent: none, or confirmed).
    QString proposedAddress() const;
    void setProposedAddress(const QString& address);
    // The card others hold no longer matches the own one (its port or its
    // address changed) until it is shared again (absent: no).
    bool cardOutdated() const;
    void setCardOutdated(bool outdated);

    DownloadLocationSetting downloadLocation() const;
    void setDownloadLocation(const DownloadLocationSetting& location);

    std::optional<QDateTime> lastUpdateCheck() const;
    void setLastUpdateCheck(const QDateTime& when);

    // One main window as it was at quit.
    struct Window {
        QByteArray geometry;      // QWidget::saveGeometry()
        QByteArray selectedUser;  // a user's key, or empty
        friend bool operator==(const Window&, const Window&) = default;
    };
    QList<Window> windows() const;
    void setWindows(const QList<Window>& windows);

    // Forgets everything and deletes the file (uninstall).
    void removeAll();
    // Writes pending changes to the file now.
    void sync() { m_store.sync(); }

signals:
    // A value changed through this object: the key's name ("Listen", …).
    void changed(const QString& key);

private:
    bool boolValue(const QString& key, bool absent = true) const;
    void setValue(const QString& key, const QVariant& value);

    mutable QSettings m_store;
};

}  // namespace brenvo
