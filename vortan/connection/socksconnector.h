#pragma once

#include "vortan/connection/dialer.h"

#include <QByteArray>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>

#include <memory>

namespace vortan {

// Opens a stream to host:port through a SOCKS5 proxy listening on a
// Unix-domain socket (tor's SocksPort unix:PATH): no authentication, the
// host sent as a name (an onion address stays a name, tor resolves it).
//
// The proxy's answers are untrusted: a reply that is not SOCKS5, an address
// type we do not know or a closed stream fail the attempt with EPROTO; a
// refusal fails it with the POSIX error that says the same (see
// errorForReply), and the whole exchange is bounded by kTimeout (ETIMEDOUT).
class SocksConnector : public Dialer {
    Q_OBJECT
public:
    // Tor gives up on an onion service after about two minutes of
    // descriptor fetches and introductions; we give up sooner.
    static constexpr int kTimeoutMs = 90'000;

    SocksConnector(QString proxyPath, QString host, quint16 port, ConnectedHandler onConnected,
                   FailedHandler onFailed, QObject* parent = nullptr);
    ~SocksConnector() override;

    void start() override;

    // The POSIX error for a SOCKS5 reply code, tor's extended codes
    // included; and its meaning in words, for the log.
    static int errorForReply(quint8 reply);
    static QString describeReply(quint8 reply);

private:
    enum class Step { greeting, request, done };
    void openSocket();
    // How many bytes the reply being read has in all, as far as known.
    qsizetype needed() const;
    void readable();
    bool sendAll(const QByteArray& bytes);
    void fail(const NetworkError& error);

    QString m_proxyPath;
    QString m_host;
    quint16 m_port;
    UniqueFd m_socket;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QTimer m_timeout;
    QByteArray m_received;
    Step m_step = Step::greeting;
};

}  // namespace vortan
