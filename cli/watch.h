#pragma once

#include "cli/arguments.h"

namespace brenvo::cli {

// `files --watch`: asks the process that owns the support directory for the
// catalogue every second and shows it (redrawn on a terminal, else printed
// again whenever it changed) until SIGINT or SIGTERM (status 130 / 143) or
// until that process ends (status 1). Throws CliError when none runs.
int runFilesWatch(const Invocation& invocation);

}  // namespace brenvo::cli
