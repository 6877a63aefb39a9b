#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace vortan {
class Controller;
}  // namespace vortan

namespace brenvo {

class AppSettings;

// The files of the support directory that Brenvo itself made: the stored
// state, its lock, the choice and file of the key store, stored files kept
// aside as unreadable, and the card files written for sharing (those that
// hold the card of ownKey). Names relative to the directory, sorted. The
// support directory may be any folder the person named (--data-dir): nothing
// else in it is Brenvo's.
QStringList brenvoFiles(const QString& supportDirectory, const QByteArray& ownKey);

// What an uninstall did.
struct UninstallResult {
    bool directoryRemoved = false;  // false: other files are left in it
    QString trashError;             // empty: the program file is in the Trash
};

// Removes the person's Brenvo from this machine: the identity key (through
// the key store), the settings file, the autostart entry, Brenvo's files in the support directory
// and the directory when nothing else is left in it; then tries to move the
// program file to the Trash (a packaged program in /usr cannot be trashed by
// its user: the package manager removes it).
UninstallResult uninstallEverything(vortan::Controller& controller, AppSettings& settings, const QString& supportDirectory,
                                    const QString& programPath);

// Removes what the running controller may have written again after an
// uninstall (it saves its state when it stops), and the autostart entry.
// Returns whether the support directory is gone.
bool removeLeftovers(AppSettings& settings, const QString& supportDirectory, const QByteArray& ownKey);

// Whether the program file looks installed by the system's package manager.
bool installedByPackage(const QString& programPath);

}  // namespace brenvo
