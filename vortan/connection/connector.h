#pragma once

#include "vortan/connection/dialer.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QList>
#include <QObject>
#include <QSocketNotifier>
#include <QString>

#include <functional>
#include <memory>

namespace vortan {

// Opens an outgoing TCP connection to a host name or numeric address and a
// port: resolves the name, then tries each address in turn with a
// non-blocking connect, so that a failure carries the kernel's own error
// number (refused, unreachable, timed out) rather than Qt's coarser codes.
//
// Name resolution goes through QHostInfo, which does not pass on the
// resolver's code: a name that does not resolve fails with the DNS code
// EAI_NONAME, any other resolver failure with EAI_FAIL.
//
// Results arrive from the event loop, never from inside start(). Destroying
// the connector abandons the attempt and closes any half-open socket.
class Connector : public Dialer {
    Q_OBJECT
public:
    // localPort, when not 0, is bound before connecting (shared with a
    // listener on it); where that fails the connection leaves from any port.
    Connector(QString host, quint16 port, ConnectedHandler onConnected, FailedHandler onFailed,
              QObject* parent = nullptr, quint16 localPort = 0);
    ~Connector() override;

    void start() override;

private:
    void lookedUp(const QHostInfo& info);
    void tryNext();
    void connectFinished();

    QString m_host;
    quint16 m_port;
    quint16 m_localPort;

    int m_lookupId = -1;
    QList<QHostAddress> m_addresses;
    qsizetype m_next = 0;
    UniqueFd m_socket;
    std::unique_ptr<QSocketNotifier> m_notifier;
    NetworkError m_lastError = NetworkError::posix(0);
};

}  // namespace vortan
