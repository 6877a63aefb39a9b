#include "cli/logrouting.h"

#include "cli/clierror.h"
#include "cli/text.h"
#include "vortan/diagnostics.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace brenvo::cli {

namespace {

struct Routes {
    bool verbose = false;
    int logFd = -1;
    std::function<void(const QString&)> terminal;
    QStringList shownAsWarnings;  // library lines already shown by userWarning()
};

Routes& routes()
{
    static Routes r;
    return r;
}

void toTerminal(const QString& line)
{
    Routes& r = routes();
    if (r.terminal)
        r.terminal(line);
    else
        writeErr(line + QLatin1Char('\n'));
}

void route(QtMsgType type, const QString& line)
{
    Routes& r = routes();
    if (r.logFd >= 0)
        writeBytes(r.logFd, (line + QLatin1Char('\n')).toUtf8());
    if (!LogRouting::shownOnTerminal(type, r.verbose))
        return;
    if (type == QtWarningMsg && r.shownAsWarnings.removeOne(line))
        return;
    toTerminal(line);
}

void qtMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    const bool named = context.category && std::strcmp(context.category, "default") != 0;
    route(type, named ? QStringLiteral("%1: %2").arg(QString::fromUtf8(context.category), message) : message);
}

}  // namespace

bool LogRouting::shownOnTerminal(QtMsgType type, bool verbose)
{
    return verbose || type == QtWarningMsg || type == QtCriticalMsg || type == QtFatalMsg;
}

LogRouting::LogRouting(const GlobalOptions& options)
{
    Routes& r = routes();
    r.verbose = options.verbose;
    if (!options.logFile.isEmpty()) {
        r.logFd = ::open(QFile::encodeName(options.logFile).constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (r.logFd < 0) {
            throw failure(QStringLiteral("cannot open the log file %1: %2")
                              .arg(printable(options.logFile), QString::fromLocal8Bit(std::strerror(errno))));
        }
    }
    // The lines of each message and block cost time: only when asked for.
    vortan::setDebugDiagnostics(options.verbose || r.logFd >= 0);
    vortan::setLogSink([](QtMsgType type, const char*, const QString& line) { route(type, line); });
    qInstallMessageHandler(qtMessage);
}

LogRouting::~LogRouting()
{
    qInstallMessageHandler(nullptr);
    vortan::setLogSink({});
    Routes& r = routes();
    if (r.logFd >= 0)
        ::close(r.logFd);
    r = Routes{};
}

void LogRouting::userWarning(const QString& message)
{
    Routes& r = routes();
    // A few at most are waiting: each report is logged right after it.
    if (r.shownAsWarnings.size() >= 16)
        r.shownAsWarnings.removeFirst();
    r.shownAsWarnings.append(message);
    toTerminal(QStringLiteral("brenvo-cli: warning: ") + printable(message));
}

void LogRouting::setTerminalWriter(std::function<void(const QString&)> writer)
{
    routes().terminal = std::move(writer);
}

}  // namespace brenvo::cli
