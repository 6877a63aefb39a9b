#include "vortan/keys/filesecretstore.h"

#include "vortan/log.h"
#include "vortan/privatefiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vortan {

namespace {

class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) : m_fd(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int get() const { return m_fd; }
    // Closes now; false (with errno) when close reports an error.
    bool reset()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int m_fd;
};

// Removes a temporary file unless it has been moved into place.
class TemporaryPath {
public:
    explicit TemporaryPath(QByteArray path) : m_path(std::move(path)) {}
    ~TemporaryPath()
    {
        if (!m_path.isEmpty())
            ::unlink(m_path.constData());
    }
    TemporaryPath(const TemporaryPath&) = delete;
    TemporaryPath& operator=(const TemporaryPath&) = delete;
    void release() { m_path.clear(); }

private:
    QByteArray m_path;
};

SecretStatus errnoStatus(const QString& what, int error)
{
    return {SecretStatus::kIoError, QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(error)))};
}

bool writeAll(int fd, const QByteArray& bytes)
{
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        left -= n;
    }
    return true;
}

// Moves from to to unless to exists (EEXIST then).
int moveNoReplace(const QByteArray& from, const QByteArray& to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // A file system without RENAME_NOREPLACE: link() fails on an existing target too.
    if (::link(from.constData(), to.constData()) != 0)
        return errno;
    ::unlink(from.constData());
    return 0;
}

void syncDirectory(const QString& directory)
{
    UniqueFd fd(::open(QFile::encodeName(directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0)
        ::fsync(fd.get());
}

}  // namespace

FileSecretStore::FileSecretStore(QString path, QString account) : m_path(std::move(path)), m_account(std::move(account))
{
}

QString FileSecretStore::name() const
{
    return QStringLiteral("key file ") + m_path;
}

SecretStatus FileSecretStore::otherAccount() const
{
    return {SecretStatus::kItemNotFound, QStringLiteral("%1 holds only the item of %2").arg(m_path, m_account)};
}

SecretStatus FileSecretStore::read(const QString& account, QByteArray& value)
{
    if (account != m_account)
        return otherAccount();
    const QByteArray path = QFile::encodeName(m_path);
    // O_NONBLOCK: opening a FIFO planted here must not hang.
    UniqueFd fd(::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) {
        if (errno == ENOENT)
            return {SecretStatus::kItemNotFound, QStringLiteral("No key file at %1").arg(m_path)};
        return errnoStatus(QStringLiteral("Cannot open %1").arg(m_path), errno);
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        return errnoStatus(QStringLiteral("Cannot inspect %1").arg(m_path), errno);
    if (!S_ISREG(st.st_mode))
        return {SecretStatus::kIoError, QStringLiteral("%1 is not a regular file").arg(m_path)};
    if (st.st_uid != ::geteuid())
        return {SecretStatus::kIoError, QStringLiteral("%1 belongs to another user").arg(m_path)};
    if (st.st_size > kMaxFileSize)
        return {SecretStatus::kIoError, QStringLiteral("%1 is too large for a key (%2 bytes)").arg(m_path).arg(st.st_size)};
    if ((st.st_mode & 077) != 0) {
        const QString mode = QStringLiteral("%1").arg(st.st_mode & 0777, 3, 8, QLatin1Char('0'));
        if (::fchmod(fd.get(), 0600) == 0) {
            logInfo(lcKeys(), QStringLiteral("Key file %1 was open to other users (mode %2); restricted it to 600").arg(m_path, mode));
        } else {
            logWarning(lcKeys(), QStringLiteral("Key file %1 is open to other users (mode %2) and could not be restricted: %3")
                        .arg(m_path, mode, QString::fromLocal8Bit(std::strerror(errno))));
        }
    }

    QByteArray bytes(kMaxFileSize + 1, Qt::Uninitialized);
    qsizetype filled = 0;
    while (filled < bytes.size()) {
        const ssize_t n = ::read(fd.get(), bytes.data() + filled, static_cast<size_t>(bytes.size() - filled));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errnoStatus(QStringLiteral("Cannot read %1").arg(m_path), errno);
        if (n == 0)
            break;
        filled += n;
    }
    if (filled > kMaxFileSize)
        return {SecretStatus::kIoError, QStringLiteral("%1 is too large for a key").arg(m_path)};
    bytes.truncate(filled);
    value = bytes;
    return {};
}

SecretStatus FileSecretStore::add(const QString& account, const QString&, const QByteArray& value)
{
    if (account != m_account)
        return {SecretStatus::kIoError, QStringLiteral("%1 holds only the item of %2").arg(m_path, m_account)};
    const QFileInfo info(m_path);
    const QString directory = info.absolutePath();
    if (!makePrivateDirectory(directory))
        return {SecretStatus::kIoError, QStringLiteral("Cannot create the folder %1").arg(directory)};

    QByteArray temporary = QFile::encodeName(directory + QStringLiteral("/.") + info.fileName() + QStringLiteral(".XXXXXX"));
    // mkostemp creates the file with mode 0600 from the start.
    UniqueFd fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (fd.get() < 0)
        return errnoStatus(QStringLiteral("Cannot create a file in %1").arg(directory), errno);
    TemporaryPath cleanup(temporary);
    if (::fchmod(fd.get(), 0600) != 0 || !writeAll(fd.get(), value) || ::fsync(fd.get()) != 0)
        return errnoStatus(QStringLiteral("Cannot write %1").arg(QFile::decodeName(temporary)), errno);
    if (!fd.reset())
        return errnoStatus(QStringLiteral("Cannot write %1").arg(QFile::decodeName(temporary)), errno);

    const int error = moveNoReplace(temporary, QFile::encodeName(info.absoluteFilePath()));
    if (error == EEXIST)
        return {SecretStatus::kDuplicateItem, QStringLiteral("%1 already exists").arg(m_path)};
    if (error != 0)
        return errnoStatus(QStringLiteral("Cannot move the key into %1").arg(m_path), error);
    cleanup.release();
    syncDirectory(directory);
    return {};
}

SecretStatus FileSecretStore::remove(const QString& account)
{
    if (account != m_account)
        return otherAccount();
    if (::unlink(QFile::encodeName(m_path).constData()) != 0) {
        if (errno == ENOENT)
            return {SecretStatus::kItemNotFound, QStringLiteral("No key file at %1").arg(m_path)};
        return errnoStatus(QStringLiteral("Cannot remove %1").arg(m_path), errno);
    }
    syncDirectory(QFileInfo(m_path).absolutePath());
    return {};
}

}  // namespace vortan
