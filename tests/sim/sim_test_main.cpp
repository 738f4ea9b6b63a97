// GoogleTest main for the simulator tests: the socket tests need a Qt event loop, so a
// QCoreApplication exists for the whole run. The tests' own sockets talk to loopback only: no
// proxy, and the desktop's proxy configuration is not consulted.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QNetworkProxy>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
