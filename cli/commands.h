#pragma once

#include "cli/arguments.h"

#include <QByteArray>
#include <QString>

namespace vortan {
class Controller;
}

namespace brenvo::cli {

// What a one-shot command printed and how it ended.
struct CommandOutput {
    QByteArray out;  // standard output (a card file with `card -o -`)
    QString err;     // standard error: whole lines, each "brenvo-cli: ..."
    int status = 0;  // the exit status
};

// card, import, users, files, share, pause, resume and remove, carried out
// on a started controller: the command line's own, or that of the process
// that owns the support directory. Writes the stored files before it
// returns. Paths in the invocation are taken as they are (relative ones from
// the working directory). Never throws: failures are in err and status.
CommandOutput executeCommand(vortan::Controller& controller, const Invocation& invocation);

// Whether the command is one of those.
bool isOneShotCommand(const QString& command);

}  // namespace brenvo::cli
