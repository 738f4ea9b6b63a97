// GoogleTest main for the simulator tests: the socket tests need a Qt event loop, so a
// QCoreApplication exists for the whole run.
#include <gtest/gtest.h>

#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
