#pragma once

#include "cli/arguments.h"

namespace brenvo::cli {

// `brenvo-cli demo`: two peers with file key stores in a temporary folder,
// on 127.0.0.1 and without any gateway, exchange cards as files; one offers
// a file of random bytes, the other downloads it. Prints both checksums and
// the speed. Returns the exit status; throws CliError.
int runDemoCommand(const Invocation& invocation);

}  // namespace brenvo::cli
