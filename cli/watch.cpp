#include "cli/watch.h"

#include "cli/clierror.h"
#include "cli/commands.h"
#include "cli/oneshot.h"
#include "cli/runcommand.h"
#include "cli/stopsignals.h"
#include "cli/text.h"

#include <QEventLoop>
#include <QTimer>

#include <optional>
#include <unistd.h>

namespace brenvo::cli {

namespace {

constexpr int kWatchIntervalMs = 1000;

}  // namespace

int runFilesWatch(const Invocation& inv)
{
    Invocation files = inv;
    files.watch = false;
    std::optional<CommandOutput> first = askRunningInstance(files);
    if (!first)
        throw failure(QStringLiteral("files --watch shows a running brenvo-cli run or Brenvo, and none uses this data directory"));

    const bool live = stdoutIsLiveTerminal();
    QByteArray shown;
    int status = kExitSuccess;
    QEventLoop loop;
    const auto show = [&](const CommandOutput& output) {
        if (output.status != kExitSuccess) {
            writeErr(output.err);
            status = output.status;
            loop.quit();
            return;
        }
        if (output.out == shown)
            return;
        shown = output.out;
        // Home, clear to the end: the table is drawn over the last one.
        writeBytes(STDOUT_FILENO, live ? QByteArray("\x1b[H\x1b[J") + shown : shown + '\n');
    };
    show(*first);

    StopSignals stopSignals;
    QObject::connect(&stopSignals, &StopSignals::stopRequested, &loop, [&](int number) {
        status = 128 + number;
        loop.quit();
    });
    QTimer poll;
    poll.setInterval(kWatchIntervalMs);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        try {
            std::optional<CommandOutput> next = askRunningInstance(files);
            if (!next) {
                writeErr(QStringLiteral("brenvo-cli: the program that used the data directory has ended\n"));
                status = kExitFailure;
                loop.quit();
                return;
            }
            show(*next);
        } catch (const CliError& e) {
            writeErr(QStringLiteral("brenvo-cli: ") + e.message() + QLatin1Char('\n'));
            status = e.status();
            loop.quit();
        }
    });
    if (status == kExitSuccess) {
        poll.start();
        loop.exec();
    }
    return status;
}

}  // namespace brenvo::cli
