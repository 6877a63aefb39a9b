#pragma once

#include <QObject>
#include <QString>

namespace vortan {

// How much network the machine has, from either source.
enum class NetworkLevel { none, local, site, online };
// QNetworkInformation::Reachability's value as a level.
NetworkLevel reachabilityLevel(int reachability);
// NetworkManager's NMState as a level.
NetworkLevel networkManagerLevel(uint state);
// Whether the watcher reports going from previous to now: a network is
// there (a local one counts) and it is not the same as before.
bool networkChangeReported(NetworkLevel previous, NetworkLevel now);

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
    NetworkLevel m_last = NetworkLevel::none;
};

}  // namespace vortan
