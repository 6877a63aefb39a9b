#pragma once

#include "vortan/vortan_export.h"

#include <QString>

#include <optional>

namespace vortan {

// A file name received from a peer, made usable as exactly one path
// component: "/" becomes ":" (which File::displayName() shows as "/" again),
// NUL and other control characters become "_", and bidirectional controls
// are removed (they would make the name read as another one). Nothing for
// what is then "", "." or "..", which cannot name a file. Downloads are
// stored under this name; a front end proposes it too.
VORTAN_EXPORT std::optional<QString> safeFileName(const QString& name);

}  // namespace vortan
