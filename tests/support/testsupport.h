#pragma once

#include "vortan/diagnostics.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>

namespace vortan::test {

// Collects the library's diagnostic lines while it lives.
class LogCapture {
public:
    // Captures the library's lines while it lives; withDebugLines turns on
    // the lines of each message and block, which are off by default.
    explicit LogCapture(bool withDebugLines = true);
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    const QStringList& lines() const { return m_lines; }
    bool contains(const QString& line) const { return m_lines.contains(line); }
    // Index of the first line equal to line at or after from; -1 when absent.
    qsizetype indexOf(const QString& line, qsizetype from = 0) const { return m_lines.indexOf(line, from); }
    // Lines starting with prefix.
    QStringList startingWith(const QString& prefix) const;
    void clear() { m_lines.clear(); }

private:
    QStringList m_lines;
    LogSink m_previous;
};

// Runs the event loop until condition() holds or the timeout passes.
// Returns whether the condition held.
bool waitFor(const std::function<bool()>& condition, int timeoutMs = 10000);

// Reads a whole file; empty on failure.
QByteArray readFile(const QString& path);
bool writeFile(const QString& path, const QByteArray& bytes);

// A TCP port nothing listens on, for a program that is to listen on it later.
// It comes from below the kernel's ephemeral range, so the outgoing
// connections of tests running alongside cannot take it in the meantime;
// 0 when none could be found.
quint16 unusedPort();

// size bytes from a simple generator seeded with seed.
QByteArray generatedBytes(qint64 size, int seed = 1);

}  // namespace vortan::test
