#include "vortan/keys/keystoreselection.h"

#include "vortan/keys/filesecretstore.h"
#include "vortan/keys/keyhelper.h"
#include "vortan/log.h"
#include "vortan/privatefiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace vortan {

namespace {

enum class StoreKind { secretService, file };

QByteArray markerWord(StoreKind kind)
{
    return kind == StoreKind::secretService ? QByteArrayLiteral("secret-service") : QByteArrayLiteral("file");
}

QString markerPath(const QString& supportDirectory)
{
    return QDir(supportDirectory).filePath(QString::fromLatin1(kKeyStoreMarkerFileName));
}

QString keyFilePath(const QString& supportDirectory)
{
    return QDir(supportDirectory).filePath(QString::fromLatin1(FileSecretStore::kFileName));
}

std::optional<StoreKind> readMarker(const QString& supportDirectory)
{
    const QString path = markerPath(supportDirectory);
    QFile file(path);
    if (!file.exists())
        return std::nullopt;
    if (!file.open(QIODevice::ReadOnly))
        throw KeyStoreUnavailable(QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
    const QByteArray word = file.read(64).trimmed();
    if (word == markerWord(StoreKind::secretService))
        return StoreKind::secretService;
    if (word == markerWord(StoreKind::file))
        return StoreKind::file;
    throw KeyStoreUnavailable(
        QStringLiteral("%1 does not name a key store (it should hold \"secret-service\" or \"file\")").arg(path));
}

void writeMarker(const QString& supportDirectory, StoreKind kind)
{
    const QString path = markerPath(supportDirectory);
    makePrivateDirectory(supportDirectory);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !restrictToOwner(file) || file.write(markerWord(kind) + '\n') < 0
        || !file.commit())
        logWarning(lcKeys(), QStringLiteral("Could not record the key store in %1: %2").arg(path, file.errorString()));
}

// Passes every call through and records the store in the support directory
// once the identity key has been found in it or added to it.
class RecordingStore : public SecretStore {
public:
    RecordingStore(std::unique_ptr<SecretStore> inner, QString supportDirectory, StoreKind kind, bool recorded)
        : m_inner(std::move(inner)), m_supportDirectory(std::move(supportDirectory)), m_kind(kind), m_recorded(recorded)
    {
    }

    QString name() const override { return m_inner->name(); }

    SecretStatus read(const QString& account, QByteArray& value) override
    {
        const SecretStatus status = m_inner->read(account, value);
        if (status.ok())
            record();
        return status;
    }

    SecretStatus add(const QString& account, const QString& label, const QByteArray& value) override
    {
        const SecretStatus status = m_inner->add(account, label, value);
        if (status.ok())
            record();
        return status;
    }

    SecretStatus remove(const QString& account) override { return m_inner->remove(account); }

private:
    void record()
    {
        if (m_recorded)
            return;
        writeMarker(m_supportDirectory, m_kind);
        m_recorded = true;
    }

    std::unique_ptr<SecretStore> m_inner;
    QString m_supportDirectory;
    StoreKind m_kind;
    bool m_recorded;
};

}  // namespace

std::optional<KeyStoreChoice> keyStoreChoiceFromString(const QString& text)
{
    if (text == QLatin1String("auto"))
        return KeyStoreChoice::automatic;
    if (text == QLatin1String("secret-service"))
        return KeyStoreChoice::secretService;
    if (text == QLatin1String("file"))
        return KeyStoreChoice::file;
    return std::nullopt;
}

QString keyStoreChoiceName(KeyStoreChoice choice)
{
    switch (choice) {
    case KeyStoreChoice::automatic:
        return QStringLiteral("auto");
    case KeyStoreChoice::secretService:
        return QStringLiteral("secret-service");
    case KeyStoreChoice::file:
        return QStringLiteral("file");
    }
    return {};
}

std::unique_ptr<SecretStore> openSecretStore(const KeyStoreOptions& options)
{
    if (options.supportDirectory.isEmpty())
        throw KeyStoreUnavailable(QStringLiteral("No support directory for the key store"));
    const std::optional<StoreKind> recorded = readMarker(options.supportDirectory);
    auto secretService = std::make_unique<SecretServiceStore>(options.secretService);

    StoreKind kind = StoreKind::file;
    switch (options.choice) {
    case KeyStoreChoice::secretService: {
        const SecretStatus status = secretService->probe();
        if (status.code == SecretStatus::kNotAvailable) {
            throw KeyStoreUnavailable(
                QStringLiteral("The Secret Service was chosen for the identity key but cannot be reached: %1")
                    .arg(status.message));
        }
        kind = StoreKind::secretService;
        break;
    }
    case KeyStoreChoice::file:
        kind = StoreKind::file;
        break;
    case KeyStoreChoice::automatic:
        if (recorded == StoreKind::secretService) {
            const SecretStatus status = secretService->probe();
            if (status.code == SecretStatus::kNotAvailable) {
                throw KeyStoreUnavailable(
                    QStringLiteral("The identity key is kept in the Secret Service, which cannot be reached: %1. "
                                   "Start or unlock the keyring and try again; no new identity has been created.")
                        .arg(status.message));
            }
            kind = StoreKind::secretService;
        } else if (recorded == StoreKind::file || QFileInfo::exists(keyFilePath(options.supportDirectory))) {
            kind = StoreKind::file;
        } else {
            kind = secretService->probe().ok() ? StoreKind::secretService : StoreKind::file;
        }
        break;
    }

    std::unique_ptr<SecretStore> store;
    if (kind == StoreKind::secretService)
        store = std::move(secretService);
    else
        store = std::make_unique<FileSecretStore>(keyFilePath(options.supportDirectory),
                                                  QString::fromLatin1(KeyHelper::kAccount));
    logInfo(lcKeys(), QStringLiteral("Using key store: ") + store->name());
    if (recorded && *recorded != kind) {
        const QString before = *recorded == StoreKind::secretService ? QStringLiteral("the Secret Service")
                                                                     : QStringLiteral("the key file");
        logInfo(lcKeys(), QStringLiteral("The identity key was kept in %1 until now").arg(before));
    }
    return std::make_unique<RecordingStore>(std::move(store), options.supportDirectory, kind, recorded == kind);
}

}  // namespace vortan
