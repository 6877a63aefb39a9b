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

// One event is one line: control characters (a peer's file name may hold a
// newline) are shown as \xNN so that no text can forge further lines.
QString singleLine(const QString& line)
{
    const auto isControl = [](char16_t u) { return u < 0x20 || u == 0x7f || (u >= 0x80 && u < 0xa0); };
    bool clean = true;
    for (const QChar c : line) {
        if (isControl(c.unicode())) {
            clean = false;
            break;
        }
    }
    if (clean)
        return line;
    QString shown;
    shown.reserve(line.size() + 8);
    for (const QChar c : line) {
        if (isControl(c.unicode()))
            shown.append(QStringLiteral("\\x%1").arg(int(c.unicode()), 2, 16, QLatin1Char('0')));
        else
            shown.append(c);
    }
    return shown;
}

}  // namespace

void logLine(const QString& rawLine)
{
    const QString line = singleLine(rawLine);
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
