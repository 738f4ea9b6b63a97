// Entry point of the GUI test executables: Qt's offscreen platform unless the environment asks
// for another one, one QApplication for the whole run, then the tests. The tests' own sockets talk
// to loopback only: no proxy, and the desktop's proxy configuration is not consulted (it would
// start a lookup thread in every test).
#include <gtest/gtest.h>

#include <QApplication>
#include <QNetworkProxy>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
    return RUN_ALL_TESTS();
}
