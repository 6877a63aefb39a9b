#pragma once

#include "cli/arguments.h"
#include "control/remote.h"

#include <QByteArray>
#include <QString>

#include <functional>

namespace brenvo::cli {

// What a one-shot command printed and how it ended.
struct CommandOutput {
    QByteArray out;  // standard output (a card file with `card -o -`)
    QString err;     // standard error: whole lines, each "brenvo-cli: ..."
    int status = 0;  // the exit status
};

// Carries out one request: on the controller of this process, or through
// the control socket of the process that owns the support directory. May
// throw CliError (the exchange failed) and whatever the caller wants to see
// again outside executeCommand.
using Ask = std::function<control::Answer(const control::RemoteRequest&)>;

// card, import, users, files, share, pause, resume and remove: turns the
// invocation into requests (names and id prefixes resolved, paths made
// absolute from the working directory), asks them and words the answers.
// Failures are in err and status; exceptions other than std::exception
// thrown by ask pass through.
CommandOutput executeCommand(const Invocation& invocation, const Ask& ask);

// Whether the command is one of those.
bool isOneShotCommand(const QString& command);

}  // namespace brenvo::cli
