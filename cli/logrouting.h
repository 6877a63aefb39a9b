#pragma once

#include "cli/arguments.h"

#include <QString>

#include <functional>

namespace brenvo::cli {

// Where diagnostic lines go, for the library's categories (vortan.*) and
// every other Qt message alike:
//  - standard error: warnings and worse; with --verbose every line, the
//    debug lines of each message and block included;
//  - --log FILE: every line, debug lines included (appended).
// One instance, in main(), for the life of the command. Throws CliError when
// the log file cannot be opened.
class LogRouting {
public:
    explicit LogRouting(const GlobalOptions& options);
    ~LogRouting();

    LogRouting(const LogRouting&) = delete;
    LogRouting& operator=(const LogRouting&) = delete;

    // Lines meant for standard error go to writer instead (the progress view
    // interleaves them with its bars); an empty writer restores standard error.
    static void setTerminalWriter(std::function<void(const QString& line)> writer);

    // Whether a line of this level is shown on standard error.
    static bool shownOnTerminal(QtMsgType type, bool verbose);

    // Shows a report of the library for the user on the terminal, as
    // "brenvo-cli: warning: MESSAGE", in place of the warning line of the same
    // text that the library logs after it (the log file still gets that).
    static void userWarning(const QString& message);
};

// Routes the terminal's diagnostic lines to a writer for as long as it lives.
class ScopedTerminalWriter {
public:
    explicit ScopedTerminalWriter(std::function<void(const QString& line)> writer)
    {
        LogRouting::setTerminalWriter(std::move(writer));
    }
    ~ScopedTerminalWriter() { LogRouting::setTerminalWriter({}); }
    ScopedTerminalWriter(const ScopedTerminalWriter&) = delete;
    ScopedTerminalWriter& operator=(const ScopedTerminalWriter&) = delete;
};

}  // namespace brenvo::cli
