// brenvo-cli: the command-line front end of Brenvo.

#include "cli/arguments.h"
#include "cli/clierror.h"
#include "cli/commands.h"
#include "cli/demo.h"
#include "cli/runcommand.h"
#include "cli/session.h"
#include "cli/text.h"

#include <QCoreApplication>
#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>
#include <exception>
#include <memory>
#include <optional>

using namespace brenvo::cli;

namespace {

struct LogFile {
    int fd = -1;
    ~LogFile()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

int dispatch(const Invocation& inv)
{
    if (inv.version) {
        writeOut(QStringLiteral("brenvo-cli %1\n").arg(QStringLiteral(BRENVO_VERSION)));
        return kExitSuccess;
    }
    if (inv.help) {
        writeOut(helpText(inv.command));
        return kExitSuccess;
    }

    // The library's diagnostic lines: standard error, or appended to --log FILE.
    LogFile log;
    std::optional<ScopedLogSink> sink;
    if (!inv.global.logFile.isEmpty()) {
        log.fd = ::open(QFile::encodeName(inv.global.logFile).constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (log.fd < 0) {
            throw failure(QStringLiteral("cannot open the log file %1: %2")
                              .arg(printable(inv.global.logFile), QString::fromLocal8Bit(std::strerror(errno))));
        }
        // The file gets everything, the lines of each message and block too.
        vortan::setDebugDiagnostics(true);
        sink.emplace([fd = log.fd](QtMsgType, const char*, const QString& line) {
            writeBytes(fd, (line + QLatin1Char('\n')).toUtf8());
        });
    } else {
        sink.emplace([](QtMsgType, const char*, const QString& line) { writeErr(line + QLatin1Char('\n')); });
    }

    if (isOneShotCommand(inv.command))
        return runOneShotCommand(inv);
    if (inv.command == QLatin1String("run"))
        return runRunCommand(inv);
    if (inv.command == QLatin1String("demo"))
        return runDemoCommand(inv);
    throw usageError(QStringLiteral("unknown command \"%1\"").arg(printable(inv.command)));
}

}  // namespace

int main(int argc, char** argv)
{
    // Every block passes through a few buffers of 128 KiB and more, made and
    // freed once per block. With glibc's adaptive settings the heap top is
    // given back to the system after each and the next block faults fresh
    // zeroed pages in: that cost the sender over half its time. Keep such
    // buffers in the heap and keep the heap.
    mallopt(M_MMAP_THRESHOLD, 8 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 32 * 1024 * 1024);

    // A closed pipe on standard output must not end the process before it
    // has saved its state.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("brenvo-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(BRENVO_VERSION));

    try {
        return dispatch(parseArguments(QCoreApplication::arguments()));
    } catch (const CliError& e) {
        QString line = QStringLiteral("brenvo-cli: ") + e.message();
        if (e.status() == kExitUsage)
            line += QStringLiteral(" (see brenvo-cli --help)");
        writeErr(line + QLatin1Char('\n'));
        return e.status();
    } catch (const std::exception& e) {
        writeErr(QStringLiteral("brenvo-cli: %1\n").arg(printable(QString::fromUtf8(e.what()))));
        return kExitFailure;
    }
}
