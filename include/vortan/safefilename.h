#pragma once

#include "vortan/vortan_export.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace vortan {

// A file name received from a peer, made usable as exactly one path
// component: "/" becomes ":" (which File::displayName() shows as "/" again),
// NUL and other control characters become "_", and bidirectional controls
// are removed (they would make the name read as another one). Nothing for
// what is then "", "." or "..", which cannot name a file. Downloads are
// stored under this name; a front end proposes it too.
VORTAN_EXPORT std::optional<QString> safeFileName(const QString& name);

// The most folders a received name may name above its file.
inline constexpr qsizetype kMaxFolderDepth = 64;

// A received name that names a file inside folders ("Holiday/2024/a.jpg"):
// its "/"-separated components, each made safe by safeFileName(). Nothing
// when the name is no such relative path: it starts or ends with "/", has an
// empty component ("a//b"), a component safeFileName() refuses ("." or "..",
// also once bidirectional controls are taken out) or more than
// kMaxFolderDepth folders. A name without "/" gives its one component. Such
// names are received flat instead, through safeFileName().
VORTAN_EXPORT std::optional<QStringList> safeRelativePath(const QString& name);

// The name a received file is kept under: its safe relative path with "/"
// between the components when it has one, else its flat safeFileName();
// nothing when neither can name a file.
VORTAN_EXPORT std::optional<QString> safeReceivedName(const QString& name);

}  // namespace vortan
