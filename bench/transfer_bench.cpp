// 1 GiB of random data from one brenvo-cli process to another over
// 127.0.0.1, next to what the same machine does with plain loopback TCP
// (iperf3 when installed, and a socket copy of our own) and with scp through
// a temporary sshd (when sshd and scp are installed). Prints MB/s, and the
// processor time and peak resident memory of each brenvo-cli side (from
// wait4's resource usage of the child).
//
//   transfer_bench [--size BYTES] [--cli PATH] [--keep]
//
// --cli runs another brenvo-cli build (an older one, to compare).
// Everything happens in a temporary folder, with file key stores, no bus
// and no gateway traffic. --keep leaves the folder in place, with a log of
// each side. Without it the two sides write no log: a log file takes a line
// per block and message, which costs processor time that brenvo-cli as people
// run it does not spend.

#include "bench/benchpair.h"
#include "bench/benchsshd.h"
#include "bench/benchsupport.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcessEnvironment>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <thread>
#include <vector>

namespace {

using namespace bench;

constexpr std::int64_t kDefaultSize = 1LL << 30;

// The file copied to target on the same disk, 128 KiB reads and writes:
// the processor seconds (user and system) this process spent on it.
double localCopyCpuSeconds(const QString& source, const QString& target)
{
    rusage before{}, after{};
    ::getrusage(RUSAGE_SELF, &before);
    const int in = ::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC);
    const int out = ::open(QFile::encodeName(target).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    std::vector<char> buffer(131072);
    for (;;) {
        const ssize_t n = in < 0 ? -1 : ::read(in, buffer.data(), buffer.size());
        if (n <= 0 || out < 0 || ::write(out, buffer.data(), size_t(n)) != n)
            break;
    }
    if (in >= 0)
        ::close(in);
    if (out >= 0)
        ::close(out);
    ::getrusage(RUSAGE_SELF, &after);
    QFile::remove(target);
    return seconds(after.ru_utime) + seconds(after.ru_stime) - seconds(before.ru_utime) - seconds(before.ru_stime);
}

// A plain TCP copy of size bytes through 127.0.0.1, 128 KiB writes, one
// thread each side, memory to memory. Returns bytes per second.
double socketCopy(std::int64_t size)
{
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener, 1) != 0
        || getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        close(listener);
        return 0;
    }
    std::int64_t received = 0;
    std::thread reader([&] {
        const int fd = accept(listener, nullptr, nullptr);
        std::vector<char> buffer(1 << 20);
        for (;;) {
            const ssize_t n = read(fd, buffer.data(), buffer.size());
            if (n <= 0)
                break;
            received += n;
        }
        close(fd);
    });
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    QElapsedTimer t;
    t.start();
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        std::vector<char> buffer(131072, 'x');
        for (std::int64_t left = size; left > 0;) {
            const ssize_t n = write(fd, buffer.data(), size_t(std::min<std::int64_t>(left, std::int64_t(buffer.size()))));
            if (n <= 0)
                break;
            left -= n;
        }
    }
    close(fd);
    reader.join();
    const double elapsed = double(t.nsecsElapsed()) / 1e9;
    close(listener);
    return received == size ? double(size) / elapsed : 0;
}

std::optional<double> iperf3(std::int64_t size, Environment& env, const QString& folder)
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("iperf3"));
    if (program.isEmpty())
        return std::nullopt;
    const QString port = QString::number(freePort());
    Child server;
    spawn(server, program, {QStringLiteral("-s"), QStringLiteral("-1"), QStringLiteral("-B"), QStringLiteral("127.0.0.1"),
                            QStringLiteral("-p"), port},
          env, folder + QStringLiteral("/iperf3-server.out"), folder + QStringLiteral("/iperf3-server.err"));
    waitForText(folder + QStringLiteral("/iperf3-server.out"), "Server listening", 5000);
    Child client;
    const bool ok = spawn(client, program,
                          {QStringLiteral("-c"), QStringLiteral("127.0.0.1"), QStringLiteral("-p"), port, QStringLiteral("-n"),
                           QString::number(size), QStringLiteral("-J")},
                          env, folder + QStringLiteral("/iperf3.json"), folder + QStringLiteral("/iperf3.err"))
                    && reap(client, 120000);
    reap(server, 10000);
    if (!ok)
        return std::nullopt;
    const QJsonObject end = QJsonDocument::fromJson(readAll(folder + QStringLiteral("/iperf3.json"))).object().value(QStringLiteral("end")).toObject();
    const double bits = end.value(QStringLiteral("sum_received")).toObject().value(QStringLiteral("bits_per_second")).toDouble();
    return bits > 0 ? std::optional<double>(bits / 8.0) : std::nullopt;
}

struct ScpResult {
    double bytesPerSecond = 0;
    double cpuSeconds = 0;
    QString note;
};

// scp of the file to another name through an sshd of our own on 127.0.0.1.
ScpResult scp(const QString& source, std::int64_t size, Environment& env, const QString& folder)
{
    const TemporarySshd sshd(env, folder);
    if (!sshd.listening())
        return ScpResult{0, 0, sshd.problem()};
    const QString target = folder + QStringLiteral("/scp-copy.bin");
    Child copy;
    const bool ok = runToEnd(sshd.scp(),
                             QStringList{QStringLiteral("-q"), QStringLiteral("-P"), QString::number(sshd.port())} + sshd.clientOptions()
                                 + QStringList{source, sshd.login() + QLatin1Char(':') + target},
                             env, folder, 600000, &copy);
    if (!ok || QFileInfo(target).size() != size)
        return ScpResult{0, 0, QStringLiteral("scp failed")};
    QFile::remove(target);
    return ScpResult{double(size) / copy.wallSeconds, seconds(copy.usage.ru_utime) + seconds(copy.usage.ru_stime), QString()};
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::int64_t size = kDefaultSize;
    bool keep = false;
    QString cli = QStringLiteral(BRENVO_CLI_PATH);
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--size") && i + 1 < args.size())
            size = args[++i].toLongLong();
        else if (args[i] == QLatin1String("--cli") && i + 1 < args.size())
            cli = args[++i];
        else if (args[i] == QLatin1String("--keep"))
            keep = true;
        else {
            std::fprintf(stderr, "usage: transfer_bench [--size BYTES] [--cli PATH] [--keep]\n");
            return 2;
        }
    }

    QTemporaryDir root(QDir::tempPath() + QStringLiteral("/brenvo-bench-XXXXXX"));
    root.setAutoRemove(!keep);
    Environment env(isolatedEnvironment(root.path()));

    std::printf("brenvo-cli transfer of %.0f MiB over 127.0.0.1 (%s, %s)\n", mib(double(size)), qPrintable(cli), qPrintable(root.path()));
    const QString source = root.filePath(QStringLiteral("random.bin"));
    const QByteArray sourceSha = writeRandomFile(source, size);
    // Start from written-back pages: the transfer should not pay for the
    // write-back of the file just made.
    ::sync();

    BrenvoPair pair(cli, root.path(), env, keep);
    if (!pair.introduce() || !pair.share({source}, 60000))
        return 1;
    const BrenvoPair::Outcome outcome = pair.run(600, 60000);
    const Child& sender = pair.sender();
    const Child& receiver = pair.receiver();
    const QString target = pair.downloads() + QStringLiteral("/random.bin");
    const bool same = sha256(target) == sourceSha;
    if (!outcome.receiverOk || !outcome.senderOk || !same) {
        std::fprintf(stderr, "transfer failed: receiver %s, sender %s, checksum %s\n%s%s", qPrintable(describeStatus(receiver)),
                     qPrintable(describeStatus(sender)), same ? "same" : "differs", pair.receiverTails(30, 20).constData(),
                     pair.senderTails(30, 20).constData());
        return 1;
    }

    const double rate = double(size) / receiver.wallSeconds;
    const auto side = [&](const char* name, const Child& c) {
        std::printf("  %-8s processor %.2f s (user %.2f, system %.2f), peak RSS %.1f MiB\n", name,
                    seconds(c.usage.ru_utime) + seconds(c.usage.ru_stime), seconds(c.usage.ru_utime),
                    seconds(c.usage.ru_stime), double(c.usage.ru_maxrss) / 1024.0);
    };
    std::printf("  brenvo-cli    %.2f s for the receiving process from its start to its end: %.1f MB/s (checksums match)\n",
                receiver.wallSeconds, mb(rate));
    for (const QByteArray& line : readAll(root.filePath(QStringLiteral("val.out"))).split('\n')) {
        if (line.startsWith("finished "))
            std::printf("    its own report: %s\n", line.constData());
    }
    side("sender", sender);
    side("receiver", receiver);
    QFile::remove(target);
    const double gib = double(size) / double(1 << 30);
    const double bothCpu = seconds(sender.usage.ru_utime) + seconds(sender.usage.ru_stime) + seconds(receiver.usage.ru_utime)
                           + seconds(receiver.usage.ru_stime);
    const double copyCpu = localCopyCpuSeconds(source, target);
    std::printf("  both sides    processor %.2f s per GiB; a plain local copy of the file %.2f s per GiB\n", bothCpu / gib,
                copyCpu / gib);

    const double copy = socketCopy(size);
    std::printf("  socket copy   %.1f MB/s (plain TCP over 127.0.0.1, 128 KiB writes, memory to memory)\n", mb(copy));
    const QString folder = root.path();
    const std::optional<double> iperf = iperf3(size, env, folder);
    if (iperf)
        std::printf("  iperf3        %.1f MB/s\n", mb(*iperf));
    else
        std::printf("  iperf3        not installed\n");
    const double raw = iperf.value_or(copy);

    const ScpResult ssh = scp(source, size, env, folder);
    if (!ssh.note.isEmpty())
        std::printf("  scp           skipped: %s\n", qPrintable(ssh.note));
    else
        std::printf("  scp           %.1f MB/s (scp client processor %.2f s)\n", mb(ssh.bytesPerSecond), ssh.cpuSeconds);

    std::printf("Goals:\n");
    std::printf("  >= 50%% of raw loopback TCP (%s): %.1f%% %s\n", iperf ? "iperf3" : "socket copy", 100.0 * rate / raw,
                rate >= 0.5 * raw ? "met" : "missed");
    if (ssh.note.isEmpty())
        std::printf("  >= 2.5x scp: %.2fx %s\n", rate / ssh.bytesPerSecond, rate >= 2.5 * ssh.bytesPerSecond ? "met" : "missed");
    std::printf("  <= 1.5 processor s per GiB for both sides: %.2f s %s\n", bothCpu / gib, bothCpu / gib <= 1.5 ? "met" : "missed");
    const double peak = double(std::max(sender.usage.ru_maxrss, receiver.usage.ru_maxrss)) / 1024.0;
    std::printf("  <= 64 MiB peak RSS per side: %.1f MiB %s\n", peak, peak <= 64.0 ? "met" : "missed");
    return 0;
}
