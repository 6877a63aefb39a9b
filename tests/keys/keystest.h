#pragma once

// Helpers shared by the key store tests.

#include "vortan/crypto/crypto.h"
#include "vortan/keys/keyhelper.h"
#include "vortan/keys/keystoreselection.h"
#include "vortan/keys/secretstore.h"

#include <QByteArray>
#include <QDir>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

namespace vortan::test {

inline const QString kCreatingKey = QStringLiteral("key not found in keychain, creating a new one");
inline const QString kFoundKey = QStringLiteral("found key in keychain");

inline QByteArray bytesOf(const crypto::Key32& key)
{
    return QByteArray(reinterpret_cast<const char*>(key.data()), static_cast<qsizetype>(key.size()));
}

// Runs fn, which must throw E; returns the error's message() (empty when
// nothing was thrown). With a kind, a KeyStoreError must be of that kind.
template <typename E = KeyStoreError, typename Fn>
QString thrownMessage(Fn&& fn, std::optional<KeyStoreError::Kind> kind = std::nullopt)
{
    try {
        fn();
        ADD_FAILURE() << "nothing was thrown";
    } catch (const E& error) {
        if constexpr (std::is_same_v<E, KeyStoreError>) {
            if (kind) {
                EXPECT_EQ(error.kind(), *kind);
            }
        }
        return error.message();
    }
    return {};
}

// A temporary support folder ("Brenvo") and the key store options that use it.
struct SupportFolder {
    QTemporaryDir dir;
    QString support() const { return dir.filePath(QStringLiteral("Brenvo")); }
    QString marker() const { return QDir(support()).filePath(QString::fromLatin1(kKeyStoreMarkerFileName)); }
    QString keyFile() const { return QDir(support()).filePath(QStringLiteral("identity.key")); }
    KeyStoreOptions options(KeyStoreChoice choice = KeyStoreChoice::automatic) const
    {
        KeyStoreOptions o;
        o.choice = choice;
        o.supportDirectory = support();
        return o;
    }
};

// Sets (or, with nothing, unsets) an environment variable for the life of
// the object, then puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<QByteArray> value) : m_name(name)
    {
        if (qEnvironmentVariableIsSet(name))
            m_old = qgetenv(name);
        if (value)
            qputenv(name, *value);
        else
            qunsetenv(name);
    }
    ~ScopedEnv()
    {
        if (m_old)
            qputenv(m_name, *m_old);
        else
            qunsetenv(m_name);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    std::optional<QByteArray> m_old;
};

// A Unix socket that lets clients connect (through the listen backlog) but
// never says a word: a bus that does not answer.
class SilentSocket {
public:
    explicit SilentSocket(const QString& path) : m_path(path.toLocal8Bit())
    {
        m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, m_path.constData(), sizeof(address.sun_path) - 1);
        m_ok = m_fd >= 0 && ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
               ::listen(m_fd, 16) == 0;
    }
    ~SilentSocket()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        ::unlink(m_path.constData());
    }
    SilentSocket(const SilentSocket&) = delete;
    SilentSocket& operator=(const SilentSocket&) = delete;

    bool ok() const { return m_ok; }
    QByteArray busAddress() const { return "unix:path=" + m_path; }

private:
    QByteArray m_path;
    int m_fd = -1;
    bool m_ok = false;
};

}  // namespace vortan::test
