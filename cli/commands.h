#pragma once

#include "cli/arguments.h"

namespace brenvo::cli {

// card, import, users, files, share, pause, resume and remove: each loads the
// stored state, acts, saves and returns at once. They never listen and never
// talk to the gateway. Returns the exit status; throws CliError.
int runOneShotCommand(const Invocation& invocation);

// Whether the command is one of those.
bool isOneShotCommand(const QString& command);

}  // namespace brenvo::cli
