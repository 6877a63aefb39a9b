#pragma once

#include "vortan/keystorechoice.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <variant>

namespace brenvo {

// How the program was started.
struct AppOptions {
    QString supportDirectory;  // --data-dir; empty: the default
    vortan::KeyStoreChoice keyStore = vortan::KeyStoreChoice::automatic;
    QString settingsPath;      // empty: the default settings file
    bool verbose = false;      // --verbose: the library's debug lines too
    bool useGateway = true;    // off only for tests (BRENVO_NO_GATEWAY)
    // Whether the setting "Reach people over the internet through Tor" may
    // start tor: off with --no-tor (tests), and where options are made by hand.
    bool mayUseTor = false;
    bool background = false;   // --background: no window at launch
    QStringList urls;          // brenvo:// links to open
    QStringList cards;         // card files to import (absolute paths)
};

// A command line that cannot be used: what to print, and the exit status.
struct AppUsage {
    QString text;
    int status = 2;
};

// Reads the command line (arguments()[0] is the program). Positional
// arguments are brenvo: links or card files.
std::variant<AppOptions, AppUsage> parseAppArguments(const QStringList& arguments);

}  // namespace brenvo
