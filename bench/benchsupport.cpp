#include "bench/benchsupport.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QRandomGenerator>
#include <QTcpServer>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

namespace bench {

Environment::Environment(const QProcessEnvironment& env)
{
    for (const QString& key : env.keys())
        m_strings.push_back((key + QLatin1Char('=') + env.value(key)).toLocal8Bit());
    for (QByteArray& s : m_strings)
        m_pointers.push_back(s.data());
    m_pointers.push_back(nullptr);
}

bool spawn(Child& child, const QString& program, const QStringList& arguments, Environment& env, const QString& out,
           const QString& err)
{
    child.out = out;
    child.err = err;
    std::vector<QByteArray> args{QFile::encodeName(program)};
    for (const QString& a : arguments)
        args.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, QFile::encodeName(out).constData(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, QFile::encodeName(err).constData(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    child.clock.start();
    const int rc = posix_spawn(&child.pid, argv[0], &actions, nullptr, argv.data(), env.get());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        std::fprintf(stderr, "cannot start %s: %s\n", argv[0], strerror(rc));
        child.pid = -1;
        return false;
    }
    return true;
}

bool poll(Child& child)
{
    if (child.pid < 0)
        return true;
    if (wait4(child.pid, &child.status, WNOHANG, &child.usage) != child.pid)
        return false;
    child.wallSeconds = double(child.clock.nsecsElapsed()) / 1e9;
    child.pid = -1;
    return true;
}

bool succeeded(const Child& child)
{
    return child.finished() && WIFEXITED(child.status) && WEXITSTATUS(child.status) == 0;
}

QString describeStatus(const Child& child)
{
    if (!child.finished())
        return QStringLiteral("still running");
    if (WIFEXITED(child.status))
        return QStringLiteral("exit status %1").arg(WEXITSTATUS(child.status));
    if (WIFSIGNALED(child.status))
        return QStringLiteral("killed by signal %1").arg(WTERMSIG(child.status));
    return QStringLiteral("status %1").arg(child.status);
}

void stop(Child& child, int graceMs)
{
    if (child.pid < 0)
        return;
    kill(child.pid, SIGTERM);
    reap(child, graceMs);
}

bool reap(Child& child, int timeoutMs)
{
    if (child.pid < 0)
        return false;
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        if (poll(child))
            return succeeded(child);
        if (waited.elapsed() > timeoutMs) {
            kill(child.pid, SIGKILL);
            wait4(child.pid, &child.status, 0, &child.usage);
            child.wallSeconds = double(child.clock.nsecsElapsed()) / 1e9;
            child.pid = -1;
            std::fprintf(stderr, "timed out; killed\n");
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

bool runToEnd(const QString& program, const QStringList& arguments, Environment& env, const QString& folder,
              int timeoutMs, Child* result)
{
    Child child;
    static int counter = 0;
    ++counter;
    if (!spawn(child, program, arguments, env, QStringLiteral("%1/cmd%2.out").arg(folder).arg(counter),
               QStringLiteral("%1/cmd%2.err").arg(folder).arg(counter)))
        return false;
    const bool ok = reap(child, timeoutMs);
    if (!ok) {
        QFile err(child.err);
        err.open(QIODevice::ReadOnly);
        std::fprintf(stderr, "%s %s failed:\n%s\n", qPrintable(program), qPrintable(arguments.join(QLatin1Char(' '))),
                     err.readAll().right(2000).constData());
    }
    if (result)
        *result = child;
    return ok;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

QByteArray tail(const QString& path, int lines)
{
    QByteArray text = readAll(path);
    if (text.endsWith('\n'))
        text.chop(1);
    qsizetype from = text.size();
    for (int i = 0; i < lines && from > 0; ++i)
        from = text.lastIndexOf('\n', from - 1);
    return from <= 0 ? text : text.mid(from + 1);
}

bool waitForText(const QString& path, const QByteArray& text, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < timeoutMs) {
        if (readAll(path).contains(text))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

bool runUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

QProcessEnvironment isolatedEnvironment(const QString& root)
{
    const QString home = root + QStringLiteral("/home");
    QDir().mkpath(home + QStringLiteral("/.local/share"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
    env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), QStringLiteral("unix:path=") + root + QStringLiteral("/no-bus"));
    return env;
}

quint16 freePort()
{
    QTcpServer server;
    return server.listen(QHostAddress::LocalHost, 0) ? server.serverPort() : 0;
}

QByteArray writeRandomFile(const QString& path, std::int64_t size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    // No more random bytes than the file takes: small files come by the
    // thousand.
    const qsizetype chunkSize = qsizetype(std::min<std::int64_t>(size + 3, 4 << 20)) / 4 * 4;
    QByteArray chunk(chunkSize, Qt::Uninitialized);
    for (std::int64_t left = size; left > 0;) {
        const qint64 n = std::min<std::int64_t>(left, chunk.size());
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(chunk.data()), size_t(chunk.size() / 4));
        file.write(chunk.constData(), n);
        hash.addData(QByteArrayView(chunk.constData(), n));
        left -= n;
    }
    return hash.result();
}

QByteArray sha256(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&f);
    return hash.result();
}

}  // namespace bench
