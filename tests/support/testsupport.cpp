#include "tests/support/testsupport.h"

#include <QEventLoop>
#include <QFile>
#include <QRandomGenerator>
#include <QTcpServer>
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

quint16 unusedPort()
{
    // The kernel hands out ports for outgoing connections from this range.
    quint16 ephemeralLow = 32768;
    QFile range(QStringLiteral("/proc/sys/net/ipv4/ip_local_port_range"));
    if (range.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> bounds = range.readAll().simplified().split(' ');
        bool ok = false;
        const uint low = bounds.value(0).toUInt(&ok);
        if (ok && low > 12000 && low <= 65535)
            ephemeralLow = quint16(low);
    }
    const quint16 first = 10000;
    const quint16 count = ephemeralLow - first;
    const quint16 start = quint16(QRandomGenerator::global()->bounded(count));
    for (quint16 i = 0; i < 500; ++i) {
        const quint16 port = quint16(first + (start + i) % count);
        QTcpServer probe;
        if (probe.listen(QHostAddress::Any, port))
            return port;
    }
    return 0;
}

}  // namespace vortan::test
