#include "vortan/wholefile.h"

#include <QFile>

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vortan {

namespace {

// Closes the descriptor it holds when it goes.
class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

int openNoInterrupt(const char* path, int flags)
{
    int fd;
    do {
        fd = ::open(path, flags);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

}  // namespace

QString WholeFile::problem(qint64 maxSize) const
{
    switch (outcome) {
    case Outcome::read:
        return {};
    case Outcome::notRegular:
        return QStringLiteral("not a regular file");
    case Outcome::tooLarge:
        return QStringLiteral("larger than %1 bytes").arg(maxSize);
    case Outcome::missing:
    case Outcome::failed:
        break;
    }
    return QString::fromLocal8Bit(std::strerror(posixError));
}

WholeFile readWholeRegularFile(const QString& path, qint64 maxSize, bool followLinks)
{
    WholeFile result;
    const QByteArray native = QFile::encodeName(path);
    int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    if (!followLinks)
        flags |= O_NOFOLLOW;
    const Descriptor fd(openNoInterrupt(native.constData(), flags));
    if (fd.get() < 0) {
        result.posixError = errno;
        if (errno == ENOENT)
            result.outcome = WholeFile::Outcome::missing;
        else if (errno == ELOOP && !followLinks)
            result.outcome = WholeFile::Outcome::notRegular;
        return result;
    }
    struct stat st;
    if (::fstat(fd.get(), &st) != 0) {
        result.posixError = errno;
        return result;
    }
    if (!S_ISREG(st.st_mode)) {
        result.outcome = WholeFile::Outcome::notRegular;
        return result;
    }
    if (st.st_size > maxSize) {
        result.outcome = WholeFile::Outcome::tooLarge;
        return result;
    }
    // One byte beyond the cap tells a file that grew meanwhile.
    QByteArray bytes(qsizetype(st.st_size) + 1, Qt::Uninitialized);
    qsizetype have = 0;
    for (;;) {
        if (have == bytes.size()) {
            if (have > maxSize) {
                result.outcome = WholeFile::Outcome::tooLarge;
                return result;
            }
            bytes.resize(std::min<qsizetype>(qsizetype(maxSize) + 1, have * 2 + 4096));
        }
        const ssize_t got = ::read(fd.get(), bytes.data() + have, size_t(bytes.size() - have));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            result.posixError = errno;
            return result;
        }
        if (got == 0)
            break;
        have += got;
    }
    if (have > maxSize) {
        result.outcome = WholeFile::Outcome::tooLarge;
        return result;
    }
    bytes.truncate(have);
    result.bytes = std::move(bytes);
    result.outcome = WholeFile::Outcome::read;
    return result;
}

}  // namespace vortan
