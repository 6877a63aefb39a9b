#include "vortan/privatefiles.h"

#include <QDir>
#include <QFile>
#include <QFileDevice>
#include <QFileInfo>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace vortan {

bool makePrivateDirectory(const QString& path, const QStringList& ownFiles)
{
    const QString absolute = QDir(path).absolutePath();
    const QByteArray native = QFile::encodeName(absolute);
    struct stat st;
    if (::stat(native.constData(), &st) != 0) {
        const QString parent = QFileInfo(absolute).absolutePath();
        if (!QDir().mkpath(parent))
            return false;
        if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
            return false;
        return QFileInfo(absolute).isDir();
    }
    if (!S_ISDIR(st.st_mode))
        return false;
    if ((st.st_mode & 077) == 0 || st.st_uid != ::geteuid())
        return true;
    const QDir directory(absolute);
    for (const QString& name : ownFiles) {
        if (QFileInfo::exists(directory.filePath(name))) {
            ::chmod(native.constData(), st.st_mode & 07700);
            break;
        }
    }
    return true;
}

bool restrictToOwner(QFileDevice& file)
{
    const int fd = file.handle();
    return fd >= 0 && ::fchmod(fd, 0600) == 0;
}

}  // namespace vortan
