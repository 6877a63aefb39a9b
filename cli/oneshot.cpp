#include "cli/oneshot.h"

#include "cli/clierror.h"
#include "cli/commands.h"
#include "cli/session.h"
#include "cli/text.h"
#include "control/controlclient.h"
#include "control/remotecommands.h"
#include "vortan/directories.h"

#include <QDir>

#include <optional>
#include <unistd.h>

namespace brenvo::cli {

namespace {

// A share of a large file, or a slow disk, may take the instance a moment.
constexpr std::chrono::seconds kRemoteTimeout{20};

QString supportDirectoryOf(const GlobalOptions& options)
{
    return options.dataDir.isEmpty() ? vortan::defaultSupportDirectory() : QDir(options.dataDir).absolutePath();
}

void print(const CommandOutput& output)
{
    writeBytes(STDOUT_FILENO, output.out);
    writeErr(output.err);
}

}  // namespace

std::optional<CommandOutput> askRunningInstance(const Invocation& inv)
{
    // Thrown through executeCommand when the first request finds nobody.
    struct NobodyAnswers {};

    const QString supportDirectory = supportDirectoryOf(inv.global);
    const control::ControlClient client(supportDirectory);
    bool reached = false;
    const Ask ask = [&](const control::RemoteRequest& request) {
        const control::ClientResult result = client.send(request, kRemoteTimeout);
        if (result.status == control::ClientResult::Status::NoInstance && !reached)
            throw NobodyAnswers{};
        if (result.status != control::ClientResult::Status::Answered)
            throw failure(QStringLiteral("cannot reach the program that uses %1: %2")
                              .arg(printable(supportDirectory), printable(result.error)));
        reached = true;
        const auto* error = std::get_if<control::ErrorAnswer>(&result.answer);
        if (error && error->kind == control::ErrorAnswer::Kind::refused) {
            // Refused as a whole ("busy", an instance that runs no commands).
            throw failure(QStringLiteral("the program that uses %1 refused the command: %2")
                              .arg(printable(supportDirectory), printable(error->detail)));
        }
        return result.answer;
    };
    try {
        return executeCommand(inv, ask);
    } catch (const NobodyAnswers&) {
        return std::nullopt;
    }
}

int runOneShotCommand(const Invocation& inv)
{
    if (std::optional<CommandOutput> remote = askRunningInstance(inv)) {
        print(*remote);
        return remote->status;
    }
    Session session(inv.global, Session::Kind::oneShot);
    session.start(false, false);
    control::RemoteCommands commands(session.controller());
    const CommandOutput output = executeCommand(inv, [&commands](const control::RemoteRequest& request) {
        return commands.handle(request);
    });
    print(output);
    return output.status;
}

}  // namespace brenvo::cli
