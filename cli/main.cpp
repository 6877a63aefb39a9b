// brenvo-cli: the command-line front end of Brenvo.

#include "cli/arguments.h"
#include "cli/clierror.h"
#include "cli/oneshot.h"
#include "cli/commands.h"
#include "cli/demo.h"
#include "cli/logrouting.h"
#include "cli/runcommand.h"
#include "cli/session.h"
#include "cli/text.h"
#include "cli/watch.h"

#include <QCoreApplication>

#include <csignal>
#include <malloc.h>
#include <exception>

using namespace brenvo::cli;

namespace {

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

    const LogRouting logRouting(inv.global);

    if (inv.command == QLatin1String("files") && inv.watch)
        return runFilesWatch(inv);
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
