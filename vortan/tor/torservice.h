#pragma once

#include "vortan/reachability.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QLocalServer>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

class QTcpSocket;

namespace vortan {

class TorControl;
class TorProcess;
struct TorReply;

// Brenvo's path through Tor: a tor of its own (or one already running,
// through its control socket), an onion service that only the user's
// contacts can reach, and the client keys that let us reach theirs.
//
// Everyone's onion address follows from the public key on their card, and
// the keys tor is given are derived from the identity (see OnionKeys):
// nothing is exchanged and nothing new is stored. Connections arriving
// through the service come in on a Unix-domain socket of ours and are handed
// to acceptedHandler like any other.
class TorService : public QObject {
    Q_OBJECT
public:
    // The port contacts' calls go to on an onion address.
    static constexpr quint16 kVirtualPort = 54322;

    struct Options {
        bool enabled = false;
        // An already running tor's control socket; empty: start our own.
        QString controlSocket;
        // Lines added to our own tor's torrc.
        QString extraTorrc;
        // Our own tor's data directory, and where the service's socket goes.
        QString directory;
        QString program = QStringLiteral("tor");
    };
    // The keys, derived from the identity.
    struct Keys {
        // Our service's expanded secret key (64 bytes).
        std::function<QByteArray()> serviceSecretKey;
        // A contact's onion address ("….onion") from their public key.
        std::function<QString(const QByteArray& contact)> onionAddressOf;
        // Our client key for a contact's service (32 bytes, X25519 private).
        std::function<QByteArray(const QByteArray& contact)> clientKeyFor;
        // The contact's client key for our service (32 bytes, X25519 public).
        std::function<QByteArray(const QByteArray& contact)> authorizedKeyOf;
    };
    using AcceptedHandler = std::function<void(QTcpSocket* socket)>;

    TorService(Options options, Keys keys, AcceptedHandler acceptedHandler, QObject* parent = nullptr);
    ~TorService() override;

    void start();
    void stop();

    Reachability::Tor state() const { return m_state; }
    int progress() const { return m_progress; }
    QString error() const { return m_error; }
    // Where calls through tor go; empty while tor cannot take them.
    QString socksPath() const;
    // A connection through tor worked: a tor that ends is started again soon.
    void connectionWorked();

    // The contacts: who may reach our service, and whose services we reach.
    void setContacts(const QList<QByteArray>& keys);
    // Whether our service is published (while listening).
    void setPublishing(bool on);

signals:
    void stateChanged();

private:
    void controlReady();
    void controlFailed(const QString& reason);
    void connectControl(const QString& path);
    void handleEvent(const TorReply& event);
    void takeProgress(const QByteArray& status);
    void syncClientKeys();
    void republish();
    void publish();
    void setState(Reachability::Tor state, const QString& error = {});

    Options m_options;
    Keys m_keys;
    AcceptedHandler m_acceptedHandler;
    std::unique_ptr<TorProcess> m_process;
    std::unique_ptr<TorControl> m_control;
    std::unique_ptr<QLocalServer> m_incoming;
    QString m_socksPath;
    Reachability::Tor m_state = Reachability::Tor::off;
    int m_progress = 0;
    QString m_error;
    QList<QByteArray> m_contacts;
    QHash<QByteArray, QString> m_clientKeysAdded;  // contact → onion address tor has our key for
    bool m_publishing = false;
    QString m_serviceId;        // the published service, without ".onion"
    QTimer m_republish;         // contacts change in bursts: one new service after them
    bool m_publishInFlight = false;
    bool m_descriptorUploaded = false;  // the current service reached the directories
};

}  // namespace vortan
