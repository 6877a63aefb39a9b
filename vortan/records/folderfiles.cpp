#include "vortan/folderfiles.h"

#include "vortan/errors.h"
#include "vortan/log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vortan {

namespace {

// An open directory stream, closed on every way out.
class DirectoryStream {
public:
    explicit DirectoryStream(DIR* dir) : m_dir(dir) {}
    ~DirectoryStream()
    {
        if (m_dir)
            ::closedir(m_dir);
    }
    DirectoryStream(const DirectoryStream&) = delete;
    DirectoryStream& operator=(const DirectoryStream&) = delete;
    DIR* get() const { return m_dir; }

private:
    DIR* m_dir;
};

// A folder still to read: its name inside the shared folder and its path.
struct Pending {
    QString name;
    QString path;
};

IoError unreadable(const QString& name, int error)
{
    return IoError(QStringLiteral("cannot read %1: %2").arg(name, QString::fromLocal8Bit(std::strerror(error))), error);
}

void skip(const QString& name, const char* what)
{
    logInfo(lcController(), QStringLiteral("Left out %1: %2").arg(name, QLatin1String(what)));
}

}  // namespace

QList<File2> filesOfFolder(const QString& path)
{
    const QString root = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    // The folder given is read through a link, as a file given is.
    struct stat status {};
    if (::stat(QFile::encodeName(root).constData(), &status) != 0)
        throw PosixError(errno);
    if (!S_ISDIR(status.st_mode))
        throw IoError(QStringLiteral("not a folder: %1").arg(root));
    const QString rootName = QFileInfo(root).fileName();
    if (rootName.isEmpty())
        throw IoError(QStringLiteral("a folder without a name: %1").arg(root));

    QList<File2> files;
    QList<Pending> pending{{rootName, root}};
    while (!pending.isEmpty()) {
        const Pending folder = pending.takeLast();
        // O_NOFOLLOW: a folder replaced by a link since it was listed is not
        // read through either.
        const int fd = ::open(QFile::encodeName(folder.path).constData(),
                              O_RDONLY | O_DIRECTORY | O_CLOEXEC | (folder.path == root ? 0 : O_NOFOLLOW));
        if (fd < 0)
            throw unreadable(folder.name, errno);
        DirectoryStream stream(::fdopendir(fd));
        if (!stream.get()) {
            const int error = errno;
            ::close(fd);
            throw unreadable(folder.name, error);
        }
        for (;;) {
            errno = 0;
            const dirent* entry = ::readdir(stream.get());
            if (!entry) {
                if (errno != 0)
                    throw unreadable(folder.name, errno);
                break;
            }
            const QByteArray raw(entry->d_name);
            if (raw == "." || raw == "..")
                continue;
            const QString entryName = QFile::decodeName(raw);
            const QString name = folder.name + QLatin1Char('/') + entryName;
            if (QFile::encodeName(entryName) != raw) {
                skip(name, "its name is not text");
                continue;
            }
            struct stat st {};
            if (::fstatat(fd, raw.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0)
                throw unreadable(name, errno);
            const QString entryPath = folder.path + QLatin1Char('/') + entryName;
            if (S_ISDIR(st.st_mode))
                pending.append({name, entryPath});
            else if (S_ISREG(st.st_mode))
                files.append(File2(name, QUrl::fromLocalFile(entryPath), std::int64_t(st.st_size)));
            else if (S_ISLNK(st.st_mode))
                skip(name, "a symbolic link");
            else
                skip(name, "not a regular file");
        }
    }
    std::sort(files.begin(), files.end(), [](const File2& a, const File2& b) { return a.name() < b.name(); });
    return files;
}

}  // namespace vortan
