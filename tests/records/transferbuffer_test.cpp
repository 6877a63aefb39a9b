#include "vortan/records/file.h"
#include "vortan/records/transferbuffer.h"

#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <cerrno>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

namespace vortan {
namespace {

constexpr std::int64_t kBlock = 131072;
const QByteArray kUser(32, '\x11');

// The real system calls, counted, with failures on demand.
class CountingIo : public FileIo {
public:
    int opens = 0;
    int reads = 0;
    int writes = 0;
    int closes = 0;
    int interruptNextReads = 0;
    int interruptNextWrites = 0;
    ssize_t shortenNextReadBy = 0;
    int failNextReadWith = 0;
    int failNextWriteWith = 0;
    std::size_t writeChunk = 0;  // 0: whole writes
    std::vector<std::size_t> readSizes;

    int open(const char* path, int flags, mode_t mode) override
    {
        ++opens;
        return FileIo::open(path, flags, mode);
    }
    ssize_t pread(int fd, void* buffer, std::size_t count, off_t offset) override
    {
        ++reads;
        readSizes.push_back(count);
        if (injected(interruptNextReads, failNextReadWith))
            return -1;
        ssize_t got = FileIo::pread(fd, buffer, count, offset);
        if (got > 0 && shortenNextReadBy)
            got = std::max<ssize_t>(0, got - std::exchange(shortenNextReadBy, 0));
        return got;
    }
    ssize_t pwrite(int fd, const void* buffer, std::size_t count, off_t offset) override
    {
        ++writes;
        if (injected(interruptNextWrites, failNextWriteWith))
            return -1;
        return FileIo::pwrite(fd, buffer, writeChunk ? std::min(count, writeChunk) : count, offset);
    }
    int close(int fd) override
    {
        ++closes;
        return FileIo::close(fd);
    }

private:
    // Uses up one injected interruption or failure: whether the call fails.
    static bool injected(int& interruptions, int& failWith)
    {
        if (interruptions > 0) {
            --interruptions;
            errno = EINTR;
        } else if (failWith) {
            errno = std::exchange(failWith, 0);
        } else {
            return false;
        }
        return true;
    }
};

// Bytes whose value depends on their offset, so a block from the wrong place shows.
QByteArray pattern(std::int64_t offset, std::int64_t size)
{
    QByteArray bytes(qsizetype(size), Qt::Uninitialized);
    for (std::int64_t i = 0; i < size; ++i)
        bytes[qsizetype(i)] = char(((offset + i) * 7 + (offset + i) / 251) & 0xff);
    return bytes;
}

// Runs fn, which must fail with a PosixError of this code.
template <typename Fn> void expectPosixError(int code, Fn&& fn)
{
    try {
        fn();
        ADD_FAILURE() << "no error";
    } catch (const PosixError& error) {
        EXPECT_EQ(error.code(), code);
    }
}

class TransferBufferTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    QUrl makeFile(const QString& name, std::int64_t size)
    {
        EXPECT_TRUE(test::writeFile(dir.filePath(name), pattern(0, size)));
        return QUrl::fromLocalFile(dir.filePath(name));
    }

    QTemporaryDir dir;
    std::shared_ptr<CountingIo> io = std::make_shared<CountingIo>();
};

TEST_F(TransferBufferTest, FourSequentialBlocksCostOneRead)
{
    const QUrl url = makeFile("big.bin", 10 * kBlock);
    TransferBuffer buffer(io);
    for (std::int64_t b = 0; b < 4; ++b)
        EXPECT_EQ(buffer.readBlock(url, b * kBlock, kBlock), pattern(b * kBlock, kBlock)) << b;
    EXPECT_EQ(io->opens, 1);
    EXPECT_EQ(io->reads, 1);
    EXPECT_EQ(io->readSizes, std::vector<std::size_t>{std::size_t(TransferBuffer::windowCapacity)});

    EXPECT_EQ(buffer.readBlock(url, 4 * kBlock, kBlock), pattern(4 * kBlock, kBlock));
    EXPECT_EQ(io->reads, 2);
    for (std::int64_t b = 5; b < 8; ++b)
        EXPECT_EQ(buffer.readBlock(url, b * kBlock, kBlock), pattern(b * kBlock, kBlock));
    EXPECT_EQ(io->reads, 2);
    EXPECT_EQ(io->opens, 1);
}

TEST_F(TransferBufferTest, ShortReadFailsAndTheNextReadGoesToTheFile)
{
    const QUrl url = makeFile("short.bin", 8 * kBlock);
    TransferBuffer buffer(io);
    io->shortenNextReadBy = 4 * kBlock + 1;  // one byte short of a block
    try {
        buffer.readBlock(url, 0, kBlock);
        FAIL() << "no error";
    } catch (const FileErrorException& error) {
        EXPECT_EQ(error.error(), FileError::failedToRead);
        EXPECT_FALSE(error.toVortanError().isNetwork());
    }
    EXPECT_FALSE(buffer.window());
    EXPECT_EQ(buffer.readBlock(url, 0, kBlock), pattern(0, kBlock));
    EXPECT_EQ(io->reads, 2);

    // Past the end of the file: nothing to read.
    EXPECT_THROW(buffer.readBlock(url, 8 * kBlock, kBlock), FileErrorException);
    EXPECT_EQ(buffer.readBlock(url, kBlock, kBlock), pattern(kBlock, kBlock));
    EXPECT_EQ(io->reads, 4);
}

// The window covers only what was read: a request reaching past the end of
// the file goes to the file and fails rather than returning stale memory.
TEST_F(TransferBufferTest, WindowEndsWhereTheReadEnded)
{
    const QUrl url = makeFile("shrunk.bin", 2 * kBlock + 100);
    TransferBuffer buffer(io);
    EXPECT_EQ(buffer.readBlock(url, 0, kBlock), pattern(0, kBlock));
    EXPECT_THROW(buffer.readBlock(url, 2 * kBlock, kBlock), FileErrorException);
    EXPECT_EQ(io->reads, 2);

    // A file that shrinks while offered: the next miss sees the new size.
    EXPECT_EQ(buffer.readBlock(url, 0, kBlock), pattern(0, kBlock));
    ASSERT_EQ(::truncate(QFile::encodeName(url.toLocalFile()).constData(), 1000), 0);
    EXPECT_EQ(buffer.readBlock(url, kBlock, kBlock), pattern(kBlock, kBlock));  // was read before the shrink
    EXPECT_THROW(buffer.readBlock(url, 2 * kBlock + 50, 100), FileErrorException);
    EXPECT_EQ(io->reads, 4);
}

TEST_F(TransferBufferTest, ReadErrorsAndInterruptions)
{
    const QUrl url = makeFile("err.bin", 2 * kBlock);
    TransferBuffer buffer(io);
    io->interruptNextReads = 2;
    EXPECT_EQ(buffer.readBlock(url, 0, kBlock), pattern(0, kBlock));
    EXPECT_EQ(io->reads, 3);

    io->failNextReadWith = EIO;
    expectPosixError(EIO, [&] { buffer.readBlock(url, kBlock * 4, kBlock); });
    EXPECT_FALSE(buffer.window());

    TransferBuffer missing(io);
    expectPosixError(ENOENT, [&] { missing.readBlock(QUrl::fromLocalFile(dir.filePath("none")), 0, kBlock); });
    EXPECT_FALSE(missing.isOpen());
    EXPECT_FALSE(missing.hasWindowMemory());
    // A failed open leaves it closed; the next call tries again.
    makeFile("none", kBlock);
    EXPECT_EQ(missing.readBlock(QUrl::fromLocalFile(dir.filePath("none")), 0, kBlock), pattern(0, kBlock));

    EXPECT_THROW(buffer.readBlock(url, -1, kBlock), PosixError);
    EXPECT_THROW(buffer.readBlock(url, 0, kBlock + 1), PosixError);
}

TEST_F(TransferBufferTest, ReadAfterCloseReopens)
{
    const QUrl url = makeFile("reopen.bin", 4 * kBlock);
    TransferBuffer buffer(io);
    buffer.readBlock(url, 0, kBlock);
    EXPECT_TRUE(buffer.hasWindowMemory());
    buffer.closeBuffer();
    EXPECT_FALSE(buffer.isOpen());
    EXPECT_FALSE(buffer.hasWindowMemory());
    EXPECT_FALSE(buffer.window());
    EXPECT_EQ(io->closes, 1);

    // New contents, read inside the former window: it must come from the file.
    ASSERT_TRUE(test::writeFile(url.toLocalFile(), QByteArray(4 * kBlock, 'N')));
    EXPECT_EQ(buffer.readBlock(url, kBlock, kBlock), QByteArray(kBlock, 'N'));
    EXPECT_EQ(io->opens, 2);
    EXPECT_EQ(io->reads, 2);
}

TEST_F(TransferBufferTest, WritesContinueUntilEveryByteIsWritten)
{
    const QString path = dir.filePath("partial");
    TransferBuffer buffer(io);
    io->writeChunk = 1000;
    io->interruptNextWrites = 1;
    buffer.writeAt(path, true, pattern(kBlock, kBlock), kBlock);
    EXPECT_EQ(io->writes, 1 + (kBlock + 999) / 1000);
    EXPECT_EQ(test::readFile(path).mid(kBlock), pattern(kBlock, kBlock));

    io->failNextWriteWith = ENOSPC;
    expectPosixError(ENOSPC, [&] { buffer.writeAt(path, true, QByteArray(10, 'x'), 0); });
    EXPECT_FALSE(buffer.window());
    EXPECT_FALSE(buffer.hasWindowMemory());
}

class WriteBlockTest : public TransferBufferTest {
protected:
    File download(std::int64_t length)
    {
        return File(QStringLiteral("report.pdf"), QUrl::fromLocalFile(dir.filePath("report.pdf")), length, kUser);
    }
    QString partial() const { return dir.filePath("report.pdf.downloading"); }
};

TEST_F(WriteBlockTest, FirstWriteTruncatesAndAWriteAfterAPauseKeepsTheContents)
{
    ASSERT_TRUE(test::writeFile(partial(), QByteArray(6 * kBlock, 'J')));  // left over
    File file = download(3 * kBlock);
    const mode_t oldMask = ::umask(022);
    file.writeBlock(pattern(kBlock, kBlock), 1);
    File fresh(QStringLiteral("fresh"), QUrl::fromLocalFile(dir.filePath("fresh")), 10, kUser);
    fresh.writeBlock(QByteArray(10, 'f'), 0);
    ::umask(oldMask);
    file.blocks.insert(1);
    EXPECT_EQ(QFileInfo(partial()).size(), 2 * kBlock);
    EXPECT_EQ(test::readFile(partial()).left(kBlock), QByteArray(kBlock, '\0'));

    struct stat status {};
    ASSERT_EQ(::stat(QFile::encodeName(dir.filePath("fresh.downloading")).constData(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0644u);

    file.buffer()->closeBuffer();  // pause
    file.writeBlock(pattern(0, kBlock), 0);
    file.blocks.insert(0);
    file.writeBlock(pattern(2 * kBlock, 100), 2);
    EXPECT_EQ(test::readFile(partial()), pattern(0, 2 * kBlock + 100));
}

TEST_F(WriteBlockTest, OffsetsBeyondFourGibibytes)
{
    const std::int64_t block = 40000;  // 5.2 GB in: a sparse file
    const std::int64_t offset = block * kBlock;
    File file = download(offset + kBlock);
    file.writeBlock(pattern(offset, kBlock), block);
    file.buffer()->closeBuffer();
    EXPECT_EQ(QFileInfo(partial()).size(), offset + kBlock);

    TransferBuffer reader(io);
    EXPECT_EQ(reader.readBlock(QUrl::fromLocalFile(partial()), offset, kBlock), pattern(offset, kBlock));
    EXPECT_EQ(reader.readBlock(QUrl::fromLocalFile(partial()), offset - kBlock, kBlock), QByteArray(kBlock, '\0'));
}

TEST_F(WriteBlockTest, RefusedWrites)
{
    File nowhere(QStringLiteral("x"), std::nullopt, kBlock, kUser);
    EXPECT_THROW(nowhere.writeBlock(QByteArray(10, 'a'), 0), IoError);
    File file = download(kBlock);
    EXPECT_THROW(file.writeBlock(QByteArray(10, 'a'), -1), IoError);
    EXPECT_THROW(file.writeBlock(QByteArray(10, 'a'), maxBlockNumber + 1), IoError);
    EXPECT_FALSE(QFile::exists(partial()));

    File blocked(QStringLiteral("r"), QUrl::fromLocalFile(dir.filePath("no/such/dir/r")), kBlock, kUser);
    expectPosixError(ENOENT, [&] { blocked.writeBlock(QByteArray(10, 'a'), 0); });
    EXPECT_FALSE(blocked.buffer()->isOpen());
}

}  // namespace
}  // namespace vortan
