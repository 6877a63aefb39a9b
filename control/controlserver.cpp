#include "control/controlserver.h"

#include "control/log.h"
#include "control/peercred.h"
#include "control/serverconnection.h"
#include "control/socketpath.h"
#include "control/wire.h"

#include <QFile>
#include <QLocalSocket>
#include <QTimer>

#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

namespace brenvo::control {

namespace {

// Whether a running instance answers on path.
bool someoneListens(const QString& path, std::chrono::milliseconds timeout)
{
    QLocalSocket probe;
    probe.connectToServer(path);
    const bool connected = probe.waitForConnected(int(timeout.count()));
    probe.abort();
    return connected;
}

}  // namespace

ControlServer::ControlServer(const QString& supportDir, QObject* parent)
    : ControlServer(supportDir, Limits{}, parent)
{
}

ControlServer::ControlServer(const QString& supportDir, Limits limits, QObject* parent)
    : QObject(parent)
    , m_path(controlSocketPath(supportDir))
    , m_limits(limits)
{
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, &ControlServer::accept);
}

ControlServer::~ControlServer()
{
    // Closing removes the socket file, so the next launch finds no instance.
    m_server.close();
}

ControlServer::ListenResult ControlServer::listen()
{
    if (const QString problem = prepareSocketFolder(m_path); !problem.isEmpty())
        return {ListenStatus::Failed, problem};
    // Asked first: binding over a live socket could take its name away.
    if (someoneListens(m_path, m_limits.probeTimeout))
        return {ListenStatus::AlreadyRunning, {}};
    if (QFile::exists(m_path)) {
        qCInfo(lcControl, "replacing the control socket %s, which nobody answers on", qUtf8Printable(m_path));
        QLocalServer::removeServer(m_path);
    }
    if (!m_server.listen(m_path))
        return {ListenStatus::Failed, QStringLiteral("cannot listen on %1: %2").arg(m_path, m_server.errorString())};
    if (::chmod(QFile::encodeName(m_path).constData(), 0600) != 0) {
        m_server.close();
        return {ListenStatus::Failed, QStringLiteral("cannot restrict %1 to its owner").arg(m_path)};
    }
    return {ListenStatus::Listening, {}};
}

void ControlServer::accept()
{
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        const std::optional<uid_t> uid = peerUid(socket->socketDescriptor());
        if (!uid || *uid != ::geteuid()) {
            qCWarning(lcControl, "refused a control connection of uid %s",
                      uid ? qPrintable(QString::number(*uid)) : "unknown");
            socket->abort();
            socket->deleteLater();
            continue;
        }
        if (int(m_connections.size()) >= m_limits.maxClients) {
            qCWarning(lcControl, "refused a control connection: %d clients already", m_limits.maxClients);
            // Answered and left open (reading nothing) until the client hangs
            // up or the read timeout passes: closing first could fail the
            // client's write before it reads why.
            socket->setReadBufferSize(1);
            socket->write(encodeFrame(encodeAnswer(refusal(QStringLiteral("busy")))));
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            QTimer::singleShot(m_limits.readTimeout, socket, &QLocalSocket::abort);
            continue;
        }
        auto* connection = new ServerConnection(
            socket, [this](const Request& request) { return dispatch(request); }, m_limits.readTimeout, this);
        connect(connection, &ServerConnection::finished, this, &ControlServer::remove);
        m_connections.push_back(connection);
    }
}

Answer ControlServer::dispatch(const Request& request)
{
    if (const auto* open = std::get_if<OpenRequest>(&request)) {
        QMetaObject::invokeMethod(this, [this, open = *open] { emit openRequested(open); }, Qt::QueuedConnection);
        return DoneAnswer{};
    }
    if (!m_commandHandler)
        return refusal(QStringLiteral("unknown command \"%1\"").arg(requestType(request)));
    return m_commandHandler(std::get<RemoteRequest>(request));
}

void ControlServer::remove(ServerConnection* connection)
{
    m_connections.erase(std::remove(m_connections.begin(), m_connections.end(), connection), m_connections.end());
    connection->deleteLater();
}

}  // namespace brenvo::control
