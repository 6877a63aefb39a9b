#pragma once

#include <QObject>
#include <QString>

namespace vortan {

// Tells when the machine's network changes (a link comes up or goes, the
// machine moves to another network): through QNetworkInformation when one
// of its backends loads, else through NetworkManager's StateChanged signal
// on the system bus. Without either, it never reports.
class NetworkWatcher : public QObject {
    Q_OBJECT
public:
    explicit NetworkWatcher(QObject* parent = nullptr);

    // Starts following; returns what it follows ("NetworkManager", a
    // QNetworkInformation backend's name), empty when nothing.
    QString start();

signals:
    void changed();

private slots:
    void networkManagerStateChanged(uint state);

private:
    int m_lastReachability = -1;
    uint m_lastState = 0;
};

}  // namespace vortan
