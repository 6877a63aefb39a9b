#include "bench/benchsshd.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bench {

TemporarySshd::TemporarySshd(Environment& env, const QString& folder)
{
    if (!start(env, folder) && m_problem.isEmpty())
        m_problem = QStringLiteral("sshd did not start");
}

TemporarySshd::~TemporarySshd()
{
    stop(m_server, 5000);
}

bool TemporarySshd::start(Environment& env, const QString& folder)
{
    const QString sshd = QFileInfo::exists(QStringLiteral("/usr/sbin/sshd")) ? QStringLiteral("/usr/sbin/sshd") : QString();
    const QString keygen = QStandardPaths::findExecutable(QStringLiteral("ssh-keygen"));
    m_ssh = QStandardPaths::findExecutable(QStringLiteral("ssh"));
    m_scp = QStandardPaths::findExecutable(QStringLiteral("scp"));
    if (sshd.isEmpty() || keygen.isEmpty() || m_ssh.isEmpty() || m_scp.isEmpty()) {
        m_problem = QStringLiteral("sshd, ssh or scp not installed");
        return false;
    }
    // sshd insists on its privilege separation directory.
    if (!QFileInfo::exists(QStringLiteral("/run/sshd")) && geteuid() == 0)
        mkdir("/run/sshd", 0755);
    m_dir = folder + QStringLiteral("/ssh");
    QDir().mkpath(m_dir);
    chmod(QFile::encodeName(m_dir).constData(), 0700);
    for (const QString& key : {QStringLiteral("host"), QStringLiteral("client")}) {
        if (!runToEnd(keygen,
                      {QStringLiteral("-q"), QStringLiteral("-t"), QStringLiteral("ed25519"), QStringLiteral("-N"), QString(),
                       QStringLiteral("-f"), m_dir + QLatin1Char('/') + key},
                      env, m_dir)) {
            m_problem = QStringLiteral("ssh-keygen failed");
            return false;
        }
    }
    QFile::copy(m_dir + QStringLiteral("/client.pub"), m_dir + QStringLiteral("/authorized_keys"));
    m_port = freePort();
    // SHLVL=1 keeps bash, as the account's shell running a command, from
    // reading the account's .bashrc (bash reads it for sshd's commands only
    // at level 1): what it runs there is no part of what ssh costs.
    QFile config(m_dir + QStringLiteral("/sshd_config"));
    if (!config.open(QIODevice::WriteOnly))
        return false;
    config.write(QStringLiteral("Port %1\nListenAddress 127.0.0.1\nHostKey %2/host\nAuthorizedKeysFile %2/authorized_keys\n"
                                "PidFile %2/sshd.pid\nStrictModes no\nUsePAM no\nPasswordAuthentication no\n"
                                "KbdInteractiveAuthentication no\nPermitRootLogin prohibit-password\nSubsystem sftp internal-sftp\n"
                                "SetEnv SHLVL=1\n")
                     .arg(m_port)
                     .arg(m_dir)
                     .toUtf8());
    config.close();
    if (!spawn(m_server, sshd, {QStringLiteral("-D"), QStringLiteral("-e"), QStringLiteral("-f"), m_dir + QStringLiteral("/sshd_config")},
               env, m_dir + QStringLiteral("/sshd.out"), m_dir + QStringLiteral("/sshd.err")))
        return false;
    if (!waitForText(m_dir + QStringLiteral("/sshd.err"), "Server listening", 10000)) {
        stop(m_server, 5000);
        m_problem = QStringLiteral("sshd did not listen: ")
                    + QString::fromLocal8Bit(readAll(m_dir + QStringLiteral("/sshd.err")).trimmed());
        return false;
    }
    return true;
}

QString TemporarySshd::login() const
{
    const passwd* me = getpwuid(geteuid());
    return (me ? QString::fromLocal8Bit(me->pw_name) : QStringLiteral("root")) + QStringLiteral("@127.0.0.1");
}

QStringList TemporarySshd::clientOptions() const
{
    return {QStringLiteral("-i"), m_dir + QStringLiteral("/client"), QStringLiteral("-o"), QStringLiteral("StrictHostKeyChecking=no"),
            QStringLiteral("-o"), QStringLiteral("UserKnownHostsFile=/dev/null"), QStringLiteral("-o"), QStringLiteral("BatchMode=yes"),
            QStringLiteral("-o"), QStringLiteral("LogLevel=ERROR")};
}

}  // namespace bench
