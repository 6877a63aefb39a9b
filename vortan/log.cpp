#include "vortan/log.h"

#include <cstdio>
#include <utility>

namespace vortan {
namespace {

LogSink& currentSink()
{
    static LogSink sink;
    return sink;
}

}  // namespace

void logLine(const QString& line)
{
    if (const LogSink& sink = currentSink()) {
        sink(line);
        return;
    }
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

LogSink setLogSink(LogSink sink)
{
    return std::exchange(currentSink(), std::move(sink));
}

}  // namespace vortan
