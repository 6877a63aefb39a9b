#pragma once

#include <QString>

#include <functional>

namespace vortan {

// Every diagnostic line of the library goes through here: one line per event,
// plain text, written to standard output unless a sink has been installed.
void logLine(const QString& line);

using LogSink = std::function<void(const QString& line)>;

// Installs a sink for the diagnostic lines (an empty one restores standard
// output) and returns the previous one. Call it from the main thread.
LogSink setLogSink(LogSink sink);

}  // namespace vortan
