#include "cli/oneshot.h"

#include "cli/clierror.h"
#include "cli/commands.h"
#include "cli/session.h"
#include "cli/text.h"
#include "control/controlclient.h"
#include "vortan/directories.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

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
    // The card for standard output comes back as a file: answers carry text.
    std::optional<QTemporaryDir> cardFolder;
    Invocation sent = inv;
    if (inv.command == QLatin1String("card") && inv.output == QLatin1String("-")) {
        cardFolder.emplace();
        if (!cardFolder->isValid())
            throw failure(QStringLiteral("cannot create a temporary folder: %1").arg(cardFolder->errorString()));
        sent.output = cardFolder->filePath(QStringLiteral("card.bcard"));
    }

    const control::ControlClient client(supportDirectoryOf(inv.global));
    const control::ClientResult result =
        client.send(control::CommandRequest{inv.command, commandArguments(sent)}, kRemoteTimeout);
    if (result.status == control::ClientResult::Status::NoInstance)
        return std::nullopt;
    if (result.status == control::ClientResult::Status::Failed)
        throw failure(QStringLiteral("cannot reach the program that uses %1: %2")
                          .arg(printable(supportDirectoryOf(inv.global)), printable(result.error)));

    const control::Answer& answer = result.answer;
    CommandOutput output;
    output.status = answer.status;
    output.err = answer.ok ? QString() : answer.error;
    if (!answer.ok && answer.status == kExitSuccess) {
        // Refused as a whole ("busy", an instance that runs no commands).
        output.status = kExitFailure;
        output.err = QStringLiteral("brenvo-cli: the program that uses %1 refused the command: %2\n")
                         .arg(printable(supportDirectoryOf(inv.global)), printable(answer.error));
    }
    if (cardFolder && output.status == kExitSuccess) {
        QFile card(sent.output);
        if (!card.open(QIODevice::ReadOnly))
            throw failure(QStringLiteral("cannot read the card the running program wrote: %1").arg(card.errorString()));
        output.out = card.readAll();
    } else {
        output.out = answer.output.toUtf8();
    }
    return output;
}

int runOneShotCommand(const Invocation& inv)
{
    if (std::optional<CommandOutput> remote = askRunningInstance(inv)) {
        print(*remote);
        return remote->status;
    }
    Session session(inv.global, Session::Kind::oneShot);
    session.start(false, false);
    const CommandOutput output = executeCommand(session.controller(), inv);
    print(output);
    return output.status;
}

}  // namespace brenvo::cli
