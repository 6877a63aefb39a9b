#pragma once

#include "vortan/keystorechoice.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace brenvo::cli {

// Options every command takes, before or after the command's name.
struct GlobalOptions {
    QString dataDir;  // empty: the standard support directory
    vortan::KeyStoreChoice keyStore = vortan::KeyStoreChoice::automatic;
    QString logFile;  // empty: no log file
    bool verbose = false;  // every diagnostic line on standard error, not only warnings
};

// One parsed command line. Fields that do not belong to the command keep
// their defaults.
struct Invocation {
    GlobalOptions global;
    QString command;  // empty with help: the overview
    bool help = false;
    bool version = false;
    QStringList operands;  // FILE... or ID...

    // card
    std::optional<QString> name;
    std::optional<QString> address;  // an empty text clears the address
    std::optional<std::uint16_t> port;
    QString output;  // empty: print the card; "-": the card file on standard output

    // files
    bool watch = false;

    // share
    QStringList to;

    // resume
    QString resumeTo;

    // run
    bool noListen = false;
    bool mapPort = false;
    bool noUpnp = false;
    bool noTor = false;
    bool noDirect = false;
    QString torControl;  // an already running tor's control socket
    QString torTorrc;    // a file whose lines our own tor's torrc gets
    bool exitWhenDone = false;
    bool noAutoConnect = false;
    QStringList connect;
    QStringList accept;
    QString downloadTo;
    std::optional<double> timeoutSeconds;

    // demo
    std::optional<std::int64_t> size;
};

// Parses arguments (the program's name first). Throws CliError with status 2
// for anything the command line gets wrong.
Invocation parseArguments(const QStringList& arguments);

// The text --help prints: the overview for an empty command.
QString helpText(const QString& command);

// Every command's name, in the order of the overview.
const QStringList& commandNames();

}  // namespace brenvo::cli
