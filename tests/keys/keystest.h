#pragma once

// Helpers shared by the key store tests.

#include <QByteArray>
#include <QString>

#include <optional>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

namespace vortan::test {

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
