#pragma once

#include <QString>

namespace vortan {

class AppSettings;
class Controller;

// Removes the person's Brenvo from this machine: the identity key, the
// settings file, the autostart entry and the support directory (with its
// cards); then tries to move the program file to the Trash. Returns whether
// that worked (a packaged program in /usr cannot be trashed by its user: the
// package manager removes it).
bool uninstallEverything(Controller& controller, AppSettings& settings, const QString& supportDirectory,
                         const QString& programPath);

// Removes what the running controller may have written again after an
// uninstall (it saves its state when it stops), and the autostart entry.
void removeLeftovers(AppSettings& settings, const QString& supportDirectory);

}  // namespace vortan
