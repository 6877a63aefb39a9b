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

}  // namespace vortan::test
