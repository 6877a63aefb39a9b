#pragma once

#include "vortan/diagnostics.h"

#include <QLoggingCategory>
#include <QList>
#include <QString>

#include <memory>

namespace vortan {

Q_DECLARE_LOGGING_CATEGORY(lcFramer)
Q_DECLARE_LOGGING_CATEGORY(lcConnection)
Q_DECLARE_LOGGING_CATEGORY(lcPeer)
Q_DECLARE_LOGGING_CATEGORY(lcListener)
Q_DECLARE_LOGGING_CATEGORY(lcKeys)
Q_DECLARE_LOGGING_CATEGORY(lcController)
Q_DECLARE_LOGGING_CATEGORY(lcTransfer)
Q_DECLARE_LOGGING_CATEGORY(lcPortMapping)
Q_DECLARE_LOGGING_CATEGORY(lcPresence)
Q_DECLARE_LOGGING_CATEGORY(lcTor)

// Every diagnostic line of the library goes through here: one line per
// event, dropped unless its category is enabled at its level.
void logLine(const QLoggingCategory& category, QtMsgType type, const QString& line);

// Writes the line even while a LogHold holds this thread's lines.
void logLineUnheld(const QLoggingCategory& category, QtMsgType type, const QString& line);

// The lines of one connection that has not yet proven who it is. They are
// held back while a LogHold on them is alive, then written all at once when
// the connection is authenticated (release) or thrown away when it fails
// first (drop): a refused connection then costs no line of its own.
class HeldLines {
public:
    // Writes the held lines; later lines go straight out.
    void release();
    // Forgets the held lines; later lines are dropped too.
    void drop();
    // The last line held, if any (what the connection was doing when it failed).
    QString lastLine() const { return m_lines.isEmpty() ? QString() : m_lines.last().text; }

private:
    friend void logLine(const QLoggingCategory& category, QtMsgType type, const QString& line);
    struct Line {
        const QLoggingCategory* category;
        QtMsgType type;
        QString text;
    };
    enum class Mode { holding, released, dropped };
    Mode m_mode = Mode::holding;
    QList<Line> m_lines;
};

// While alive, logLine() on this thread goes to these held lines (nested
// holds: the innermost). A null pointer holds nothing.
class LogHold {
public:
    explicit LogHold(std::shared_ptr<HeldLines> lines);
    ~LogHold();
    LogHold(const LogHold&) = delete;
    LogHold& operator=(const LogHold&) = delete;

private:
    std::shared_ptr<HeldLines> m_lines;
    std::shared_ptr<HeldLines> m_outer;
};

inline void logDebug(const QLoggingCategory& category, const QString& line)
{
    if (category.isDebugEnabled())
        logLine(category, QtDebugMsg, line);
}
inline void logInfo(const QLoggingCategory& category, const QString& line)
{
    logLine(category, QtInfoMsg, line);
}
inline void logWarning(const QLoggingCategory& category, const QString& line)
{
    logLine(category, QtWarningMsg, line);
}

}  // namespace vortan
