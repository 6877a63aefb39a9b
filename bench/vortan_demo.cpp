// A tour of the library's records: a file offered to a user, the entry a
// peer sees in its list, a want for blocks, all coded as binary property
// lists and read back.

#include "vortan/records/coding.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTextStream>

using namespace vortan;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("holiday photos.tar"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        file.write(QByteArray(5 * blockSize + 1234, 'p'));
    }

    User bo(QStringLiteral("Bo"), QStringLiteral("bo.example.org"), 54322, QByteArray(32, '\x0b'));
    File offered(File2::at(path), bo.key);
    offered.blocks.insert(0, 3);
    offered.blocks.insert(4);

    out << "offered file: " << offered.name() << ", " << offered.length() << " bytes in " << offered.numberOfBlocks()
        << " blocks, id " << offered.id().toString(QUuid::WithoutBraces) << "\n";
    out << "blocks sent: " << offered.blocks.toString() << " of " << offered.numberOfBlocks() << "\n";

    const QByteArray stored = toBytes(QList<File>{offered});
    const File back = fromBytes<QList<File>>(stored).first();
    out << "stored as " << stored.size() << " bytes; read back: " << back.name() << ", blocks " << back.blocks.toString()
        << ", paused " << (back.paused ? "yes" : "no") << "\n";

    FileProxy entry{offered.id(), offered.file};
    entry.file.location.reset();  // peers never see our paths
    const QByteArray list = toBytes(QList<FileProxy>{entry});
    const File received(fromBytes<QList<FileProxy>>(list).first().file, entry.id, QByteArray(32, '\x0a'));
    out << "list entry: " << list.size() << " bytes; the receiver holds a "
        << (received.paused ? "paused" : "running") << " download of " << received.displayName() << "\n";

    const WantMessage want{received.id(), BlockSet::lowestMissing(5, received.numberOfBlocks(), received.blocks, {})};
    const QByteArray wantBytes = toBytes(want);
    out << "want: blocks " << fromBytes<WantMessage>(wantBytes).blocks.toString() << " in " << wantBytes.size()
        << " bytes\n";

    const QByteArray card = toBytes(bo);
    out << "user card of " << fromBytes<User>(card).name << ": " << card.size() << " bytes\n";
    return 0;
}
