#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QUrl>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <sys/types.h>

namespace vortan {

// The system calls the transfer buffer makes, behind a seam so that tests can
// count them or make them fail. Each has the contract of the POSIX call of
// the same name (-1 and errno on failure).
class FileIo {
public:
    virtual ~FileIo() = default;
    virtual int open(const char* path, int flags, mode_t mode);
    virtual ssize_t pread(int fd, void* buffer, std::size_t count, off_t offset);
    virtual ssize_t pwrite(int fd, const void* buffer, std::size_t count, off_t offset);
    virtual int close(int fd);

    // The plain system calls.
    static std::shared_ptr<FileIo> system();
};

// The block I/O object of one transfer record, shared by every copy of it.
// The offering side reads blocks of the shared file through a read-ahead
// window of four blocks; the downloading side writes blocks into the
// partial file. Used from the main thread only.
class TransferBuffer {
public:
    static constexpr std::int64_t windowCapacity = 524288;  // 4 blocks

    explicit TransferBuffer(std::shared_ptr<FileIo> io = FileIo::system());
    ~TransferBuffer();
    TransferBuffer(const TransferBuffer&) = delete;
    TransferBuffer& operator=(const TransferBuffer&) = delete;

    // count bytes of the file at url from the absolute byte offset; count is
    // at most one block. Opens the file on first use. Throws PosixError when
    // opening or reading fails and FileErrorException(failedToRead) when the
    // file holds fewer than count bytes there; either way no window is kept
    // and the next read goes to the file again.
    QByteArray readBlock(const QUrl& url, std::int64_t offset, std::int64_t count);
    // The same without a copy: the bytes stay in the read window and are
    // valid until the next call on this buffer. fileLength, the length the
    // file is expected to have, bounds the window: a small file does not
    // take a window of four blocks.
    QByteArrayView readBlockView(const QUrl& url, std::int64_t offset, std::int64_t count,
                                 std::int64_t fileLength = windowCapacity);

    // Writes all of data at the absolute byte offset of the file at path,
    // opening it on first use write-only, created with mode 0644 and
    // truncated when truncateOnOpen is set. Throws PosixError on failure.
    // The window is not touched.
    void writeAt(const QString& path, bool truncateOnOpen, const QByteArray& data, std::int64_t offset);

    // Closes the descriptor and releases the window memory; the next read or
    // write opens the file again.
    void closeBuffer();

    bool isOpen() const { return m_fd.has_value(); }
    bool hasWindowMemory() const { return m_buffer != nullptr; }
    // The file bytes [first, end) currently held in the window.
    struct Window {
        std::int64_t first;
        std::int64_t end;
    };
    std::optional<Window> window() const { return m_range; }

private:
    void openFile(const QString& path, int flags, mode_t mode);

    std::shared_ptr<FileIo> m_io;
    std::optional<int> m_fd;
    std::unique_ptr<char[]> m_buffer;  // m_capacity bytes when present
    std::int64_t m_capacity = 0;
    std::optional<Window> m_range;
};

}  // namespace vortan
