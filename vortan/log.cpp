#include "vortan/log.h"

#include <utility>

namespace vortan {

// Debug lines (each message, each block) are off unless asked for.
Q_LOGGING_CATEGORY(lcFramer, "vortan.framer", QtInfoMsg)
Q_LOGGING_CATEGORY(lcConnection, "vortan.connection", QtInfoMsg)
Q_LOGGING_CATEGORY(lcPeer, "vortan.peer", QtInfoMsg)
Q_LOGGING_CATEGORY(lcListener, "vortan.listener", QtInfoMsg)
Q_LOGGING_CATEGORY(lcKeys, "vortan.keys", QtInfoMsg)
Q_LOGGING_CATEGORY(lcController, "vortan.controller", QtInfoMsg)
Q_LOGGING_CATEGORY(lcTransfer, "vortan.transfer", QtInfoMsg)
Q_LOGGING_CATEGORY(lcPortMapping, "vortan.portmapping", QtInfoMsg)
Q_LOGGING_CATEGORY(lcPresence, "vortan.presence", QtInfoMsg)
Q_LOGGING_CATEGORY(lcTor, "vortan.tor", QtInfoMsg)

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

thread_local std::shared_ptr<HeldLines> t_held;

void writeLine(const QLoggingCategory& category, QtMsgType type, const QString& line)
{
    if (const LogSink& sink = currentSink()) {
        sink(type, category.categoryName(), line);
        return;
    }
    QMessageLogger logger(nullptr, 0, nullptr, category.categoryName());
    switch (type) {
    case QtDebugMsg:
        logger.debug("%s", qUtf8Printable(line));
        break;
    case QtInfoMsg:
        logger.info("%s", qUtf8Printable(line));
        break;
    default:
        logger.warning("%s", qUtf8Printable(line));
        break;
    }
}

}  // namespace

void logLine(const QLoggingCategory& category, QtMsgType type, const QString& rawLine)
{
    if (!category.isEnabled(type))
        return;
    const QString line = singleLine(rawLine);
    if (HeldLines* held = t_held.get()) {
        switch (held->m_mode) {
        case HeldLines::Mode::holding:
            held->m_lines.append(HeldLines::Line{&category, type, line});
            return;
        case HeldLines::Mode::dropped:
            return;
        case HeldLines::Mode::released:
            break;
        }
    }
    writeLine(category, type, line);
}

void logLineUnheld(const QLoggingCategory& category, QtMsgType type, const QString& line)
{
    if (category.isEnabled(type))
        writeLine(category, type, singleLine(line));
}

void HeldLines::release()
{
    m_mode = Mode::released;
    for (const Line& line : std::exchange(m_lines, {}))
        writeLine(*line.category, line.type, line.text);
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

void setDebugDiagnostics(bool on)
{
    QLoggingCategory::setFilterRules(on ? QStringLiteral("vortan.*.debug=true") : QStringLiteral("vortan.*.debug=false"));
}

}  // namespace vortan
