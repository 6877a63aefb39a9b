#include "vortan/tor/torservice.h"

#include "vortan/log.h"
#include "vortan/tor/onionkeys.h"
#include "vortan/tor/torcontrol.h"
#include "vortan/tor/torprocess.h"

#include <QDir>
#include <QFile>
#include <QTcpSocket>

#include <algorithm>

namespace vortan {
namespace {

// Hands each connection tor makes to our service on as a socket of its own.
class IncomingServer : public QLocalServer {
public:
    explicit IncomingServer(TorService::AcceptedHandler handler) : m_handler(std::move(handler)) {}

protected:
    void incomingConnection(quintptr descriptor) override
    {
        auto* socket = new QTcpSocket;
        if (!socket->setSocketDescriptor(qintptr(descriptor), QAbstractSocket::ConnectedState)) {
            ::close(int(descriptor));
            delete socket;
            return;
        }
        m_handler(socket);
    }

private:
    TorService::AcceptedHandler m_handler;
};

QByteArray withoutSuffix(const QString& onion)
{
    QString host = onion;
    if (host.endsWith(QLatin1String(".onion")))
        host.chop(6);
    return host.toLatin1();
}

}  // namespace

TorService::TorService(Options options, Keys keys, AcceptedHandler acceptedHandler, QObject* parent)
    : QObject(parent), m_options(std::move(options)), m_keys(std::move(keys)), m_acceptedHandler(std::move(acceptedHandler))
{
    m_republish.setSingleShot(true);
    m_republish.setInterval(500);
    connect(&m_republish, &QTimer::timeout, this, &TorService::publish);
}

TorService::~TorService()
{
    stop();
}

QString TorService::socksPath() const
{
    return m_control && m_control->isReady() ? m_socksPath : QString();
}

void TorService::start()
{
    if (!m_options.enabled) {
        setState(Reachability::Tor::off);
        return;
    }
    if (!m_options.controlSocket.isEmpty()) {
        setState(Reachability::Tor::starting);
        connectControl(m_options.controlSocket);
        return;
    }
    const QString program = TorProcess::find(m_options.program);
    if (program.isEmpty()) {
        logInfo(lcTor(), QStringLiteral("tor is not installed: people are reached only directly"));
        setState(Reachability::Tor::notInstalled);
        return;
    }
    m_process = std::make_unique<TorProcess>(program, m_options.directory, m_options.extraTorrc);
    connect(m_process.get(), &TorProcess::controlReady, this, [this] { connectControl(m_process->controlPath()); });
    connect(m_process.get(), &TorProcess::ended, this, [this](const QString& reason) {
        m_control.reset();
        m_clientKeysAdded.clear();
        m_serviceId.clear();
        m_publishInFlight = false;
        setState(Reachability::Tor::starting, reason);
    });
    setState(Reachability::Tor::starting);
    m_process->start();
}

void TorService::stop()
{
    m_republish.stop();
    m_control.reset();
    if (m_process)
        m_process->stop();
    m_process.reset();
    m_incoming.reset();
    m_clientKeysAdded.clear();
    m_serviceId.clear();
    m_publishInFlight = false;
}

void TorService::connectionWorked()
{
    if (m_process)
        m_process->resetBackoff();
    if (m_state == Reachability::Tor::starting && m_control && m_control->isReady()) {
        m_progress = 100;
        setState(Reachability::Tor::ready);
    }
}

void TorService::connectControl(const QString& path)
{
    m_control = std::make_unique<TorControl>(path);
    connect(m_control.get(), &TorControl::ready, this, &TorService::controlReady);
    connect(m_control.get(), &TorControl::failed, this, &TorService::controlFailed);
    connect(m_control.get(), &TorControl::event, this, &TorService::handleEvent);
    m_control->start();
}

void TorService::controlFailed(const QString& reason)
{
    logWarning(lcTor(), QStringLiteral("tor's control port: %1").arg(reason));
    // Ours is restarted when it ends (the process says so); one that was
    // already running is asked again after a while.
    QTimer::singleShot(0, this, [this] { m_control.reset(); });
    m_clientKeysAdded.clear();
    m_serviceId.clear();
    m_publishInFlight = false;
    if (m_process) {
        setState(Reachability::Tor::starting, reason);
        return;
    }
    setState(Reachability::Tor::failed, reason);
    QTimer::singleShot(10'000, this, [this] {
        if (!m_control && m_options.enabled && !m_options.controlSocket.isEmpty()) {
            setState(Reachability::Tor::starting);
            connectControl(m_options.controlSocket);
        }
    });
}

void TorService::controlReady()
{
    TorControl& control = *m_control;
    if (m_process) {
        // It ends with this connection, not only with this process.
        control.send("TAKEOWNERSHIP");
        control.send("RESETCONF __OwningControllerProcess");
        m_socksPath = m_process->socksPath();
    } else {
        control.send("GETINFO net/listeners/socks", [this](const TorReply& reply) {
            // Space-separated quoted listeners; only a Unix-domain one is used.
            for (QByteArray listener : reply.value("net/listeners/socks").split(' ')) {
                listener = listener.trimmed();
                if (listener.startsWith('"') && listener.endsWith('"'))
                    listener = listener.mid(1, listener.size() - 2);
                if (listener.startsWith("unix:")) {
                    m_socksPath = QString::fromLocal8Bit(listener.mid(5));
                    break;
                }
            }
            if (m_socksPath.isEmpty())
                logWarning(lcTor(), QStringLiteral("The running tor has no SOCKS port on a Unix-domain socket: calls through it are not made"));
        });
    }
    control.send("SETEVENTS STATUS_CLIENT HS_DESC");
    control.send("GETINFO status/bootstrap-phase", [this](const TorReply& reply) {
        takeProgress(reply.value("status/bootstrap-phase"));
    });
    syncClientKeys();
    m_republish.start(0);
}

void TorService::handleEvent(const TorReply& event)
{
    const QByteArray line = event.lines.value(0);
    if (line.startsWith("STATUS_CLIENT ")) {
        if (line.contains(" BOOTSTRAP "))
            takeProgress(line.mid(14));
    } else if (line.startsWith("HS_DESC UPLOADED ") && !m_serviceId.isEmpty()
               && line.split(' ').value(2) == m_serviceId.toLatin1()) {
        // Published: contacts can reach us, so tor works.
        if (!m_descriptorUploaded)
            logInfo(lcTor(), QStringLiteral("Reachable through tor at %1.onion").arg(m_serviceId));
        m_descriptorUploaded = true;
        connectionWorked();
    }
}

void TorService::takeProgress(const QByteArray& status)
{
    const qsizetype at = status.indexOf("PROGRESS=");
    if (at < 0)
        return;
    bool ok = false;
    const int progress = status.mid(at + 9).split(' ').value(0).toInt(&ok);
    if (!ok || progress < 0 || progress > 100)
        return;
    m_progress = std::max(m_progress, progress);
    if (m_progress == 100)
        setState(Reachability::Tor::ready);
    else
        emit stateChanged();
}

void TorService::setContacts(const QList<QByteArray>& keys)
{
    if (keys == m_contacts)
        return;
    m_contacts = keys;
    syncClientKeys();
    if (m_publishing)
        m_republish.start();
}

void TorService::setPublishing(bool on)
{
    if (on == m_publishing)
        return;
    m_publishing = on;
    m_republish.start(0);
}

void TorService::syncClientKeys()
{
    if (!m_control || !m_control->isReady())
        return;
    QSet<QByteArray> current;
    for (const QByteArray& contact : std::as_const(m_contacts)) {
        current.insert(contact);
        if (m_clientKeysAdded.contains(contact))
            continue;
        const QString onion = m_keys.onionAddressOf(contact);
        const QByteArray key = m_keys.clientKeyFor(contact);
        if (onion.isEmpty() || key.size() != 32)
            continue;  // not a key tor can use
        m_clientKeysAdded.insert(contact, onion);
        m_control->send("ONION_CLIENT_AUTH_ADD " + withoutSuffix(onion) + " x25519:" + key.toBase64(),
                        [onion](const TorReply& reply) {
                            if (!reply.ok() && reply.status != 0)
                                logWarning(lcTor(), QStringLiteral("tor did not take our key for %1: %2").arg(onion, reply.text()));
                        });
    }
    for (auto it = m_clientKeysAdded.begin(); it != m_clientKeysAdded.end();) {
        if (current.contains(it.key())) {
            ++it;
            continue;
        }
        m_control->send("ONION_CLIENT_AUTH_REMOVE " + withoutSuffix(it.value()));
        it = m_clientKeysAdded.erase(it);
    }
}

void TorService::publish()
{
    if (!m_control || !m_control->isReady())
        return;
    if (m_publishInFlight) {
        m_republish.start();  // after the answer
        return;
    }
    if (!m_serviceId.isEmpty()) {
        // tor cannot change a service's clients: the old one goes, a new
        // one with the same key (so the same address) comes.
        m_control->send("DEL_ONION " + m_serviceId.toLatin1());
        m_serviceId.clear();
    }
    QByteArray clients;
    for (const QByteArray& contact : std::as_const(m_contacts)) {
        const QByteArray key = m_keys.authorizedKeyOf(contact);
        if (key.size() == 32)
            clients += " ClientAuthV3="
                       + torformat::base32({reinterpret_cast<const std::uint8_t*>(key.constData()), std::size_t(key.size())},
                                           torformat::Case::upper)
                             .toLatin1();
    }
    if (!m_publishing || clients.isEmpty()) {
        m_incoming.reset();
        return;  // nobody could reach it
    }
    if (!m_incoming) {
        const QString path = QDir(m_options.directory).filePath(QStringLiteral("incoming"));
        QDir().mkpath(m_options.directory);
        QLocalServer::removeServer(path);
        auto server = std::make_unique<IncomingServer>(m_acceptedHandler);
        server->setSocketOptions(QLocalServer::UserAccessOption);
        if (!server->listen(path)) {
            logWarning(lcTor(), QStringLiteral("Cannot listen at %1 for connections through tor: %2").arg(path, server->errorString()));
            return;
        }
        m_incoming = std::move(server);
    }
    const QByteArray secret = m_keys.serviceSecretKey();
    if (secret.size() != 64)
        return;
    m_publishInFlight = true;
    m_control->send("ADD_ONION ED25519-V3:" + secret.toBase64() + " Flags=DiscardPK,V3Auth" + clients
                        + " Port=" + QByteArray::number(kVirtualPort) + ",unix:" + m_incoming->fullServerName().toLocal8Bit(),
                    [this](const TorReply& reply) {
                        m_publishInFlight = false;
                        if (!reply.ok()) {
                            if (reply.status != 0)
                                logWarning(lcTor(), QStringLiteral("tor did not publish our onion service: %1").arg(reply.text()));
                            return;
                        }
                        m_serviceId = QString::fromLatin1(reply.value("ServiceID"));
                        m_descriptorUploaded = false;
                        logInfo(lcTor(), QStringLiteral("Publishing our onion service %1.onion").arg(m_serviceId));
                    });
}

void TorService::setState(Reachability::Tor state, const QString& error)
{
    if (state == m_state && error == m_error)
        return;
    m_state = state;
    m_error = error;
    if (state != Reachability::Tor::starting && state != Reachability::Tor::ready)
        m_progress = 0;
    emit stateChanged();
}

}  // namespace vortan
