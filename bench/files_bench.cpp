// Many small files from one brenvo-cli process to another over 127.0.0.1,
// next to what OpenSSH does with the same folder in the same run:
// `tar -C SRC -cf - . | ssh USER@127.0.0.1 'tar -C DST -xf -'` and `scp -r`,
// both through an sshd of our own on 127.0.0.1. Prints the time of the
// receiving brenvo-cli process from its start to its end, MB/s and files/s,
// the processor time and peak resident memory of each side, the times of
// tar | ssh and scp -r, and how brenvo-cli's throughput compares.
//
//   files_bench [--files N] [--size BYTES] [--cli PATH] [--keep]
//
// Without --files and --size it runs three cases one after another: 2,000
// files of 64 KiB and 10,000 files of 8 KiB, each next to tar | ssh and
// scp -r, then 100,000 files of 1 KiB with brenvo-cli alone. With either it
// runs that one case (the other taken from the first case).
//
// Every file received is checked (size and SHA-256); a receiver that does
// not get every file is reported with the files missing and the last lines
// of both sides, and the exit status is 1. --cli runs another brenvo-cli
// build; --keep leaves the temporary folder in place, with a log of each
// side (without it the sides write no log, as people run brenvo-cli).

#include "bench/benchpair.h"
#include "bench/benchsshd.h"
#include "bench/benchsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

namespace {

using namespace bench;

struct Case {
    int files = 0;
    std::int64_t size = 0;
    // Also tar | ssh and scp -r of the same folder.
    bool compare = true;
    // brenvo-cli's throughput against tar | ssh that the case aims at; 0: none.
    double goal = 0;
};

const std::vector<Case> kDefaultCases{{2000, 64 * 1024, true, 1.5}, {10000, 8 * 1024, true, 1.0}, {100000, 1024, false, 0}};

struct Made {
    QStringList names;
    std::vector<QByteArray> sums;
};

struct Arrival {
    int missing = 0;
    int wrong = 0;
    bool complete() const { return missing == 0 && wrong == 0; }
};

// The files of the case into folder, in name order.
Made makeFiles(const QString& folder, const Case& c)
{
    QDir().mkpath(folder);
    Made made;
    for (int i = 0; i < c.files; ++i) {
        const QString name = QStringLiteral("file-%1.bin").arg(i, 6, 10, QLatin1Char('0'));
        made.names.append(name);
        made.sums.push_back(writeRandomFile(folder + QLatin1Char('/') + name, c.size));
    }
    return made;
}

Arrival check(const QString& folder, const Made& made, std::int64_t size)
{
    Arrival arrival;
    for (qsizetype i = 0; i < made.names.size(); ++i) {
        const QString path = folder + QLatin1Char('/') + made.names[i];
        const QFileInfo info(path);
        if (!info.exists())
            ++arrival.missing;
        else if (info.size() != size || sha256(path) != made.sums[size_t(i)])
            ++arrival.wrong;
    }
    return arrival;
}

QString describe(const Arrival& a, int files)
{
    if (a.complete())
        return QStringLiteral("all %1 files arrived with the right content").arg(files);
    return QStringLiteral("%1 of %2 files missing, %3 with wrong content").arg(a.missing).arg(files).arg(a.wrong);
}

QString shellQuoted(const QString& s)
{
    QString quoted = s;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

struct Copy {
    double seconds = 0;
    Arrival arrival;
    QString problem;
};

// One copy of source into target (which it makes) by OpenSSH.
Copy copyWith(const QString& how, const TemporarySshd& sshd, const QString& source, const QString& target, const Made& made,
              const Case& c, Environment& env, const QString& folder)
{
    if (!sshd.listening())
        return {0, {}, sshd.problem()};
    QString program;
    QStringList args;
    if (how == QLatin1String("tar")) {
        QDir().mkpath(target);
        QStringList ssh{sshd.ssh()};
        ssh << sshd.clientOptions() << QStringLiteral("-p") << QString::number(sshd.port()) << sshd.login()
            << QStringLiteral("tar -C %1 -xf -").arg(shellQuoted(target));
        QStringList quoted;
        for (const QString& a : std::as_const(ssh))
            quoted << shellQuoted(a);
        program = QStringLiteral("/bin/sh");
        args << QStringLiteral("-c")
             << QStringLiteral("tar -C %1 -cf - . | %2").arg(shellQuoted(source), quoted.join(QLatin1Char(' ')));
    } else {
        program = sshd.scp();
        args << QStringLiteral("-q") << QStringLiteral("-r") << QStringLiteral("-P") << QString::number(sshd.port())
             << sshd.clientOptions() << source << sshd.login() + QLatin1Char(':') + target;
    }
    ::sync();
    Child child;
    if (!runToEnd(program, args, env, folder, 1800000, &child))
        return {0, {}, QStringLiteral("failed")};
    return {child.wallSeconds, check(target, made, c.size), QString()};
}

struct Result {
    Case c;
    bool ran = false;
    // Every file arrived and both sides ended well.
    bool complete = false;
    Arrival arrival;
    double seconds = 0;
    double peakMiB = 0;
    std::optional<Copy> tar;
};

void printSide(const char* name, const Child& child)
{
    std::printf("    %-8s ran %.2f s, processor %.2f s (user %.2f, system %.2f), peak RSS %.1f MiB\n", name, child.wallSeconds,
                seconds(child.usage.ru_utime) + seconds(child.usage.ru_stime), seconds(child.usage.ru_utime),
                seconds(child.usage.ru_stime), child.peakRssMiB());
}

void printCopy(const char* name, const Copy& copy, double brenvoSeconds, bool brenvoComplete, const Case& c)
{
    if (!copy.problem.isEmpty()) {
        std::printf("  %-12s %s\n", name, qPrintable(copy.problem));
        return;
    }
    const double bytes = double(c.files) * double(c.size);
    std::printf("  %-12s %.2f s: %.1f MB/s, %.0f files/s; %s\n", name, copy.seconds, mb(bytes / copy.seconds),
                double(c.files) / copy.seconds, qPrintable(describe(copy.arrival, c.files)));
    if (brenvoSeconds > 0)
        std::printf("  brenvo / %-8s %.2f%s\n", name, copy.seconds / brenvoSeconds,
                    brenvoComplete ? "" : " (brenvo-cli did not deliver every file: not a fair figure)");
}

Result runCase(const Case& c, const QString& cli, const QString& folder, Environment& env, const TemporarySshd* sshd, bool keep)
{
    Result result;
    result.c = c;
    const double bytes = double(c.files) * double(c.size);
    std::printf("\n%d files of %s bytes (%.1f MiB), one brenvo-cli to another over 127.0.0.1%s (%s)\n", c.files,
                qPrintable(QString::number(c.size)), mib(bytes), c.compare ? "" : ", brenvo-cli alone", qPrintable(folder));
    std::fflush(stdout);
    const QString source = folder + QStringLiteral("/files");
    QElapsedTimer clock;
    clock.start();
    const Made made = makeFiles(source, c);
    // Start from written-back pages: the transfer should not pay for the
    // write-back of the files just made.
    ::sync();
    // Other work on the machine weighs on every figure: say how much there is.
    std::printf("  made and written back in %.1f s; load average %s over the last minute, %d processors\n",
                double(clock.elapsed()) / 1000.0, readAll(QStringLiteral("/proc/loadavg")).split(' ').value(0, "?").constData(),
                int(sysconf(_SC_NPROCESSORS_ONLN)));
    std::fflush(stdout);

    BrenvoPair pair(cli, folder, env, keep);
    QStringList paths;
    for (const QString& name : made.names)
        paths.append(source + QLatin1Char('/') + name);
    clock.restart();
    const int shares = pair.introduce() ? pair.share(paths, 1800000) : 0;
    if (shares == 0) {
        std::printf("  *** brenvo-cli could not be set up (card, import or share failed)\n");
        return result;
    }
    std::printf("  offered in %d share command%s, %.1f s\n", shares, shares == 1 ? "" : "s", double(clock.elapsed()) / 1000.0);
    std::fflush(stdout);

    const int timeoutSeconds = 120 + c.files / 50;
    const BrenvoPair::Outcome outcome = pair.run(timeoutSeconds, 30000 + c.files);
    const Child& sender = pair.sender();
    const Child& receiver = pair.receiver();
    result.ran = true;
    result.arrival = check(pair.downloads(), made, c.size);
    result.seconds = receiver.wallSeconds;
    result.peakMiB = std::max(sender.peakRssMiB(), receiver.peakRssMiB());
    result.complete = result.arrival.complete() && outcome.receiverOk && outcome.senderOk;
    std::printf("  brenvo-cli   %.2f s for the receiving process from its start to its end: %.1f MB/s, %.0f files/s; %s\n",
                receiver.wallSeconds, mb(bytes / receiver.wallSeconds), double(c.files) / receiver.wallSeconds,
                qPrintable(describe(result.arrival, c.files)));
    printSide("sender", sender);
    printSide("receiver", receiver);
    if (!result.complete) {
        std::printf("  *** INCOMPLETE: %s; receiver %s%s, sender %s\n", qPrintable(describe(result.arrival, c.files)),
                    qPrintable(describeStatus(receiver)),
                    outcome.receiverStopped ? " (stopped: still running well after the sender had left)" : "",
                    qPrintable(describeStatus(sender)));
        std::printf("%s%s  ---\n", pair.receiverTails(20, 10).constData(), pair.senderTails(20, 10).constData());
    }
    std::fflush(stdout);

    if (c.compare && sshd) {
        result.tar = copyWith(QStringLiteral("tar"), *sshd, source, folder + QStringLiteral("/tar-copy"), made, c, env, folder);
        printCopy("tar|ssh", *result.tar, result.seconds, result.complete, c);
        const Copy scp = copyWith(QStringLiteral("scp"), *sshd, source, folder + QStringLiteral("/scp-copy"), made, c, env, folder);
        printCopy("scp -r", scp, result.seconds, result.complete, c);
    }
    std::fflush(stdout);
    return result;
}

QString caseName(const Case& c)
{
    return c.size % 1024 == 0 ? QStringLiteral("%1 x %2 KiB").arg(c.files).arg(c.size / 1024)
                              : QStringLiteral("%1 x %2 bytes").arg(c.files).arg(c.size);
}

void printGoal(const Result& r)
{
    const QString name = caseName(r.c);
    const bool complete = r.complete;
    QString line = complete ? QStringLiteral("complete") : QStringLiteral("INCOMPLETE");
    bool met = complete;
    QString goal = QStringLiteral("complete");
    if (r.c.goal > 0) {
        goal += QStringLiteral(" and >= %1 x tar|ssh").arg(r.c.goal, 0, 'f', 1);
        if (r.tar && r.tar->problem.isEmpty() && r.seconds > 0) {
            const double ratio = r.tar->seconds / r.seconds;
            line += QStringLiteral(", %1 x tar|ssh").arg(ratio, 0, 'f', 2);
            met = met && ratio >= r.c.goal;
        } else {
            line += QStringLiteral(", no tar|ssh figure");
            met = false;
        }
    }
    if (r.ran)
        line += QStringLiteral(", peak RSS %1 MiB").arg(r.peakMiB, 0, 'f', 1);
    std::printf("  %s: %s: %s: %s\n", qPrintable(name), qPrintable(goal), qPrintable(line), met ? "met" : "missed");
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::optional<int> files;
    std::optional<std::int64_t> size;
    bool keep = false;
    QString cli = QStringLiteral(BRENVO_CLI_PATH);
    const QStringList args = app.arguments();
    bool usage = false;
    for (int i = 1; i < args.size() && !usage; ++i) {
        bool ok = true;
        if (args[i] == QLatin1String("--files") && i + 1 < args.size())
            files = args[++i].toInt(&ok);
        else if (args[i] == QLatin1String("--size") && i + 1 < args.size())
            size = args[++i].toLongLong(&ok);
        else if (args[i] == QLatin1String("--cli") && i + 1 < args.size())
            cli = args[++i];
        else if (args[i] == QLatin1String("--keep"))
            keep = true;
        else
            ok = false;
        usage = !ok || (files && *files <= 0) || (size && *size <= 0);
    }
    if (usage) {
        std::fprintf(stderr, "usage: files_bench [--files N] [--size BYTES] [--cli PATH] [--keep]\n");
        return 2;
    }
    std::vector<Case> cases = kDefaultCases;
    if (files || size) {
        Case c{files.value_or(kDefaultCases[0].files), size.value_or(kDefaultCases[0].size), true, 0};
        for (const Case& d : kDefaultCases) {
            if (d.files == c.files && d.size == c.size)
                c = d;
        }
        cases = {c};
    }

    QTemporaryDir root(QDir::tempPath() + QStringLiteral("/brenvo-files-bench-XXXXXX"));
    root.setAutoRemove(!keep);
    Environment env(isolatedEnvironment(root.path()));
    std::printf("many files between two brenvo-cli processes over 127.0.0.1 (%s, %s)\n", qPrintable(cli), qPrintable(root.path()));
    std::optional<TemporarySshd> sshd;
    if (std::any_of(cases.cbegin(), cases.cend(), [](const Case& c) { return c.compare; })) {
        sshd.emplace(env, root.path());
        if (!sshd->listening()) {
            std::printf("tar | ssh and scp -r skipped: %s\n", qPrintable(sshd->problem()));
        } else {
            // What every ssh or scp pays before its first byte.
            Child login;
            const QStringList where{QStringLiteral("-p"), QString::number(sshd->port()), sshd->login(), QStringLiteral("true")};
            if (runToEnd(sshd->ssh(), sshd->clientOptions() + where, env, root.path(), 60000, &login))
                std::printf("an ssh session that runs true takes %.2f s\n", login.wallSeconds);
        }
    }

    std::vector<Result> results;
    for (size_t i = 0; i < cases.size(); ++i) {
        const QString folder = root.filePath(QStringLiteral("case%1-%2x%3").arg(i + 1).arg(cases[i].files).arg(cases[i].size));
        QDir().mkpath(folder);
        results.push_back(runCase(cases[i], cli, folder, env, sshd ? &*sshd : nullptr, keep));
        // The next case does not need this one's files.
        if (!keep)
            QDir(folder).removeRecursively();
    }

    std::printf("\nGoals:\n");
    bool allComplete = true;
    for (const Result& r : results) {
        printGoal(r);
        allComplete = allComplete && r.complete;
    }
    return allComplete ? 0 : 1;
}
