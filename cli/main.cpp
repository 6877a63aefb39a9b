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

#include <csignal>
#include <exception>
#include <memory>
#include <optional>

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

    // The library's diagnostic lines: standard error, or appended to --log FILE.
    std::unique_ptr<QFile> log;
    std::optional<ScopedLogSink> sink;
    if (!inv.global.logFile.isEmpty()) {
        log = std::make_unique<QFile>(inv.global.logFile);
        if (!log->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
            throw failure(QStringLiteral("cannot open the log file %1: %2").arg(printable(inv.global.logFile), log->errorString()));
        QFile* file = log.get();
        sink.emplace([file](const QString& line) {
            file->write((line + QLatin1Char('\n')).toUtf8());
            file->flush();
        });
    } else {
        sink.emplace([](const QString& line) { writeErr(line + QLatin1Char('\n')); });
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
