#pragma once

#include <QString>

#include <stdexcept>

namespace brenvo::cli {

// Exit statuses of brenvo-cli.
enum ExitStatus : int {
    kExitSuccess = 0,
    kExitFailure = 1,
    kExitUsage = 2,
};

// A failure that ends the command: message() is the one line shown to the
// user (without the program's name), status() the exit status.
class CliError : public std::runtime_error {
public:
    CliError(int status, const QString& message)
        : std::runtime_error(message.toStdString()), m_status(status), m_message(message)
    {
    }
    int status() const { return m_status; }
    const QString& message() const { return m_message; }

private:
    int m_status;
    QString m_message;
};

// The command line is wrong (exit status 2).
inline CliError usageError(const QString& message)
{
    return CliError(kExitUsage, message);
}

// What was asked cannot be done (exit status 1).
inline CliError failure(const QString& message)
{
    return CliError(kExitFailure, message);
}

}  // namespace brenvo::cli
