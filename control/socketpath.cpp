#include "control/socketpath.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace brenvo::control {

namespace {

QString runtimeFolder()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty())
        return QDir::cleanPath(QString::fromLocal8Bit(runtime));
    return QDir::cleanPath(QDir::tempPath() + QStringLiteral("/brenvo-%1").arg(::geteuid()));
}

}  // namespace

QString controlSocketPath(const QString& supportDir)
{
    const QString absolute = QDir::cleanPath(QFileInfo(supportDir).absoluteFilePath());
    const QByteArray digest = QCryptographicHash::hash(absolute.toUtf8(), QCryptographicHash::Sha256);
    const QString name = QStringLiteral("brenvo-%1.sock").arg(QString::fromLatin1(digest.toHex().left(16)));
    return runtimeFolder() + QLatin1Char('/') + name;
}

QString prepareSocketFolder(const QString& path)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    if (::mkdir(folder.constData(), 0700) != 0 && errno != EEXIST)
        return QStringLiteral("cannot create %1: %2").arg(QString::fromLocal8Bit(folder), QString::fromLocal8Bit(std::strerror(errno)));
    struct stat st {};
    if (::lstat(folder.constData(), &st) != 0)
        return QStringLiteral("cannot read %1: %2").arg(QString::fromLocal8Bit(folder), QString::fromLocal8Bit(std::strerror(errno)));
    if (!S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() || (st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return QStringLiteral("%1 is not a folder of this user alone").arg(QString::fromLocal8Bit(folder));
    return {};
}

}  // namespace brenvo::control
