#include "bench/benchpair.h"

#include <QElapsedTimer>
#include <QFile>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace bench {

namespace {

// Room left on a command line for the file arguments: half of what the
// system allows, less the environment.
qsizetype commandLineRoom(Environment& env)
{
    qsizetype used = 0;
    for (char** e = env.get(); *e; ++e)
        used += qsizetype(qstrlen(*e)) + 1 + qsizetype(sizeof(char*));
    const long max = sysconf(_SC_ARG_MAX);
    return std::max<qsizetype>((max > 0 ? qsizetype(max) : 131072) / 2 - used, 16384);
}

}  // namespace

BrenvoPair::BrenvoPair(const QString& cli, const QString& root, Environment& env, bool log)
    : m_cli(cli)
    , m_root(root)
    , m_env(env)
    , m_log(log)
    , m_sam(root + QStringLiteral("/sam"))
    , m_val(root + QStringLiteral("/val"))
    , m_downloads(root + QStringLiteral("/downloads"))
{
}

QStringList BrenvoPair::arguments(const QString& data, const QStringList& rest) const
{
    QStringList args{QStringLiteral("--data-dir"), data, QStringLiteral("--key-store"), QStringLiteral("file")};
    if (m_log)
        args << QStringLiteral("--log") << data + QStringLiteral(".log");
    return args + rest;
}

bool BrenvoPair::card(const QString& data, const QString& name, quint16 port, const QString& file)
{
    return runToEnd(m_cli,
                    arguments(data, {QStringLiteral("card"), QStringLiteral("--name"), name, QStringLiteral("--address"),
                                     QStringLiteral("127.0.0.1"), QStringLiteral("--port"), QString::number(port),
                                     QStringLiteral("-o"), file}),
                    m_env, m_root);
}

bool BrenvoPair::introduce()
{
    m_samPort = freePort();
    const QString samCard = m_root + QStringLiteral("/sam.bcard"), valCard = m_root + QStringLiteral("/val.bcard");
    return card(m_sam, QStringLiteral("Sam"), m_samPort, samCard) && card(m_val, QStringLiteral("Val"), freePort(), valCard)
           && runToEnd(m_cli, arguments(m_sam, {QStringLiteral("import"), valCard}), m_env, m_root)
           && runToEnd(m_cli, arguments(m_val, {QStringLiteral("import"), samCard}), m_env, m_root);
}

int BrenvoPair::share(const QStringList& paths, int timeoutMs)
{
    const QStringList head = arguments(m_sam, {QStringLiteral("share"), QStringLiteral("--to"), QStringLiteral("Val")});
    const qsizetype room = commandLineRoom(m_env);
    int commands = 0;
    for (qsizetype next = 0; next < paths.size();) {
        QStringList args = head;
        qsizetype used = 0;
        for (; next < paths.size(); ++next) {
            const qsizetype length = paths[next].toLocal8Bit().size() + 1 + qsizetype(sizeof(char*));
            if (used + length > room && args.size() > head.size())
                break;
            args << paths[next];
            used += length;
        }
        if (!runToEnd(m_cli, args, m_env, m_root, timeoutMs))
            return 0;
        ++commands;
    }
    return commands;
}

BrenvoPair::Outcome BrenvoPair::run(int timeoutSeconds, int graceMs)
{
    Outcome outcome;
    const QString timeout = QString::number(timeoutSeconds);
    if (!spawn(m_sender, m_cli,
               arguments(m_sam, {QStringLiteral("run"), QStringLiteral("--no-upnp"), QStringLiteral("--no-tor"), QStringLiteral("--exit-when-done"),
                                 QStringLiteral("--timeout"), timeout}),
               m_env, m_sam + QStringLiteral(".out"), m_sam + QStringLiteral(".err")))
        return outcome;
    if (!waitForText(m_sam + QStringLiteral(".out"), "listening on port", 30000)) {
        std::fprintf(stderr, "the sender did not start listening\n");
        stop(m_sender, 5000);
        return outcome;
    }
    if (!spawn(m_receiver, m_cli,
               arguments(m_val, {QStringLiteral("run"), QStringLiteral("--no-upnp"), QStringLiteral("--no-tor"), QStringLiteral("--connect"),
                                 QStringLiteral("Sam"), QStringLiteral("--accept"), QStringLiteral("Sam"),
                                 QStringLiteral("--download-to"), m_downloads, QStringLiteral("--exit-when-done"),
                                 QStringLiteral("--timeout"), timeout}),
               m_env, m_val + QStringLiteral(".out"), m_val + QStringLiteral(".err"))) {
        stop(m_sender, 5000);
        return outcome;
    }
    // Both have --timeout; the limit here only catches a side that does not
    // keep to it. A sender has 60 s to leave after the receiver.
    const qint64 limitMs = qint64(timeoutSeconds) * 1000 + 60000;
    QElapsedTimer clock, senderGone, receiverGone;
    clock.start();
    for (;;) {
        const bool receiverDone = poll(m_receiver), senderDone = poll(m_sender);
        if (receiverDone && senderDone)
            break;
        if (senderDone && !senderGone.isValid())
            senderGone.start();
        if (receiverDone && !receiverGone.isValid())
            receiverGone.start();
        if (senderDone && senderGone.elapsed() > graceMs) {
            outcome.receiverStopped = true;
            stop(m_receiver, 10000);
        }
        if (receiverDone && receiverGone.elapsed() > 60000)
            stop(m_sender, 5000);
        if (clock.elapsed() > limitMs) {
            outcome.receiverStopped = !receiverDone;
            stop(m_receiver, 10000);
            stop(m_sender, 5000);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    outcome.senderOk = succeeded(m_sender);
    outcome.receiverOk = succeeded(m_receiver) && !outcome.receiverStopped;
    return outcome;
}

QByteArray BrenvoPair::tails(const QString& data, const char* name, int outLines, int errLines)
{
    QByteArray text;
    const auto add = [&](const QString& path, const char* what, int lines) {
        const qsizetype all = readAll(path).count('\n');
        text += QStringLiteral("  --- %1's %2, last %3 of %4 lines ---\n")
                    .arg(QLatin1String(name), QLatin1String(what))
                    .arg(std::min<qsizetype>(lines, all))
                    .arg(all)
                    .toUtf8();
        text += tail(path, lines) + '\n';
    };
    add(data + QStringLiteral(".out"), "standard output", outLines);
    add(data + QStringLiteral(".err"), "standard error", errLines);
    return text;
}

QByteArray BrenvoPair::senderTails(int outLines, int errLines) const
{
    return tails(m_sam, "Sam", outLines, errLines);
}

QByteArray BrenvoPair::receiverTails(int outLines, int errLines) const
{
    return tails(m_val, "Val", outLines, errLines);
}

}  // namespace bench
