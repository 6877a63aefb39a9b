#pragma once

#include "vortan/vortan_export.h"

#include <QString>
#include <QStringList>

class QFileDevice;

namespace vortan {

// The support directory lists who the user knows and what they exchange:
// only its owner may read it.

// Creates the directory (and missing parents, with the usual mode) with mode
// 0700. An existing directory is left as it is, except that one of this user
// holding any of `ownFiles` (the program made it, with the mode of an older
// version) loses the access of group and others. Returns whether the
// directory exists.
VORTAN_EXPORT bool makePrivateDirectory(const QString& path, const QStringList& ownFiles = {});

// Gives an open file (a QSaveFile's new file too) mode 0600, whatever the
// umask or the mode of the file it replaces. Returns whether that worked.
VORTAN_EXPORT bool restrictToOwner(QFileDevice& file);

}  // namespace vortan
