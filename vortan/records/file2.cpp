#include "vortan/file2.h"

#include "vortan/errors.h"

#include <QFile>

#include <cerrno>
#include <sys/stat.h>

namespace vortan {

File2::File2(QString name, std::optional<QUrl> location, std::int64_t length)
    : location(std::move(location)), m_name(std::move(name)), m_length(length),
      m_numberOfBlocks(numberOfBlocksFor(length))
{
}

File2 File2::at(const QUrl& url)
{
    if (!url.isLocalFile())
        throw IoError(QStringLiteral("not a local file: %1").arg(url.toString()));
    const QString path = url.toLocalFile();
    const QByteArray native = QFile::encodeName(path);
    // stat, not lstat: a link is read through to its target later, so its
    // target's size is the size that will be sent.
    struct stat status {};
    if (::stat(native.constData(), &status) != 0)
        throw PosixError(errno);
    if (!S_ISREG(status.st_mode))
        throw IoError(QStringLiteral("not a regular file: %1").arg(path));
    return File2(url.fileName(), url, std::int64_t(status.st_size));
}

File2 File2::at(const QString& path)
{
    return at(QUrl::fromLocalFile(path));
}

}  // namespace vortan
