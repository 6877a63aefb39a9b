#include "tests/e2e/clinode.h"

#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QRandomGenerator>

#include <csignal>
#include <sys/types.h>

namespace brenvo::e2e {

QStringList splitLines(const QByteArray& bytes)
{
    QStringList lines = QString::fromUtf8(bytes).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// ---- Scene

Scene::Scene()
{
    m_home = m_root.filePath("home");
    m_dataHome = m_home + "/.local/share";
    QDir().mkpath(m_dataHome);
    QDir().mkpath(m_home + "/.config");
    m_environment = QProcessEnvironment::systemEnvironment();
    m_environment.insert("HOME", m_home);
    m_environment.insert("XDG_DATA_HOME", m_dataHome);
    m_environment.insert("XDG_CONFIG_HOME", m_home + "/.config");
    m_environment.insert("XDG_RUNTIME_DIR", m_root.filePath("runtime"));
    // No session bus (no keyring) and no system bus (no sleep inhibitor).
    m_environment.remove("DBUS_SESSION_BUS_ADDRESS");
    m_environment.insert("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + m_root.filePath("no-system-bus"));
    m_environment.remove("DISPLAY");
    m_environment.insert("TERM", "dumb");
    QDir().mkpath(m_root.filePath("runtime"));
    QFile::setPermissions(m_root.filePath("runtime"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

QString Scene::path(const QString& relative) const
{
    return relative.isEmpty() ? m_root.path() : m_root.filePath(relative);
}

// ---- CliNode

CliNode::CliNode(Scene& scene, const QString& name) :
    m_scene(scene), m_name(name), m_folder(scene.path(name)), m_dataDir(m_folder + "/data"),
    m_downloads(m_folder + "/downloads"), m_cardPath(m_folder + QLatin1Char('/') + name + ".bcard"), m_port(freePort())
{
    QDir().mkpath(m_folder);
}

QString CliNode::folder(const QString& relative) const
{
    return relative.isEmpty() ? m_folder : m_folder + QLatin1Char('/') + relative;
}

CliResult CliNode::cli(const QStringList& arguments, int timeoutMs) const
{
    QProcess process;
    process.setProcessEnvironment(m_scene.environment());
    process.setWorkingDirectory(m_folder);
    process.start(QStringLiteral(BRENVO_CLI_PATH),
                  QStringList{"--data-dir", m_dataDir, "--key-store", "file"} + arguments);
    CliResult result;
    if (!process.waitForStarted(timeoutMs))
        return result;
    result.finished = process.waitForFinished(timeoutMs);
    if (!result.finished) {
        process.kill();
        process.waitForFinished(5000);
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

CliResult CliNode::ok(const QStringList& arguments, int timeoutMs) const
{
    CliResult result = cli(arguments, timeoutMs);
    EXPECT_TRUE(result.finished) << m_name.toStdString() << ": " << arguments.join(QLatin1Char(' ')).toStdString()
                                 << " did not end";
    EXPECT_EQ(result.exitCode, 0) << m_name.toStdString() << ": " << arguments.join(QLatin1Char(' ')).toStdString()
                                  << "\n" << result.err.toStdString();
    return result;
}

QString CliNode::makeCard()
{
    const CliResult result =
        ok({"card", "--name", m_name, "--address", "127.0.0.1", "--port", QString::number(m_port), "-o", m_cardPath});
    const QStringList fields = result.outLines().value(0).split(QLatin1Char('\t'));
    return fields.value(1);
}

void CliNode::importCard(const CliNode& other) const
{
    ok({"import", other.cardPath()});
}

QString introduce(CliNode& a, CliNode& b)
{
    const QString fingerprint = a.makeCard();
    b.makeCard();
    a.importCard(b);
    b.importCard(a);
    return fingerprint;
}

QString CliNode::share(const QString& to, const QString& file) const
{
    const CliResult result = ok({"share", "--to", to, file});
    return result.outLines().value(0).section(QLatin1Char('\t'), 0, 0);
}

QList<Record> CliNode::files() const
{
    QList<Record> records;
    const CliResult result = ok({"files"});
    for (const QString& line : result.outLines()) {
        const QStringList f = line.split(QLatin1Char('\t'));
        if (f.size() != 9) {
            ADD_FAILURE() << "unexpected line of files: " << line.toStdString();
            continue;
        }
        Record r;
        r.id = f[0];
        r.direction = f[1];
        r.user = f[2];
        r.name = f[3];
        r.size = f[4].toLongLong();
        r.done = f[5].section(QLatin1Char('/'), 0, 0).toLongLong();
        r.total = f[5].section(QLatin1Char('/'), 1, 1).toLongLong();
        r.state = f[6];
        r.error = f[7];
        r.location = f[8];
        records.append(r);
    }
    return records;
}

std::optional<Record> CliNode::record(const QString& id) const
{
    for (const Record& r : files()) {
        if (r.id == id)
            return r;
    }
    return std::nullopt;
}

std::unique_ptr<RunningCli> CliNode::run(const QStringList& arguments) const
{
    return std::make_unique<RunningCli>(
        QStringList{"--data-dir", m_dataDir, "--key-store", "file", "run", "--no-upnp", "--no-tor"} + arguments,
        m_scene.environment());
}

// ---- RunningCli

RunningCli::RunningCli(const QStringList& arguments, const QProcessEnvironment& environment)
{
    m_process.setProcessEnvironment(environment);
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput, this, [this] { readOut(); });
    QObject::connect(&m_process, &QProcess::readyReadStandardError, this,
                     [this] { m_err += m_process.readAllStandardError(); });
    m_process.start(QStringLiteral(BRENVO_CLI_PATH), arguments);
    m_process.waitForStarted(kCommandTimeoutMs);
}

RunningCli::~RunningCli()
{
    if (m_process.state() != QProcess::NotRunning) {
        // A test that failed half-way: do not leave the process behind.
        ::kill(pid_t(m_process.processId()), SIGCONT);
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

void RunningCli::readOut()
{
    m_partial += m_process.readAllStandardOutput();
    qsizetype end;
    while ((end = m_partial.indexOf('\n')) >= 0) {
        m_lines.append(QString::fromUtf8(m_partial.left(end)));
        m_partial.remove(0, end + 1);
    }
}

bool RunningCli::waitForLine(const std::function<bool(const QString&)>& match, int timeoutMs)
{
    // Each line is shown to match once, so a counting predicate stays right.
    qsizetype checked = 0;
    bool found = false;
    const auto seen = [&] {
        readOut();
        while (!found && checked < m_lines.size())
            found = match(m_lines[checked++]);
        return found;
    };
    vortan::test::waitFor([&] { return seen() || m_process.state() == QProcess::NotRunning; }, timeoutMs);
    return seen();
}

bool RunningCli::waitForLineStartingWith(const QString& prefix, int timeoutMs)
{
    return waitForLine([&](const QString& line) { return line.startsWith(prefix); }, timeoutMs);
}

std::optional<QString> RunningCli::lineStartingWith(const QString& prefix) const
{
    for (const QString& line : m_lines) {
        if (line.startsWith(prefix))
            return line;
    }
    return std::nullopt;
}

bool RunningCli::waitForExit(int timeoutMs)
{
    vortan::test::waitFor([&] { return m_process.state() == QProcess::NotRunning; }, timeoutMs);
    if (m_process.state() != QProcess::NotRunning)
        return false;
    readOut();
    m_err += m_process.readAllStandardError();
    return true;
}

int RunningCli::exitCode() const
{
    if (m_process.state() != QProcess::NotRunning || m_process.exitStatus() != QProcess::NormalExit)
        return -1;
    return m_process.exitCode();
}

void RunningCli::signal(int number)
{
    if (m_process.state() != QProcess::NotRunning)
        ::kill(pid_t(m_process.processId()), number);
}

// ---- Tools

std::uint16_t freePort()
{
    const quint16 port = vortan::test::unusedPort();
    if (port == 0)
        ADD_FAILURE() << "no free port";
    return port;
}

QByteArray sha256OfFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result().toHex();
}

QByteArray writeRandomFile(const QString& path, std::int64_t size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        ADD_FAILURE() << "cannot write " << path.toStdString();
        return QByteArray();
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QByteArray chunk(1024 * 1024, Qt::Uninitialized);
    for (std::int64_t left = size; left > 0;) {
        const qint64 n = std::min<std::int64_t>(left, chunk.size());
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(chunk.data()), size_t(chunk.size() / 4));
        file.write(chunk.constData(), n);
        hash.addData(QByteArrayView(chunk.constData(), n));
        left -= n;
    }
    return hash.result().toHex();
}

std::int64_t fileSize(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() ? info.size() : -1;
}

bool waitForFileSize(const QString& path, std::int64_t size, int timeoutMs)
{
    return vortan::test::waitFor([&] { return fileSize(path) >= size; }, timeoutMs);
}

QHash<QString, QByteArray> treeSnapshot(const QString& root, const QStringList& excluded)
{
    QHash<QString, QByteArray> snapshot;
    const QDir base(root);
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const bool skip = std::any_of(excluded.cbegin(), excluded.cend(), [&](const QString& e) {
            return path == e || path.startsWith(e + QLatin1Char('/'));
        });
        if (skip)
            continue;
        const QFileInfo info = it.fileInfo();
        QByteArray value;
        if (info.isSymLink())
            value = "link:" + info.symLinkTarget().toUtf8();
        else if (info.isDir())
            value = "dir";
        else
            value = sha256OfFile(path);
        snapshot.insert(base.relativeFilePath(path), value);
    }
    return snapshot;
}

}  // namespace brenvo::e2e
