// Encodes 100,000 File records as one array (the shape of transfers.plist),
// decodes them back and prints the times.

#include "vortan/records/coding.h"

#include <QElapsedTimer>

#include <cstdio>

using namespace vortan;

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 100000;
    QList<File> files;
    files.reserve(count);
    const QByteArray user(32, '\x42');
    for (int i = 0; i < count; ++i) {
        const std::int64_t length = 1000 + std::int64_t(i) * 977 * 131;
        File file(File2(QStringLiteral("file %1.bin").arg(i), QUrl::fromLocalFile(QStringLiteral("/home/me/Shared/file %1.bin").arg(i)), length),
                  user);
        // A download in progress: a run done and a hole or two.
        const std::int64_t blocks = file.numberOfBlocks();
        if (blocks > 4) {
            file.blocks.insert(0, blocks / 2);
            file.blocks.insert(blocks / 2 + 1, 2);
        }
        files.append(std::move(file));
    }

    QElapsedTimer timer;
    timer.start();
    const plist::Value value = toPlist(files);
    const qint64 toValue = timer.nsecsElapsed();
    const QByteArray bytes = plistToBytes(value);
    const qint64 encoded = timer.nsecsElapsed();

    timer.restart();
    const plist::Value read = plistFromBytes(bytes);
    const qint64 parsed = timer.nsecsElapsed();
    const QList<File> back = fromPlist<QList<File>>(read);
    const qint64 decoded = timer.nsecsElapsed();

    if (back.size() != files.size() || back.last().id() != files.last().id() || back.last().blocks != files.last().blocks) {
        std::fprintf(stderr, "round trip mismatch\n");
        return 1;
    }
    auto ms = [](qint64 ns) { return double(ns) / 1e6; };
    std::printf("records: %d File records, %lld bytes\n", count, static_cast<long long>(bytes.size()));
    std::printf("encode: %.1f ms (records to values %.1f ms, values to bytes %.1f ms)\n", ms(encoded), ms(toValue),
                ms(encoded - toValue));
    std::printf("decode: %.1f ms (bytes to values %.1f ms, values to records %.1f ms)\n", ms(decoded), ms(parsed),
                ms(decoded - parsed));
    return 0;
}
