#pragma once

// An OpenSSH server of the benchmark's own on 127.0.0.1, to compare with
// scp and ssh on the same machine: a fresh host key, a client key it
// accepts, no password, no PAM.

#include "bench/benchsupport.h"

#include <QString>
#include <QStringList>

namespace bench {

class TemporarySshd {
public:
    // Starts sshd with its keys and configuration in folder/ssh.
    TemporarySshd(Environment& env, const QString& folder);
    ~TemporarySshd();
    TemporarySshd(const TemporarySshd&) = delete;
    TemporarySshd& operator=(const TemporarySshd&) = delete;

    // Empty while it listens; otherwise why it does not.
    const QString& problem() const { return m_problem; }
    bool listening() const { return m_problem.isEmpty(); }

    const QString& ssh() const { return m_ssh; }
    const QString& scp() const { return m_scp; }
    quint16 port() const { return m_port; }
    // USER@127.0.0.1 for the user this process runs as.
    QString login() const;
    // What ssh and scp need to log in with the client key, without a
    // question and without a known-hosts file (the port is -p for ssh, -P
    // for scp, so not here).
    QStringList clientOptions() const;

private:
    bool start(Environment& env, const QString& folder);

    Child m_server;
    QString m_dir;
    QString m_ssh;
    QString m_scp;
    quint16 m_port = 0;
    QString m_problem;
};

}  // namespace bench
