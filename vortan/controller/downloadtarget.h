#pragma once

#include "vortan/safefilename.h"
#include "vortan/vortan_export.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace vortan {

// Where received files land, and the file operations of a finished download.

// The name for a log line: control characters shown as \xNN, so that a
// name can never start a line of its own, and bidirectional controls as
// \uNNNN, so that it cannot reorder the line.
QString printableName(const QString& name);

// The path with " (n)" before the extension of its last component:
// "/d/report.pdf" and 2 give "/d/report (2).pdf", "/d/.profile" gives
// "/d/.profile (2)".
QString numberedPath(const QString& path, int n);

// path if taken() refuses it, else the first numberedPath(path, 2, 3, ...)
// that taken() refuses; nothing when all are taken up to a high bound.
std::optional<QString> firstFreePath(const QString& path, const std::function<bool(const QString&)>& taken);

// The file system's limit on the bytes of one name (NAME_MAX).
inline constexpr qsizetype kMaxNameBytes = 255;

// The path with the last component shortened, when it must be, so that its
// UTF-8 bytes plus reserve fit kMaxNameBytes: characters are taken off the
// end of the stem, never out of the middle of one, and the extension stays
// (unless it alone is too long to keep a stem). Unchanged when it fits.
QString fitNameLength(const QString& path, qsizetype reserve);

// Whether path is a folder itself (not a link to one).
bool isFolder(const QString& path);

// Makes the folders below base, one inside the other (the components of a
// safeRelativePath() but its last), and returns the innermost one's path.
// A folder already there is used; a name taken by anything else (a file, a
// symbolic link, a path taken() names) is numbered as a file's would be
// ("Holiday (2)"), and a name too long for the file system is shortened. The
// result's real path (links resolved) must lie inside base's. Nothing, and
// the reason in problem, when that cannot be.
std::optional<QString> makeFolders(const QString& base, const QStringList& folders,
                                   const std::function<bool(const QString&)>& taken, QString& problem);

// Whether anything is at path, a dangling symbolic link included.
bool pathExists(const QString& path);

// Whether path is a regular file itself (not a link to one).
bool isRegularFile(const QString& path);

// Moves what is at path to the user's Trash (after making sure the data
// folder the Trash lives in exists). Returns whether it went.
bool moveToTrash(const QString& path);

// Renames from to to unless something is at to already (renameat2 with
// RENAME_NOREPLACE; a hard link and an unlink where the file system does not
// offer it). Returns 0 or the errno of the failure (EEXIST when to exists).
int moveNoReplace(const QString& from, const QString& to);

}  // namespace vortan
