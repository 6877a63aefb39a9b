#include <QApplication>

#include <gtest/gtest.h>

// The program's tests run inside a QApplication on the offscreen platform
// (set by CTest), with their own settings and data folders.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName("Brenvo");
    return RUN_ALL_TESTS();
}
