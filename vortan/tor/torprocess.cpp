#include "vortan/tor/torprocess.h"

#include "vortan/log.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace vortan {
namespace {

// A path in a torrc line: quoted, with the escapes tor's parser knows.
QString quoted(const QString& path)
{
    QString escaped = path;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\")).replace(QLatin1Char('"'), QStringLiteral("\\\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

}  // namespace

TorProcess::TorProcess(QString program, QString directory, QString extraTorrc, QObject* parent)
    : QObject(parent), m_program(std::move(program)), m_directory(std::move(directory)), m_extraTorrc(std::move(extraTorrc))
{
    m_restart.setSingleShot(true);
    connect(&m_restart, &QTimer::timeout, this, &TorProcess::launch);
    m_openTimeout.setSingleShot(true);
    connect(&m_openTimeout, &QTimer::timeout, this, [this] {
        logWarning(lcTor(), QStringLiteral("tor did not open its control port within %1 s").arg(kOpenTimeoutMs / 1000));
        if (m_process) {
            m_process->disconnect(this);
            m_process->kill();
            m_process->waitForFinished(1000);
            m_process.reset();
        }
        scheduleRestart(QStringLiteral("tor did not start"));
    });
}

TorProcess::~TorProcess()
{
    stop();
}

QString TorProcess::find(const QString& program)
{
    if (program.contains(QLatin1Char('/')))
        return QFileInfo(program).isExecutable() ? program : QString();
    // Debian installs tor in /usr/sbin, which a user's PATH often lacks.
    const QString found = QStandardPaths::findExecutable(program);
    return found.isEmpty() ? QStandardPaths::findExecutable(program, {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin")})
                           : found;
}

QString TorProcess::controlPath() const
{
    return m_directory + QStringLiteral("/control");
}

QString TorProcess::socksPath() const
{
    return m_directory + QStringLiteral("/socks");
}

void TorProcess::start()
{
    m_running = true;
    launch();
}

void TorProcess::resetBackoff()
{
    m_nextWaitMs = kFirstWaitMs;
}

bool TorProcess::writeTorrc(QString* error)
{
    QDir().mkpath(m_directory);
    // tor refuses a data directory others can read, and so do we.
    QFile::setPermissions(m_directory, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QString torrc;
    torrc += QStringLiteral("DataDirectory %1\n").arg(quoted(m_directory));
    torrc += QStringLiteral("ControlPort unix:%1\n").arg(quoted(controlPath()));
    torrc += QStringLiteral("CookieAuthentication 1\n");
    torrc += QStringLiteral("SocksPort unix:%1 ExtendedErrors\n").arg(quoted(socksPath()));
    torrc += QStringLiteral("__OwningControllerProcess %1\n").arg(QCoreApplication::applicationPid());
    torrc += QStringLiteral("Log notice stdout\n");
    torrc += QStringLiteral("AvoidDiskWrites 1\n");
    if (!m_extraTorrc.isEmpty())
        torrc += m_extraTorrc + QLatin1Char('\n');
    QSaveFile file(m_directory + QStringLiteral("/torrc"));
    if (!file.open(QIODevice::WriteOnly) || file.write(torrc.toUtf8()) < 0 || !file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

void TorProcess::launch()
{
    if (!m_running || m_process)
        return;
    QString error;
    if (!writeTorrc(&error)) {
        scheduleRestart(QStringLiteral("cannot write tor's settings in %1: %2").arg(m_directory, error));
        return;
    }
    // Sockets of an earlier run would be taken for open ones.
    QFile::remove(controlPath());
    QFile::remove(socksPath());
    m_controlOpen = false;
    m_output.clear();
    m_process = std::make_unique<QProcess>();
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    connect(m_process.get(), &QProcess::readyReadStandardOutput, this, &TorProcess::readOutput);
    connect(m_process.get(), &QProcess::finished, this, &TorProcess::finished);
    connect(m_process.get(), &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            finished();
    });
    logInfo(lcTor(), QStringLiteral("Starting tor (%1)").arg(m_program));
    m_process->start(m_program, {QStringLiteral("-f"), m_directory + QStringLiteral("/torrc"),
                                 QStringLiteral("--defaults-torrc"), QStringLiteral("/dev/null")});
    m_openTimeout.start(kOpenTimeoutMs);
}

void TorProcess::readOutput()
{
    m_output.append(m_process->readAllStandardOutput());
    qsizetype start = 0;
    for (qsizetype end; (end = m_output.indexOf('\n', start)) >= 0; start = end + 1) {
        const QString line = QString::fromUtf8(m_output.mid(start, std::min<qsizetype>(end - start, 500))).trimmed();
        if (line.contains(QLatin1String("[warn]")) || line.contains(QLatin1String("[err]")))
            logWarning(lcTor(), QStringLiteral("tor: %1").arg(line));
        else
            logDebug(lcTor(), QStringLiteral("tor: %1").arg(line));
        if (!m_controlOpen && line.contains(QLatin1String("Opened Control listener"))) {
            m_controlOpen = true;
            m_openTimeout.stop();
            emit controlReady();
        }
    }
    m_output.remove(0, start);
    if (m_output.size() > 64 * 1024)
        m_output.clear();  // a line without end: not one we need
}

void TorProcess::finished()
{
    if (!m_process)
        return;
    const QString reason = m_process->error() == QProcess::FailedToStart
        ? QStringLiteral("tor could not be started: %1").arg(m_process->errorString())
        : QStringLiteral("tor ended (exit status %1)").arg(m_process->exitCode());
    m_process->disconnect(this);
    m_process.release()->deleteLater();
    m_openTimeout.stop();
    m_controlOpen = false;
    scheduleRestart(reason);
}

void TorProcess::scheduleRestart(const QString& reason)
{
    if (!m_running)
        return;
    logWarning(lcTor(), QStringLiteral("%1; starting it again in %2 s").arg(reason).arg(m_nextWaitMs / 1000.0));
    m_restart.start(m_nextWaitMs);
    m_nextWaitMs = std::min(m_nextWaitMs * 2, kLastWaitMs);
    emit ended(reason);
}

void TorProcess::stop()
{
    m_running = false;
    m_restart.stop();
    m_openTimeout.stop();
    if (!m_process)
        return;
    m_process->disconnect(this);
    // tor leaves at once on SIGTERM as a client; a short bounded wait, then
    // it is killed (it would also leave once we are gone).
    m_process->terminate();
    if (!m_process->waitForFinished(1500)) {
        m_process->kill();
        m_process->waitForFinished(500);
    }
    m_process.reset();
    m_controlOpen = false;
}

}  // namespace vortan
