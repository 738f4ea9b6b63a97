// Entry point of the test executables without widgets: one QCoreApplication for the whole run,
// for the tests that need a Qt event loop, then the tests. The tests' own sockets talk to loopback
// only: no proxy, and the desktop's proxy configuration is not consulted.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QNetworkProxy>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
