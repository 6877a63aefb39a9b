#pragma once

#include "vortan/vortan_export.h"

#include <QString>

#include <optional>

namespace vortan {

// Which store keeps the identity key.
enum class KeyStoreChoice {
    automatic,      // where the identity already is; for a new one the Secret Service when usable, else the file
    secretService,  // the Secret Service, or an error when it cannot be reached
    file,           // the key file in the support directory
};

// "auto", "secret-service", "file" (the words of the setting and of the
// command-line option); nothing for any other text.
VORTAN_EXPORT std::optional<KeyStoreChoice> keyStoreChoiceFromString(const QString& text);
VORTAN_EXPORT QString keyStoreChoiceName(KeyStoreChoice choice);

}  // namespace vortan
