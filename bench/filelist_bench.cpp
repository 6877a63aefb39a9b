// What one publication of the catalogue costs the desktop program's main
// thread in the file list: 5,000 records of one person, 20 of which change
// between publications (as 20 running transfers would). Prints the time the
// model and a shown list take to apply each publication, the whole
// publication with the controller's own work, a repaint of the visible rows,
// a publication that adds and removes a row, and a reset (selecting the
// person).
#include "app/files/filelistmodel.h"
#include "app/files/filerowdelegate.h"
#include "app/files/thumbnailscache.h"
#include "bench/benchcatalogue.h"
#include "vortan/controller.h"
#include "vortan/diagnostics.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTreeView>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace vortan;
using namespace brenvo;

namespace {

struct Figures {
    std::vector<double> ms;

    void add(const QElapsedTimer& timer) { ms.push_back(double(timer.nsecsElapsed()) / 1e6); }
    void print(const char* what)
    {
        if (qEnvironmentVariableIsSet("BENCH_RAW")) {
            for (double m : ms)
                std::printf("%.2f ", m);
            std::printf("\n");
        }
        std::sort(ms.begin(), ms.end());
        double sum = 0;
        for (double m : ms)
            sum += m;
        std::printf("%-44s mean %7.3f ms, median %7.3f ms, p99 %7.3f ms, max %7.3f ms (%zu runs)\n", what,
                    sum / double(ms.size()), ms[ms.size() / 2], ms[ms.size() * 99 / 100], ms.back(), ms.size());
    }
};

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    setLogSink([](QtMsgType, const char*, const QString&) {});
    QTemporaryDir dir;
    const std::unique_ptr<Controller> started = bench::controllerWithOffers(dir.path(), QStringLiteral("/nonexistent"));
    if (!started)
        return 1;
    Controller& controller = *started;
    const QByteArray& peer = bench::kPeer;
    using bench::kChanging;
    using bench::kRecords;

    // Around the model's and the view's handlers: connected before and after them.
    QElapsedTimer handling;
    Figures applied;
    QObject::connect(&controller, &Controller::filesChanged, [&] { handling.start(); });
    ThumbnailsCache thumbnails;
    FileListModel model(controller, &thumbnails);
    QTreeView view;
    view.setModel(&model);
    view.setItemDelegate(new FileRowDelegate(model, thumbnails, &view));
    view.setHeaderHidden(true);
    view.setRootIsDecorated(false);
    view.setSelectionMode(QAbstractItemView::ExtendedSelection);
    view.resize(600, 800);
    view.show();
    QObject::connect(&controller, &Controller::filesChanged, [&] { applied.add(handling); });

    Figures reset;
    for (int i = 0; i < 10; ++i) {
        QElapsedTimer timer;
        timer.start();
        model.setUser(i % 2 ? QByteArray() : peer);
        view.expandAll();
        if (i % 2 == 0)
            reset.add(timer);
    }
    model.setUser(peer);
    view.expandAll();
    const QModelIndex uploads = model.index(0, 0);
    view.selectionModel()->select(QItemSelection(model.index(100, 0, uploads), model.index(200, 0, uploads)),
                                  QItemSelectionModel::Select);
    view.scrollTo(model.index(150, 0, uploads));
    app.processEvents();

    const QList<FileRow> rows = controller.fileRows();
    Figures whole;
    Figures repaint;
    for (int round = 0; round + kChanging <= kRecords; round += kChanging) {
        QList<QUuid> ids;
        for (int i = round; i < round + kChanging; ++i)
            ids.append(rows[i].id);
        controller.pause(ids);
        QElapsedTimer timer;
        timer.start();
        controller.publishNow();
        whole.add(timer);
        if (round % (kChanging * 10) == 0) {
            timer.start();
            view.viewport()->repaint();
            repaint.add(timer);
        }
    }
    std::printf("%d records of one person, %d changed per publication:\n", kRecords, kChanging);
    applied.print("model and list apply a publication:");
    whole.print("whole publication (controller, model, list):");
    repaint.print("repaint of the visible rows:");

    applied.ms.clear();
    for (int i = 0; i < 50; ++i) {
        controller.shareFiles({File2(QStringLiteral("new-%1.bin").arg(i), std::nullopt, 1000)}, {peer});
        controller.removeFiles({controller.fileRows().front().id}, peer);
        controller.publishNow();
    }
    applied.print("one added and one removed, applied:");
    reset.print("selecting the person (reset of 5,000):");
    const bool selectionKept = view.selectionModel()->selectedRows().size() == 101;
    std::printf("selection of 101 rows across all publications: %s\n", selectionKept ? "kept" : "LOST");
    return 0;
}
