#include "vortan/records/transferbuffer.h"

#include "vortan/errors.h"
#include "vortan/file2.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <fcntl.h>
#include <unistd.h>

namespace vortan {

int FileIo::open(const char* path, int flags, mode_t mode)
{
    return ::open(path, flags, mode);
}

ssize_t FileIo::pread(int fd, void* buffer, std::size_t count, off_t offset)
{
    return ::pread(fd, buffer, count, offset);
}

ssize_t FileIo::pwrite(int fd, const void* buffer, std::size_t count, off_t offset)
{
    return ::pwrite(fd, buffer, count, offset);
}

int FileIo::close(int fd)
{
    return ::close(fd);
}

std::shared_ptr<FileIo> FileIo::system()
{
    static const std::shared_ptr<FileIo> io = std::make_shared<FileIo>();
    return io;
}

TransferBuffer::TransferBuffer(std::shared_ptr<FileIo> io) : m_io(std::move(io)) {}

TransferBuffer::~TransferBuffer()
{
    closeBuffer();
}

void TransferBuffer::openFile(const QString& path, int flags, mode_t mode)
{
    const QByteArray native = QFile::encodeName(path);
    int fd;
    do {
        fd = m_io->open(native.constData(), flags | O_CLOEXEC, mode);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        throw PosixError(errno);
    m_fd = fd;
}

QByteArray TransferBuffer::readBlock(const QUrl& url, std::int64_t offset, std::int64_t count)
{
    return readBlockView(url, offset, count).toByteArray();
}

QByteArrayView TransferBuffer::readBlockView(const QUrl& url, std::int64_t offset, std::int64_t count,
                                             std::int64_t fileLength)
{
    if (offset < 0 || count < 0 || count > blockSize || count > std::numeric_limits<std::int64_t>::max() - offset)
        throw PosixError(EINVAL);
    if (!m_fd) {
        if (!url.isLocalFile())
            throw IoError(QStringLiteral("not a local file: %1").arg(url.toString()));
        openFile(url.toLocalFile(), O_RDONLY, 0);
    }
    // Allocated once per opening (also when the descriptor was opened by a
    // write), and again only for a block it cannot hold.
    if (!m_buffer || count > m_capacity) {
        m_range.reset();
        m_capacity = std::clamp(fileLength, count, windowCapacity);
        m_buffer = std::make_unique_for_overwrite<char[]>(std::size_t(m_capacity));
    }
    if (count == 0)
        return {};

    if (m_range && offset >= m_range->first && offset + count <= m_range->end)
        return QByteArrayView(m_buffer.get() + (offset - m_range->first), qsizetype(count));

    m_range.reset();
    ssize_t got;
    do {
        got = m_io->pread(*m_fd, m_buffer.get(), std::size_t(m_capacity), off_t(offset));
    } while (got < 0 && errno == EINTR);
    if (got < 0)
        throw PosixError(errno);
    if (got < count)
        throw FileErrorException(FileError::failedToRead);
    // The window holds exactly the bytes the read returned, so a file that
    // shrank is never served bytes that were not read.
    m_range = Window{offset, offset + std::int64_t(got)};
    return QByteArrayView(m_buffer.get(), qsizetype(count));
}

void TransferBuffer::writeAt(const QString& path, bool truncateOnOpen, const QByteArray& data, std::int64_t offset)
{
    if (offset < 0 || data.size() > std::numeric_limits<std::int64_t>::max() - offset)
        throw PosixError(EINVAL);
    if (!m_fd)
        openFile(path, O_WRONLY | O_CREAT | O_NOFOLLOW | (truncateOnOpen ? O_TRUNC : 0), 0644);
    const char* bytes = data.constData();
    std::int64_t left = data.size();
    std::int64_t at = offset;
    while (left > 0) {
        ssize_t put = m_io->pwrite(*m_fd, bytes, std::size_t(left), off_t(at));
        if (put < 0) {
            if (errno == EINTR)
                continue;
            throw PosixError(errno);
        }
        if (put == 0)
            throw PosixError(EIO);  // no progress: do not spin
        bytes += put;
        left -= put;
        at += put;
    }
}

void TransferBuffer::closeBuffer()
{
    if (m_fd) {
        m_io->close(*m_fd);
        m_fd.reset();
    }
    m_buffer.reset();
    m_range.reset();
}

}  // namespace vortan
