#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    // A data folder of the process's own (unless its wrapper chose one): the
    // Trash lives there, and Qt trashes into the current folder, a checkout
    // perhaps, when the data folder is missing.
    QTemporaryDir dataHome;
    if (qEnvironmentVariableIsEmpty("XDG_DATA_HOME") && dataHome.isValid()) {
        const QString path = dataHome.filePath(QStringLiteral("data"));
        QDir().mkpath(path);
        qputenv("XDG_DATA_HOME", QFile::encodeName(path));
    }
    return RUN_ALL_TESTS();
}
