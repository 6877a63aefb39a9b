#include "vortan/directories.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QSysInfo>

#include <pwd.h>
#include <unistd.h>

namespace vortan {

QString defaultSupportDirectory()
{
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return base + QStringLiteral("/Brenvo");
}

QString defaultDownloadsDirectory()
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    if (dir.isEmpty() || dir == QDir::homePath())
        dir = QDir::homePath() + QStringLiteral("/Downloads");
    QDir().mkpath(dir);
    return dir;
}

QString defaultBundledUsersPath()
{
    return QStringLiteral(BRENVO_DATADIR "/brenvo/users.plist");
}

namespace {

// Value of PRETTY_HOSTNAME in a machine-info file (shell-style KEY=VALUE lines).
QString prettyHostName(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    const QByteArray content = file.read(64 * 1024);
    for (QByteArray line : content.split('\n')) {
        line = line.trimmed();
        if (!line.startsWith("PRETTY_HOSTNAME="))
            continue;
        QByteArray value = line.mid(int(sizeof("PRETTY_HOSTNAME=") - 1)).trimmed();
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
            value = value.mid(1, value.size() - 2);
        return QString::fromUtf8(value).trimmed();
    }
    return {};
}

}  // namespace

QString computerName(const QString& machineInfoPath)
{
    QString name = prettyHostName(machineInfoPath);
    if (name.isEmpty())
        name = QSysInfo::machineHostName().trimmed();
    if (name.isEmpty())
        name = QStringLiteral("Me");
    return name;
}

QString gecosFullName(const QByteArray& gecos, const QString& login)
{
    const qsizetype comma = gecos.indexOf(',');
    QString name = QString::fromUtf8(comma < 0 ? gecos : gecos.left(comma)).simplified();
    if (name.contains(QLatin1Char('&')) && !login.isEmpty())
        name.replace(QLatin1Char('&'), login.left(1).toUpper() + login.mid(1));
    return name;
}

QString proposedName(const QString& machineInfoPath)
{
    // getpwuid_r: the library is not alone in the process.
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    QByteArray buffer(size > 0 ? int(size) : 16384, Qt::Uninitialized);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), size_t(buffer.size()), &found) == 0 && found && found->pw_gecos) {
        const QString name = gecosFullName(QByteArray(found->pw_gecos), QString::fromLocal8Bit(found->pw_name));
        if (!name.isEmpty())
            return name;
    }
    return computerName(machineInfoPath);
}

}  // namespace vortan
