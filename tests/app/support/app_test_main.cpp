#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// The program's tests run inside a QApplication on the offscreen platform
// (set by CTest), with their own settings and data folders.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName("Brenvo");
    // Tests set their own data folder; until they do, one of the process's
    // own: Qt trashes into the current folder when the data folder is missing.
    QTemporaryDir dataHome;
    if (qEnvironmentVariableIsEmpty("XDG_DATA_HOME") && dataHome.isValid()) {
        const QString path = dataHome.filePath("data");
        QDir().mkpath(path);
        qputenv("XDG_DATA_HOME", QFile::encodeName(path));
    }
    return RUN_ALL_TESTS();
}
