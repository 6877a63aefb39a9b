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

static thread_local std::shared_ptr<HeldLines> t_held;

static void writeLine(const QString& line)
{
    if (const LogSink& sink = currentSink()) {
        sink(line);
        return;
    }
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

void logLine(const QString& rawLine)
{
    const QString line = singleLine(rawLine);
    if (HeldLines* held = t_held.get()) {
        switch (held->m_mode) {
        case HeldLines::Mode::holding:
            held->m_lines.append(line);
            return;
        case HeldLines::Mode::dropped:
            return;
        case HeldLines::Mode::released:
            break;
        }
    }
    writeLine(line);
}

void logLineUnheld(const QString& line)
{
    writeLine(singleLine(line));
}

void HeldLines::release()
{
    m_mode = Mode::released;
    for (const QString& line : std::exchange(m_lines, {}))
        writeLine(line);
}

void HeldLines::drop()
{
    m_mode = Mode::dropped;
    m_lines.clear();
}

LogHold::LogHold(std::shared_ptr<HeldLines> lines) : m_lines(std::move(lines)), m_outer(t_held)
{
    if (m_lines)
        t_held = m_lines;
}

LogHold::~LogHold()
{
    if (m_lines)
        t_held = std::move(m_outer);
}

LogSink setLogSink(LogSink sink)
{
    return std::exchange(currentSink(), std::move(sink));
}

}  // namespace vortan
