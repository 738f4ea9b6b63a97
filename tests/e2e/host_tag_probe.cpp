// host_tag_probe: opens the tool's main window as the product does, with the real host tag
// lookup, and reports whether the window appeared before the lookup had finished. Run by the
// namespace test with a host name that is in no hosts file and a DNS server that never answers.
// Prints, on one line:
//     window_shown_ms=N lookup_pending_at_show=0|1 lookup_pending_after_wait=0|1
//
// --blackhole-dns holds UDP port 53 on 127.0.0.1 and never answers, which makes a resolver
// pointed there wait for its full timeout. It is refused outside a network namespace of its own.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <cstdio>
#include <cstring>

#include "app/quorin_config_tool_app.h"
#include "tests/e2e/netns_guard.h"
#include "tests/support/manual_window_timers.h"
#include "tests/support/recording_services.h"
#include "ui/quorin_config_tool_dlg.h"

namespace {

constexpr int kWaitAfterShowMs = 1000;
constexpr quint16 kNobodyListens = 9;

// A UDP socket on 127.0.0.1:53 that is never read: queries to it get no answer.
int hold_dns_port() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) return -1;
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_port = htons(53);
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qt(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "--blackhole-dns") == 0) {
        if (!quorin::e2e::started_in_separate_network_namespace()) {
            std::fprintf(stderr,
                         "host_tag_probe: --blackhole-dns needs a network namespace of its own\n");
            return 3;
        }
        if (hold_dns_port() < 0) {
            std::fprintf(stderr, "host_tag_probe: cannot hold 127.0.0.1:53: %s\n",
                         std::strerror(errno));
            return 4;
        }
    }

    quorin::NetworkTarget target;  // nothing is sent; aimed at loopback all the same
    target.broadcast = QHostAddress(QStringLiteral("127.255.255.255"));
    target.main_port = kNobodyListens;
    target.legacy_board_port = kNobodyListens;
    target.legacy_local_port = 0;
    quorin::platform::RecordingMessageBoxes messages;
    quorin::platform::ManualWindowTimers timers;
    quorin::platform::ScriptedFileChooser files;

    QElapsedTimer clock;
    clock.start();
    quorin::CQuorinConfigToolApp app(messages, target);
    quorin::CQuorinConfigToolDlg dlg(app, {timers, files});
    dlg.OnInitDialog();
    dlg.show();
    const bool exposed = QTest::qWaitForWindowExposed(&dlg);
    const qint64 shown_ms = clock.elapsed();
    const bool pending_at_show = !app.hostTagKnown();
    QTest::qWait(kWaitAfterShowMs);
    const bool pending_after = !app.hostTagKnown();
    std::printf("window_shown_ms=%lld lookup_pending_at_show=%d lookup_pending_after_wait=%d\n",
                static_cast<long long>(shown_ms), pending_at_show ? 1 : 0, pending_after ? 1 : 0);
    std::fflush(stdout);
    return exposed ? 0 : 5;
}
