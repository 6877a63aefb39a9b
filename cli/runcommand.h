#pragma once

#include "cli/arguments.h"
#include "cli/progress.h"

#include <cstdint>
#include <functional>

namespace brenvo::cli {

// `brenvo-cli run`: runs the controller until a signal, the time-out or (with
// --exit-when-done) the end of the transfers. Returns the exit status;
// throws CliError for what stops it before it runs.
int runRunCommand(const Invocation& invocation);

// Whether standard output is a terminal that can show live bars, and its width.
bool stdoutIsLiveTerminal();
bool stderrIsTerminal();
int terminalColumns();

// A progress view on standard output (live bars on a terminal), with the
// diagnostic lines on standard error unless they go to --log.
ProgressView::Options consoleViewOptions(const Invocation& invocation, std::function<std::int64_t()> nowMs);

}  // namespace brenvo::cli
