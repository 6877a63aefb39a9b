#pragma once

#include "vortan/file2.h"
#include "vortan/vortan_export.h"

#include <QList>
#include <QString>

namespace vortan {

// The regular files inside a local folder and all the folders below it, each
// described as File2::at() describes a file but named by its path inside the
// folder, the folder's own name first and "/" between the components
// ("Holiday/2024/a.jpg"), in the order of those names. A front end offers a
// folder as these files, in one batch.
//
// path itself may be a symbolic link to a folder (it is named by the link);
// below it nothing is followed: symbolic links (to files and to folders
// alike), pipes, sockets and devices are left out, and so are names that are
// not text in the file system's encoding (they could not be opened again by
// the name shown); each with a log line. Folders without files add nothing:
// only files are offered.
//
// Reads the whole tree at once: thousands of files take a moment, so a
// front end with a window calls it off its main thread (it touches no
// shared state). Throws PosixError when path cannot be read, IoError when it
// is not a folder or a folder below it cannot be read (the description names
// it and the reason).
VORTAN_EXPORT QList<File2> filesOfFolder(const QString& path);

}  // namespace vortan
