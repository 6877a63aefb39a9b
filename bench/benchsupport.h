#pragma once

// Helpers the benchmarks share: child processes with their resource usage,
// their environment, files with checksums, free ports, the event loop.

#include <QByteArray>
#include <QElapsedTimer>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <sys/resource.h>
#include <sys/time.h>
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <vector>

namespace bench {

inline double mb(double bytes)
{
    return bytes / 1e6;
}

inline double mib(double bytes)
{
    return bytes / (1024.0 * 1024.0);
}

inline double seconds(const timeval& t)
{
    return double(t.tv_sec) + double(t.tv_usec) / 1e6;
}

// A child process started with posix_spawn, its output in files.
struct Child {
    pid_t pid = -1;
    QString out;
    QString err;
    int status = -1;
    rusage usage{};
    double wallSeconds = 0;
    QElapsedTimer clock;

    bool finished() const { return pid < 0; }
    double peakRssMiB() const { return double(usage.ru_maxrss) / 1024.0; }
};

// An environment block for posix_spawn.
class Environment {
public:
    explicit Environment(const QProcessEnvironment& env);
    char** get() { return m_pointers.data(); }

private:
    std::vector<QByteArray> m_strings;
    std::vector<char*> m_pointers;
};

// Starts program with stdin from /dev/null and stdout, stderr into files.
bool spawn(Child& child, const QString& program, const QStringList& arguments, Environment& env, const QString& out,
           const QString& err);
// Whether the child has ended (its status and usage are then in child);
// does not wait.
bool poll(Child& child);
// Waits for the child at most timeoutMs; kills it after that. Whether it
// exited with status 0.
bool reap(Child& child, int timeoutMs);
// Whether the child has ended with exit status 0.
bool succeeded(const Child& child);
// "exit status 1", "killed by signal 9", "still running".
QString describeStatus(const Child& child);
// SIGTERM, then SIGKILL when the child has not ended after graceMs.
void stop(Child& child, int graceMs);
// spawn and reap, with the output in numbered files of folder; prints the
// end of its standard error when it fails.
bool runToEnd(const QString& program, const QStringList& arguments, Environment& env, const QString& folder,
              int timeoutMs = 60000, Child* result = nullptr);

QByteArray readAll(const QString& path);
// The last lines of the file.
QByteArray tail(const QString& path, int lines);
// Polls the file until it contains text.
bool waitForText(const QString& path, const QByteArray& text, int timeoutMs);
// Runs the event loop until done() holds; false after timeoutMs.
bool runUntil(const std::function<bool()>& done, int timeoutMs);
// The environment for brenvo-cli processes: a home of their own in root,
// no session bus and an unreachable system bus.
QProcessEnvironment isolatedEnvironment(const QString& root);
// A port nothing listens on on 127.0.0.1 right now.
quint16 freePort();
// size random bytes into path; returns their SHA-256.
QByteArray writeRandomFile(const QString& path, std::int64_t size);
QByteArray sha256(const QString& path);

}  // namespace bench
