#pragma once

#include "cli/arguments.h"
#include "cli/commands.h"

#include <optional>

namespace brenvo::cli {

// card, import, users, files, share, pause, resume and remove from the
// command line: handed to the process that owns the support directory when
// one answers on its control socket, else carried out here (load, act,
// save). Prints what the command prints; returns its exit status; throws
// CliError when neither can be done.
int runOneShotCommand(const Invocation& invocation);

// The command carried out by the process that owns the support directory,
// or nothing when none answers; a failed exchange is in the output.
std::optional<CommandOutput> askRunningInstance(const Invocation& invocation);

}  // namespace brenvo::cli
