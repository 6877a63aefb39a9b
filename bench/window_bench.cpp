// One file (300 MB; 1.5 GB with --in-flight) from one brenvo-cli process to
// another through the delay proxy at round trips of 0, 20, 50 and 100 ms,
// next to a plain TCP copy of the same file through the same kind of proxy
// (same bandwidth and round trip), in the same run. Prints MB/s of both, their
// ratio, the request window the receiver reached (from its log) and the peak
// resident memory of each brenvo-cli side.
//
//   window_bench [--size BYTES] [--rate MBPS | --in-flight MIB,...] [--rtts 0,20,50,100] [--cli PATH] [--keep]
//
// --rate is the link's bandwidth each way in MB/s (default 100); --in-flight
// instead runs links of unlimited bandwidth that hold at most this many MiB
// each way (a fast link whose bandwidth-delay product is about twice that),
// every round trip once per size; --cli runs
// another brenvo-cli build (an older one, to compare). Everything
// happens in a temporary folder, with file key stores, no bus and no gateway
// traffic; the proxy relays only on 127.0.0.1. --keep leaves the folder.

#include "bench/benchsupport.h"
#include "tests/support/delayproxy.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <optional>
#include <thread>

using namespace bench;
using vortan::test::DelayProxy;

namespace {

struct Options {
    // Without --size: 300 MB, or 1.5 GB for --in-flight. A link that holds
    // 32 MiB moves 300 MB in half a second, a few round trips at 100 ms, and
    // the ramp of either copy would weigh as much as the rest.
    std::int64_t size = 0;
    double rate = 100e6;
    QList<int> roundTrips{0, 20, 50, 100};
    QList<int> inFlightMiB;  // empty: --rate
    QString cli = QStringLiteral(BRENVO_CLI_PATH);
    bool keep = false;
};

DelayProxy::Link linkFor(const Options& options, int roundTripMs, int inFlightMiB)
{
    if (inFlightMiB > 0)
        return DelayProxy::Link{std::chrono::milliseconds(roundTripMs), 0, std::int64_t(inFlightMiB) << 20};
    return DelayProxy::linkOf(options.rate, std::chrono::milliseconds(roundTripMs));
}

// The file through the proxy into another file: one connection, 128 KiB
// reads and writes, one thread each side. Bytes per second from connect to
// the last byte written; 0 on failure.
double plainCopy(const QString& source, const QString& target, std::int64_t size, const DelayProxy::Link& link)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener, 1) != 0
        || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(listener);
        return 0;
    }
    DelayProxy proxy(ntohs(address.sin_port), link);
    std::int64_t received = 0;
    QElapsedTimer clock;
    std::thread reader([&] {
        const int fd = ::accept(listener, nullptr, nullptr);
        const int out = ::open(QFile::encodeName(target).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        std::vector<char> buffer(131072);
        for (;;) {
            const ssize_t n = ::read(fd, buffer.data(), buffer.size());
            if (n <= 0 || ::write(out, buffer.data(), size_t(n)) != n)
                break;
            received += n;
        }
        ::close(out);
        ::close(fd);
    });
    const int in = ::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC);
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in to = address;
    to.sin_port = htons(proxy.port());
    clock.start();
    if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) {
        std::vector<char> buffer(131072);
        for (;;) {
            const ssize_t n = ::read(in, buffer.data(), buffer.size());
            if (n <= 0)
                break;
            for (ssize_t done = 0; done < n;) {
                const ssize_t w = ::write(fd, buffer.data() + done, size_t(n - done));
                if (w <= 0)
                    break;
                done += w;
            }
        }
    }
    ::close(in);
    ::close(fd);
    reader.join();
    const double elapsed = double(clock.nsecsElapsed()) / 1e9;
    ::close(listener);
    QFile::remove(target);
    return received == size ? double(size) / elapsed : 0;
}

struct BrenvoResult {
    bool ok = false;
    double wallRate = 0;      // the receiving process from its start to its end
    double transferRate = 0;  // its own report: from the first blocks to the last
    std::int64_t largestWindow = 0;  // blocks: the largest the request window reached
    std::int64_t lastWindow = 0;     // and its size at the end
    double senderRss = 0;
    double receiverRss = 0;
};

class Pair {
public:
    Pair(const QString& cli, const QString& root, Environment& env)
        : m_cli(cli), m_root(root), m_env(env), m_sam(root + QStringLiteral("/sam")), m_val(root + QStringLiteral("/val")),
          m_samPort(freePort())
    {
    }

    bool setUp()
    {
        return cli(m_sam, {QStringLiteral("card"), QStringLiteral("--name"), QStringLiteral("Sam"), QStringLiteral("--address"),
                           QStringLiteral("127.0.0.1"), QStringLiteral("--port"), QString::number(m_samPort), QStringLiteral("-o"),
                           m_root + QStringLiteral("/sam.bcard")})
               && cli(m_val, {QStringLiteral("card"), QStringLiteral("--name"), QStringLiteral("Val"), QStringLiteral("--address"),
                              QStringLiteral("127.0.0.1"), QStringLiteral("--port"), QString::number(freePort()), QStringLiteral("-o"),
                              m_root + QStringLiteral("/val.bcard")})
               && cli(m_sam, {QStringLiteral("import"), m_root + QStringLiteral("/val.bcard")});
    }

    BrenvoResult transfer(const QString& source, std::int64_t size, const QByteArray& sha, const DelayProxy::Link& link, int run)
    {
        BrenvoResult result;
        DelayProxy proxy(m_samPort, link);
        // Val knows Sam at the proxy's port; Sam listens on his own.
        const QString via = m_root + QStringLiteral("/sam-via-proxy.bcard");
        if (!cli(m_sam, {QStringLiteral("card"), QStringLiteral("--port"), QString::number(proxy.port()), QStringLiteral("-o"), via})
            || !cli(m_val, {QStringLiteral("import"), via})
            || !cli(m_sam, {QStringLiteral("card"), QStringLiteral("--port"), QString::number(m_samPort), QStringLiteral("-o"),
                            m_root + QStringLiteral("/sam.bcard")})
            || !cli(m_sam, {QStringLiteral("share"), QStringLiteral("--to"), QStringLiteral("Val"), source}))
            return result;

        const QString downloads = m_root + QStringLiteral("/downloads-%1").arg(run);
        const QString samOut = m_sam + QStringLiteral("-%1.out").arg(run), valOut = m_val + QStringLiteral("-%1.out").arg(run);
        const QString valLog = m_val + QStringLiteral("-%1.log").arg(run);
        Child sender, receiver;
        spawn(sender, m_cli,
              args(m_sam, {QStringLiteral("run"), QStringLiteral("--no-upnp"), QStringLiteral("--no-tor"), QStringLiteral("--exit-when-done"),
                           QStringLiteral("--timeout"), QStringLiteral("900")}),
              m_env, samOut, m_sam + QStringLiteral("-%1.err").arg(run));
        if (!waitForText(samOut, "listening on port", 30000)) {
            std::fprintf(stderr, "the sender did not start listening\n");
            reap(sender, 1000);
            return result;
        }
        spawn(receiver, m_cli,
              args(m_val,
                   {QStringLiteral("run"), QStringLiteral("--no-upnp"), QStringLiteral("--no-tor"), QStringLiteral("--connect"), QStringLiteral("Sam"),
                    QStringLiteral("--accept"), QStringLiteral("Sam"), QStringLiteral("--download-to"), downloads,
                    QStringLiteral("--exit-when-done"), QStringLiteral("--timeout"), QStringLiteral("900")},
                   valLog),
              m_env, valOut, m_val + QStringLiteral("-%1.err").arg(run));
        const bool receiverOk = reap(receiver, 1'000'000);
        const bool senderOk = reap(sender, 60000);
        const QString target = downloads + QLatin1Char('/') + QFileInfo(source).fileName();
        result.ok = receiverOk && senderOk && bench::sha256(target) == sha;
        if (!result.ok) {
            std::fprintf(stderr, "transfer failed: receiver %s, sender %s\n%s\n", receiverOk ? "ok" : "failed",
                         senderOk ? "ok" : "failed", readAll(valOut).right(2000).constData());
            return result;
        }
        // The target stays: a finished download whose file is gone keeps
        // the next run of --exit-when-done waiting for it.
        result.wallRate = double(size) / receiver.wallSeconds;
        const QRegularExpression speed(QStringLiteral("finished .*, ([0-9.]+) (Mi?B)/s\\)"));
        const QRegularExpressionMatch reported = speed.match(QString::fromUtf8(readAll(valOut)));
        const double unit = reported.captured(2) == QLatin1String("MiB") ? 1048576.0 : 1e6;
        result.transferRate = reported.hasMatch() ? reported.captured(1).toDouble() * unit : 0;
        const QRegularExpression atEnd(QStringLiteral("Request window of .* at the end: ([0-9]+) blocks \\(largest ([0-9]+)"));
        const QRegularExpressionMatch window = atEnd.match(QString::fromUtf8(readAll(valLog)));
        result.lastWindow = window.hasMatch() ? window.captured(1).toLongLong() : 0;
        result.largestWindow = window.hasMatch() ? window.captured(2).toLongLong() : 0;
        result.senderRss = sender.peakRssMiB();
        result.receiverRss = receiver.peakRssMiB();
        return result;
    }

private:
    QStringList args(const QString& data, const QStringList& rest, const QString& log = {}) const
    {
        return QStringList{QStringLiteral("--data-dir"), data, QStringLiteral("--key-store"), QStringLiteral("file"),
                           QStringLiteral("--log"), log.isEmpty() ? data + QStringLiteral(".log") : log}
               + rest;
    }
    bool cli(const QString& data, const QStringList& rest) { return runToEnd(m_cli, args(data, rest), m_env, m_root); }

    QString m_cli;
    QString m_root;
    Environment& m_env;
    QString m_sam;
    QString m_val;
    quint16 m_samPort;
};

QString loadAverage()
{
    return QString::fromUtf8(readAll(QStringLiteral("/proc/loadavg"))).section(QLatin1Char(' '), 0, 2);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Options options;
    const QStringList arguments = app.arguments();
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (a == QLatin1String("--size") && hasValue) {
            options.size = arguments[++i].toLongLong();
        } else if (a == QLatin1String("--rate") && hasValue) {
            options.rate = arguments[++i].toDouble() * 1e6;
        } else if (a == QLatin1String("--in-flight") && hasValue) {
            for (const QString& mib : arguments[++i].split(QLatin1Char(',')))
                options.inFlightMiB.append(mib.toInt());
        } else if (a == QLatin1String("--rtts") && hasValue) {
            options.roundTrips.clear();
            for (const QString& ms : arguments[++i].split(QLatin1Char(',')))
                options.roundTrips.append(ms.toInt());
        } else if (a == QLatin1String("--cli") && hasValue) {
            options.cli = arguments[++i];
        } else if (a == QLatin1String("--keep")) {
            options.keep = true;
        } else {
            std::fprintf(stderr, "usage: window_bench [--size BYTES] [--rate MBPS | --in-flight MIB,...] [--rtts 0,20,50,100] "
                                 "[--cli PATH] [--keep]\n");
            return 2;
        }
    }

    if (options.size <= 0)
        options.size = options.inFlightMiB.isEmpty() ? 300'000'000 : 1'500'000'000;

    QTemporaryDir root(QDir::tempPath() + QStringLiteral("/brenvo-window-bench-XXXXXX"));
    root.setAutoRemove(!options.keep);
    Environment env(isolatedEnvironment(root.path()));

    const QString source = root.filePath(QStringLiteral("random.bin"));
    const QByteArray sha = writeRandomFile(source, options.size);
    ::sync();
    Pair pair(options.cli, root.path(), env);
    if (!pair.setUp())
        return 1;

    if (options.inFlightMiB.isEmpty())
        std::printf("%.0f MB through a delay proxy of %.0f MB/s each way (%s, %s); load average %s\n", mb(double(options.size)),
                    mb(options.rate), qPrintable(options.cli), qPrintable(root.path()), qPrintable(loadAverage()));
    else
        std::printf("%.0f MB through a delay proxy of unlimited bandwidth holding the MiB shown each way (%s, %s); load average %s\n",
                    mb(double(options.size)), qPrintable(options.cli), qPrintable(root.path()), qPrintable(loadAverage()));
    std::printf("  in flight  round trip  plain copy   brenvo-cli (whole process)  ratio  window largest/last  peak RSS sender/receiver\n");
    bool allMet = true;
    int run = 0;
    const QList<int> inFlights = options.inFlightMiB.isEmpty() ? QList<int>{0} : options.inFlightMiB;
    for (int inFlight : inFlights) {
        for (int ms : options.roundTrips) {
            const DelayProxy::Link link = linkFor(options, ms, inFlight);
            const QString held = inFlight > 0 ? QStringLiteral("%1 MiB").arg(inFlight) : QStringLiteral("rate");
            const double plain = plainCopy(source, root.filePath(QStringLiteral("copy.bin")), options.size, link);
            // A file already offered is not offered again: each run shares
            // another name of the same file.
            const QString name = root.filePath(QStringLiteral("random-%1.bin").arg(++run));
            ::link(QFile::encodeName(source).constData(), QFile::encodeName(name).constData());
            const BrenvoResult brenvo = pair.transfer(name, options.size, sha, link, run);
            if (!brenvo.ok || plain <= 0) {
                std::printf("  %9s %6d ms   failed (plain copy %.1f MB/s)\n", qPrintable(held), ms, mb(plain));
                allMet = false;
                continue;
            }
            const double ratio = brenvo.transferRate / plain;
            std::printf("  %9s %6d ms   %6.1f MB/s  %6.1f MB/s (%6.1f MB/s)    %4.0f%%  %5lld / %-5lld blocks   %5.1f / %5.1f MiB\n",
                        qPrintable(held), ms, mb(plain), mb(brenvo.transferRate), mb(brenvo.wallRate), 100.0 * ratio,
                        (long long)brenvo.largestWindow, (long long)brenvo.lastWindow, brenvo.senderRss, brenvo.receiverRss);
            std::fflush(stdout);
            if ((ms > 0 && ratio < 0.9) || std::max(brenvo.senderRss, brenvo.receiverRss) > 64.0)
                allMet = false;
        }
    }
    std::printf("Goals (>= 90%% of the plain copy with a round trip, <= 64 MiB peak RSS per side): %s; load average %s\n",
                allMet ? "met" : "missed", qPrintable(loadAverage()));
    return 0;
}
