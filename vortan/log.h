#pragma once

#include <QString>

#include <QStringList>

#include <functional>
#include <memory>

namespace vortan {

// Every diagnostic line of the library goes through here: one line per event,
// plain text, written to standard output unless a sink has been installed.
void logLine(const QString& line);

// Writes the line even while a LogHold holds this thread's lines.
void logLineUnheld(const QString& line);

using LogSink = std::function<void(const QString& line)>;

// Installs a sink for the diagnostic lines (an empty one restores standard
// output) and returns the previous one. Call it from the main thread.
LogSink setLogSink(LogSink sink);

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
    QString lastLine() const { return m_lines.isEmpty() ? QString() : m_lines.last(); }

private:
    friend void logLine(const QString& line);
    enum class Mode { holding, released, dropped };
    Mode m_mode = Mode::holding;
    QStringList m_lines;
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

}  // namespace vortan
