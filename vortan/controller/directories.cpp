#include "vortan/directories.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QSysInfo>

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

}  // namespace vortan
