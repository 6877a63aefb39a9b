#pragma once

// brenvo-cli processes for end-to-end tests: each CliNode is one person with
// a data directory, a download directory, a file key store and a free port
// on 127.0.0.1; RunningCli is one `brenvo-cli run` in progress, whose output
// lines the test can wait for. Every process gets a private HOME and
// XDG_DATA_HOME (so the Trash is a temporary folder too) and no bus.

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace brenvo::e2e {

// Generous bounds: the sanitizer build is several times slower.
inline constexpr int kCommandTimeoutMs = 30000;
inline constexpr int kTransferTimeoutMs = 120000;

// The lines of bytes, without the empty one after the last line break.
QStringList splitLines(const QByteArray& bytes);

struct CliResult {
    bool finished = false;  // false: killed at the time-out
    int exitCode = -1;
    QByteArray out;
    QByteArray err;

    QStringList outLines() const { return splitLines(out); }
    QStringList errLines() const { return splitLines(err); }
};

// One line of `brenvo-cli files`.
struct Record {
    QString id;
    QString direction;  // "in" or "out"
    QString user;
    QString name;
    std::int64_t size = 0;
    std::int64_t done = 0;
    std::int64_t total = 0;
    QString state;  // "paused", "active", "done"
    QString error;
    QString location;
};

class RunningCli;

// The folder shared by the nodes of one test: HOME, XDG_DATA_HOME and the
// environment of every process.
class Scene {
public:
    Scene();

    QString path(const QString& relative = QString()) const;
    const QString& dataHome() const { return m_dataHome; }
    QProcessEnvironment environment() const { return m_environment; }

private:
    QTemporaryDir m_root;
    QString m_home;
    QString m_dataHome;
    QProcessEnvironment m_environment;
};

class CliNode {
public:
    // Folders under scene/name: data, downloads.
    CliNode(Scene& scene, const QString& name);

    const QString& name() const { return m_name; }
    const QString& dataDir() const { return m_dataDir; }
    const QString& downloads() const { return m_downloads; }
    std::uint16_t port() const { return m_port; }
    const QString& cardPath() const { return m_cardPath; }
    QString folder(const QString& relative = QString()) const;

    // brenvo-cli --data-dir DATA --key-store file ARGS..., run to its end.
    CliResult cli(const QStringList& arguments, int timeoutMs = kCommandTimeoutMs) const;
    // Like cli(), but a failure to exit 0 fails the current test (and the
    // result's out is returned all the same).
    CliResult ok(const QStringList& arguments, int timeoutMs = kCommandTimeoutMs) const;

    // Writes the card (name, 127.0.0.1, the port) to cardPath(); returns the
    // printed fingerprint.
    QString makeCard();
    void importCard(const CliNode& other) const;
    // share --to USER FILE: the new record's id.
    QString share(const QString& to, const QString& file) const;
    QList<Record> files() const;
    std::optional<Record> record(const QString& id) const;

    // run --no-upnp --no-tor ARGS...
    std::unique_ptr<RunningCli> run(const QStringList& arguments) const;

private:
    Scene& m_scene;
    QString m_name;
    QString m_folder;
    QString m_dataDir;
    QString m_downloads;
    QString m_cardPath;
    std::uint16_t m_port = 0;
};

// a and b with cards, each holding the other's; returns a's fingerprint.
QString introduce(CliNode& a, CliNode& b);

class RunningCli : public QObject {
public:
    RunningCli(const QStringList& arguments, const QProcessEnvironment& environment);
    ~RunningCli() override;

    // Runs the event loop until a line of standard output satisfies match,
    // the process ends or the time-out passes. Lines seen stay available.
    bool waitForLine(const std::function<bool(const QString&)>& match, int timeoutMs = kTransferTimeoutMs);
    bool waitForLineStartingWith(const QString& prefix, int timeoutMs = kTransferTimeoutMs);
    // The first line starting with prefix, if any was seen.
    std::optional<QString> lineStartingWith(const QString& prefix) const;
    bool waitForExit(int timeoutMs = kTransferTimeoutMs);

    int exitCode() const;
    bool exitedNormally() const { return m_process.exitStatus() == QProcess::NormalExit; }
    void signal(int number);

    const QStringList& lines() const { return m_lines; }
    QString output() const { return m_lines.join(QLatin1Char('\n')); }
    const QByteArray& errors() const { return m_err; }

private:
    void readOut();

    QProcess m_process;
    QByteArray m_partial;
    QStringList m_lines;
    QByteArray m_err;
};

// Tools of the tests.
std::uint16_t freePort();
QByteArray sha256OfFile(const QString& path);
// Writes size random bytes; returns their SHA-256.
QByteArray writeRandomFile(const QString& path, std::int64_t size);
std::int64_t fileSize(const QString& path);  // -1 when absent
// Waits (running the event loop) until the file has at least size bytes.
bool waitForFileSize(const QString& path, std::int64_t size, int timeoutMs = kTransferTimeoutMs);
// Relative path -> SHA-256 (or "dir") of everything under root, except the
// subtrees listed; symbolic links are listed, not followed.
QHash<QString, QByteArray> treeSnapshot(const QString& root, const QStringList& excluded = {});

}  // namespace brenvo::e2e
