// tool_search_client: the tool's own search, for the namespace test. The application object
// opens its two configuration sockets as the product does (the legacy socket on its fixed port),
// runs SendData(OPCODE_SEARCH_REQUEST) towards --address, and lets its reply dispatcher fill the
// board table. Prints, on one line:
//     replies=N distinct=M len120=a len226=b len290=c len402=d other=0
// replies counts the search replies the dispatcher accepted (each is followed by a board
// display), distinct the boards listed, lenNNN the listed boards by record length.
//
// The main request goes to --port; with --find the "FIND" goes there instead and the main request
// to a port nobody listens on, so that each run reaches the boards of one protocol only.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "app/config_window.h"
#include "app/quorin_config_tool_app.h"
#include "protocol/record_codec.h"
#include "tests/e2e/netns_guard.h"
#include "tests/support/recording_services.h"

namespace {

class CountingWindow : public quorin::ConfigWindow {
  public:
    void appendBoardEntry(const QString&) override {}
    bool selectFirstBoard() override { return true; }
    void OnBoardDisplay() override { ++displays; }
    void OnUploadReply() override {}
    void OnUploadDone() override {}
    int displays = 0;
};

constexpr quint16 kNobodyListens = 9;  // discard port: no board listens there

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication qt(argc, argv);
    std::string address;
    int port = 0;
    double seconds = 3;
    long expect = -1;
    bool find = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool value = i + 1 < argc;
        if (arg == "--address" && value) {
            address = argv[++i];
        } else if (arg == "--port" && value) {
            port = std::atoi(argv[++i]);
        } else if (arg == "--seconds" && value) {
            seconds = std::atof(argv[++i]);
        } else if (arg == "--expect" && value) {
            expect = std::atol(argv[++i]);
        } else if (arg == "--find") {
            find = true;
        } else {
            std::fprintf(stderr,
                         "usage: tool_search_client --address A --port P [--seconds S] "
                         "[--expect N] [--find]\n");
            return 2;
        }
    }
    if (address.empty() || port <= 0 || port > 65535) return 2;
    if (!quorin::e2e::destination_allowed(address)) {
        std::fprintf(stderr,
                     "tool_search_client: refusing to send to %s outside a network "
                     "namespace\n",
                     address.c_str());
        return 3;
    }

    quorin::NetworkTarget target = quorin::NetworkTarget::product();
    target.broadcast = QHostAddress(QString::fromStdString(address));
    target.main_port = find ? kNobodyListens : static_cast<quint16>(port);
    target.legacy_board_port = find ? static_cast<quint16>(port) : kNobodyListens;

    quorin::platform::RecordingMessageBoxes messages;
    CountingWindow window;
    quorin::CQuorinConfigToolApp app(messages, target);
    app.OpenSockets(&window);
    app.SendData(quorin::OPCODE_SEARCH_REQUEST);

    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < static_cast<qint64>(seconds * 1000) &&
           (expect < 0 || window.displays < expect)) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }

    std::map<int, int> lengths;
    const auto& core = app.core();
    for (int i = 0; i < core.board_count(); ++i) {
        const auto& code = core.board(i).product_code;
        ++lengths[quorin::uses_legacy_protocol(code)
                      ? static_cast<int>(quorin::kLegacyPacketSize)
                      : static_cast<int>(quorin::main_request_length(code))];
    }
    std::printf("replies=%d distinct=%d len120=%d len226=%d len290=%d len402=%d other=0\n",
                window.displays, core.board_count(), lengths[120], lengths[226], lengths[290],
                lengths[402]);
    for (const QString& m : messages.shown) std::printf("message: %s\n", qPrintable(m));
    std::printf("receive buffer granted: %d bytes\n", app.receiveBufferGranted());
    return 0;
}
