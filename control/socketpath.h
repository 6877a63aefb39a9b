#pragma once

#include <QString>

namespace brenvo::control {

// Where the running instance of a support directory listens:
// "<runtime dir>/brenvo-<first 16 hex digits of sha256(absolute support dir)>.sock".
// The runtime directory is $XDG_RUNTIME_DIR, else a folder "brenvo-<uid>"
// of the temporary directory that only this user may enter.
QString controlSocketPath(const QString& supportDir);

// Makes sure the folder of path exists and belongs to this user alone
// (created mode 0700 when missing). Empty on success, else what is wrong.
QString prepareSocketFolder(const QString& path);

}  // namespace brenvo::control
