#include "tests/support/testsupport.h"

#include <QEventLoop>
#include <QFile>
#include <QTimer>

namespace vortan::test {

LogCapture::LogCapture(bool withDebugLines)
{
    if (withDebugLines)
        setDebugDiagnostics(true);
    m_previous = setLogSink([this](QtMsgType, const char*, const QString& line) { m_lines.append(line); });
}

LogCapture::~LogCapture()
{
    setLogSink(std::move(m_previous));
    setDebugDiagnostics(false);
}

QStringList LogCapture::startingWith(const QString& prefix) const
{
    QStringList out;
    for (const QString& line : m_lines) {
        if (line.startsWith(prefix))
            out.append(line);
    }
    return out;
}

bool waitFor(const std::function<bool()>& condition, int timeoutMs)
{
    if (condition())
        return true;
    QDeadlineTimer deadline(timeoutMs);
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(2);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (condition() || deadline.hasExpired())
            loop.quit();
    });
    poll.start();
    loop.exec();
    return condition();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QByteArray generatedBytes(qint64 size, int seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    std::uint32_t x = 2463534242u ^ std::uint32_t(seed * 7919);
    for (qint64 i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        bytes[i] = char(x & 0xff);
    }
    return bytes;
}

}  // namespace vortan::test
