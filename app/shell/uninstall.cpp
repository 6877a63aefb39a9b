#include "app/shell/uninstall.h"

#include "app/settings/appsettings.h"
#include "app/shell/autostart.h"

#include "vortan/controller.h"
#include "vortan/usercard.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

using vortan::CardError;
using vortan::Controller;
using vortan::decodeCard;
using vortan::kMaxCardSize;

namespace brenvo {

namespace {

// The library's stored state, and the file and choice of its file key store.
const QStringList kStoredFiles{QStringLiteral("transfers.plist"), QStringLiteral("users.plist"),
                               QStringLiteral("me.plist"), QStringLiteral("deleted.plist")};
const QString kKeyFile = QStringLiteral("identity.key");
const QString kKeyStoreChoice = QStringLiteral("keystore");

// "users.plist.unreadable-2026-12-07T18-03-06" (and "-2", "-3"… when taken).
bool isKeptAside(const QString& name)
{
    static const QRegularExpression pattern(
        QStringLiteral("^(transfers|users|me|deleted)\\.plist\\.unreadable-"
                       "\\d{4}-\\d\\d-\\d\\dT\\d\\d-\\d\\d-\\d\\d(-\\d+)?$"));
    return pattern.match(name).hasMatch();
}

// A card file of this installation's own card (the person may keep other
// card files in the same folder: those stay).
bool isOwnCard(const QFileInfo& info, const QByteArray& ownKey)
{
    if (ownKey.isEmpty() || info.isSymLink() || !info.isFile() || info.size() > kMaxCardSize)
        return false;
    QFile file(info.filePath());
    if (!file.open(QIODevice::ReadOnly))
        return false;
    try {
        return decodeCard(file.read(kMaxCardSize + 1)).key == ownKey;
    } catch (const CardError&) {
        return false;
    }
}

// Removes Brenvo's files but the key file (the key store removes its item),
// then the directory when it is empty.
bool removeBrenvoFiles(const QString& supportDirectory, const QByteArray& ownKey)
{
    if (supportDirectory.isEmpty())
        return false;
    const QDir directory(supportDirectory);
    if (!directory.exists())
        return true;
    for (const QString& name : brenvoFiles(supportDirectory, ownKey)) {
        if (name != kKeyFile)
            QFile::remove(directory.filePath(name));
    }
    // Fails, as it should, while anything else is in it.
    return QDir().rmdir(directory.absolutePath());
}

}  // namespace

QStringList brenvoFiles(const QString& supportDirectory, const QByteArray& ownKey)
{
    QStringList fixed = kStoredFiles;
    fixed << QString::fromLatin1(Controller::kLockFileName) << kKeyFile << kKeyStoreChoice;
    QStringList found;
    const QDir directory(supportDirectory);
    const QFileInfoList entries =
        directory.entryInfoList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo& entry : entries) {
        const QString name = entry.fileName();
        if (fixed.contains(name) || isKeptAside(name) ||
            (name.endsWith(QLatin1String(".bcard")) && isOwnCard(entry, ownKey)))
            found.append(name);
    }
    return found;
}

UninstallResult uninstallEverything(Controller& controller, AppSettings& settings, const QString& supportDirectory,
                                    const QString& programPath)
{
    const QByteArray ownKey = controller.me() ? controller.me()->key : QByteArray();
    controller.removeSigningKeys();
    UninstallResult result;
    result.directoryRemoved = removeLeftovers(settings, supportDirectory, ownKey);
    // The Trash lives in the data folder ($XDG_DATA_HOME); Qt trashes into
    // the current folder when that is missing.
    QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    QFile program(programPath);
    if (!program.moveToTrash())
        result.trashError = program.errorString();
    return result;
}

bool removeLeftovers(AppSettings& settings, const QString& supportDirectory, const QByteArray& ownKey)
{
    settings.removeAll();
    // Nothing starts the program at login any more.
    Autostart().setEnabled(false);
    return removeBrenvoFiles(supportDirectory, ownKey);
}

bool installedByPackage(const QString& programPath)
{
    const QString path = QFileInfo(programPath).absoluteFilePath();
    return path.startsWith(QLatin1String("/usr/")) || path.startsWith(QLatin1String("/opt/")) ||
           !QFileInfo(QFileInfo(path).absolutePath()).isWritable();
}

}  // namespace brenvo
