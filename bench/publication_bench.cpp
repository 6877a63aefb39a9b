// What one publication of the catalogue costs the main thread: 5,000
// records, 20 of which change between publications (as 20 running transfers
// would), each publication building the rows and reporting what changed.
#include "bench/benchcatalogue.h"
#include "vortan/controller.h"
#include "vortan/controller/controllertestaccess.h"
#include "vortan/diagnostics.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace vortan;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    setLogSink([](QtMsgType, const char*, const QString&) {});
    QTemporaryDir dir;
    const std::unique_ptr<Controller> started = bench::controllerWithOffers(dir.path(), QStringLiteral("/tmp"));
    if (!started)
        return 1;
    Controller& controller = *started;
    using bench::kChanging;
    using bench::kRecords;

    qsizetype reported = 0;
    QObject::connect(&controller, &Controller::filesChanged, [&](const FileChanges& changes) {
        reported += changes.updated.size();
    });

    std::vector<double> ms;
    const QList<FileRow> rows = controller.fileRows();
    for (int round = 0; round + kChanging <= kRecords; round += kChanging) {
        QList<QUuid> ids;
        for (int i = round; i < round + kChanging; ++i)
            ids.append(rows[i].id);
        controller.pause(ids);
        QElapsedTimer timer;
        timer.start();
        controller.publishNow();
        ms.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    double sum = 0;
    for (double m : ms)
        sum += m;
    std::printf("publication of %d records, %d changed: mean %.2f ms, median %.2f ms, p99 %.2f ms, max %.2f ms "
                "(%zu publications, %lld rows reported updated)\n",
                kRecords, kChanging, sum / double(ms.size()), ms[ms.size() / 2], ms[ms.size() * 99 / 100], ms.back(),
                ms.size(), static_cast<long long>(reported));
    return 0;
}
