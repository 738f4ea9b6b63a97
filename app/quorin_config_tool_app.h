// The application object: owns the state that the protocol, window, upload and log parts share
// (the configuration sockets, the protocol core with the board table and working record, the log
// window reference, the image path, the application lock) and runs the main window.
#pragma once

#include <QAbstractSocket>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string_view>

#include "app/host_tag_lookup.h"
#include "app/message_gate.h"
#include "platform/platform_services.h"
#include "protocol/config_core.h"
#include "protocol/host_tag.h"

namespace quorin {

class CConfigSock;
class CLogDlg;
class ConfigWindow;

// Where the configuration requests go, which local port the legacy socket binds and which TCP
// ports the firmware transfers connect to. The product always uses product(); tests and the demo
// aim the tool at a loopback target instead.
struct NetworkTarget {
    QHostAddress broadcast{QHostAddress::Broadcast};  // 255.255.255.255
    quint16 main_port = kMainPort;                    // boards' main-protocol port
    quint16 legacy_board_port = kLegacyBoardPort;     // boards' legacy port
    quint16 legacy_local_port = kLegacyLocalPort;     // the legacy socket's own port
    QHostAddress bind_address{QHostAddress::AnyIPv4};
    quint16 upload_port = kAckUploadPort;     // boards' acknowledged firmware transfer (TCP)
    quint16 stream_port = kStreamUploadPort;  // legacy boards' streamed firmware transfer (TCP)

    static NetworkTarget product() { return {}; }
};

// What the operator is told when the legacy socket cannot take its local `port`: that another
// program holds the port when the system says the address is in use, "Socket Creation Failed"
// for any other reason.
QString legacy_socket_failure_text(QAbstractSocket::SocketError error, quint16 port);

class CQuorinConfigToolApp : public QObject {
    Q_OBJECT
  public:
    // Receive buffer the search socket asks for, so that a burst of 200 replies is not dropped.
    static constexpr int kSearchReceiveBufferBytes = 4 * 1024 * 1024;

    explicit CQuorinConfigToolApp(platform::MessageBoxes& messages,
                                  NetworkTarget target = NetworkTarget::product());
    ~CQuorinConfigToolApp() override;

    // The program's whole life: starts the socket layer (string 103 and false when that fails),
    // then runs the main window through the runner. Returns false in every case.
    bool InitInstance();
    // Runs the main window modally; set by the executable (the window lives in ui/).
    void setMainWindowRunner(std::function<void(CQuorinConfigToolApp&)> runner) {
        runner_ = std::move(runner);
    }
    // Socket-layer start-up; replaceable so that a test can make it fail.
    void setSocketLayerStartup(std::function<bool()> startup) { startup_ = std::move(startup); }
    // The host tag computation that OpenSockets starts on a thread of its own; replaceable so
    // that a test can give it a resolver that never answers. It must own what it uses.
    void setHostTagLookup(HostTagLookup::Compute compute) {
        host_tag_compute_ = std::move(compute);
    }
    // Whether the host tag lookup has finished (the tag is 0 until then).
    bool hostTagKnown() const { return host_tag_lookup_ && host_tag_lookup_->result().has_value(); }

    // Opening the sockets (once, from the main window's start-up): creates both sockets, starts
    // the host tag lookup and resets the protocol state. `window` receives the reply hand-overs.
    void OpenSockets(ConfigWindow* window);

    // Builds and broadcasts the request of `opcode` (1, 3 or 5); other opcodes send nothing. The
    // host tag in it is the looked-up one once the lookup has finished, 0 before.
    void SendData(int opcode);
    // Broadcasts requests the protocol core has built (an upload procedure's), each on its
    // socket. TakeHostTag() first puts the looked-up host tag into the core, as SendData does.
    void SendDatagrams(const std::vector<OutgoingDatagram>& datagrams);
    void TakeHostTag();

    // Appends a line to the newest log window; dropped while none is open or it was destroyed.
    void AppendLog(std::string_view line);
    void setLogWindow(CLogDlg* window);
    CLogDlg* logWindow() const;

    ConfigCore& core() { return core_; }
    const ConfigCore& core() const { return core_; }
    platform::MessageBoxes& messages() { return messages_; }
    const NetworkTarget& target() const { return target_; }
    CConfigSock* searchSocket() const { return search_.get(); }
    CConfigSock* legacySocket() const { return legacy_.get(); }
    // Each datagram the legacy socket reads is also given to `tap`, after this object has read
    // it: another window of the process, whose own legacy socket cannot hold the port this one
    // holds, sees the legacy boards' answers too. Empty: none.
    void setLegacyTap(std::function<void(std::span<const std::uint8_t>)> tap) {
        legacy_tap_ = std::move(tap);
    }
    std::recursive_mutex& lock() { return lock_; }
    // Receive-buffer size the system granted the search socket (bytes; 0 when unknown).
    int receiveBufferGranted() const { return receive_buffer_granted_; }

    // The firmware image path chosen with the browse command; empty at start.
    QString image_path;

    // Readable-data handler of a configuration socket: queues its tag and dispatches.
    void OnSocketReadable(std::uint8_t tag);
    // Handles a datagram as if it had been read from the socket of `tag` (queue, lock, dispatch
    // and actions as for a received one). Used by tests and by OnSocketReadable.
    void HandleDatagram(std::uint8_t tag, std::span<const std::uint8_t> bytes);

  private:
    void Dispatch();
    void carryOut(const std::vector<Action>& actions);
    // Shows a message the dispatcher raised, through the gate: a gated message while a gated box
    // is open is only counted, and the counts are logged when that box closes.
    void showMessage(const Action& action);
    void send(const OutgoingDatagram& datagram);

    platform::MessageBoxes& messages_;
    NetworkTarget target_;
    ConfigCore core_;
    std::unique_ptr<CConfigSock> search_;
    std::unique_ptr<CConfigSock> legacy_;
    std::function<void(std::span<const std::uint8_t>)> legacy_tap_;
    ConfigWindow* window_ = nullptr;
    QPointer<CLogDlg> log_;
    std::recursive_mutex lock_;
    std::function<void(CQuorinConfigToolApp&)> runner_;
    std::function<bool()> startup_;
    int receive_buffer_granted_ = 0;
    MessageGate gate_;
    HostTagLookup::Compute host_tag_compute_ = compute_host_tag;
    std::unique_ptr<HostTagLookup> host_tag_lookup_;
};

}  // namespace quorin
