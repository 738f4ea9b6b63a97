#include "app/quorin_config_tool_app.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QDebug>

#include "app/config_sock.h"
#include "app/config_window.h"
#include "log/log_dlg.h"
#include "res/dialog_template.h"
#include "res/resource_ids.h"
#include "res/texts.h"

namespace quorin {
namespace {

QString qs(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The platform's socket layer is ready when a datagram socket can be created.
bool default_socket_layer_startup() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

}  // namespace

QString legacy_socket_failure_text(QAbstractSocket::SocketError error, quint16 port) {
    if (error == QAbstractSocket::AddressInUseError) return qs(text::kLegacyPortBusy).arg(port);
    return qs(text::kSocketCreationFailed);
}

CQuorinConfigToolApp::CQuorinConfigToolApp(platform::MessageBoxes& messages, NetworkTarget target)
    : messages_(messages), target_(std::move(target)), startup_(default_socket_layer_startup) {}

CQuorinConfigToolApp::~CQuorinConfigToolApp() = default;

bool CQuorinConfigToolApp::InitInstance() {
    if (!startup_ || !startup_()) {
        messages_.show(qs(res::load_string(res::IDP_SOCKETS_INIT_FAILED)));
        return false;
    }
    if (runner_) runner_(*this);
    return false;
}

void CQuorinConfigToolApp::OpenSockets(ConfigWindow* window) {
    window_ = window;
    core_.host_tag = 0;

    auto readable = [this](std::uint8_t tag) { OnSocketReadable(tag); };
    search_ = std::make_unique<CConfigSock>(kSearchSocketTag, readable);
    if (!search_->Create(target_.bind_address, 0, false)) {
        search_.reset();
        messages_.show(qs(text::kSocketCreationFailed));
    } else {
        search_->EnableBroadcast();
        receive_buffer_granted_ = search_->SetReceiveBuffer(kSearchReceiveBufferBytes);
    }

    host_tag_lookup_ = std::make_unique<HostTagLookup>(host_tag_compute_);

    legacy_ = std::make_unique<CConfigSock>(kLegacySocketTag, readable);
    if (!legacy_->Create(target_.bind_address, target_.legacy_local_port, true)) {
        // Legacy boards cannot answer us. Say why and carry on; the socket may still send (from
        // a port the system chooses).
        qWarning().noquote() << "legacy socket:" << legacy_->errorString();
        messages_.show(legacy_socket_failure_text(legacy_->error(), target_.legacy_local_port));
    } else {
        legacy_->EnableBroadcast();
    }

    core_.reset();
}

void CQuorinConfigToolApp::SendData(int opcode) {
    TakeHostTag();
    SendDatagrams(core_.send_data(opcode));
}

void CQuorinConfigToolApp::SendDatagrams(const std::vector<OutgoingDatagram>& datagrams) {
    for (const OutgoingDatagram& datagram : datagrams) send(datagram);
}

void CQuorinConfigToolApp::TakeHostTag() {
    if (!host_tag_lookup_) return;
    if (const auto tag = host_tag_lookup_->result()) core_.host_tag = *tag;
}

void CQuorinConfigToolApp::send(const OutgoingDatagram& datagram) {
    const bool search = datagram.tag == kSearchSocketTag;
    CConfigSock* socket = search ? search_.get() : legacy_.get();
    if (socket == nullptr) return;  // its creation failed and was reported at start-up
    const qint64 sent = socket->SendTo(datagram.bytes, target_.broadcast,
                                       search ? target_.main_port : target_.legacy_board_port);
    if (sent == 0) {
        messages_.show(qs(text::kZeroBytesSent));
    } else if (sent < 0) {
        qWarning().noquote() << "send failed:" << socket->errorString();
    }
}

void CQuorinConfigToolApp::OnSocketReadable(std::uint8_t tag) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    core_.push_tag(tag);
    Dispatch();
}

void CQuorinConfigToolApp::Dispatch() {
    const std::uint8_t tag = core_.take_tag();
    if (tag == 0) return;
    CConfigSock* socket = tag == kSearchSocketTag ? search_.get() : legacy_.get();
    std::vector<std::uint8_t> datagram;
    if (socket == nullptr ||
        !socket->ReceiveDatagram(tag == kSearchSocketTag ? kMainPacketSize : kLegacyPacketSize,
                                 datagram)) {
        return;
    }
    std::lock_guard<std::recursive_mutex> guard(lock_);
    carryOut(core_.handle_datagram(tag, datagram));
    if (tag == kLegacySocketTag && legacy_tap_) legacy_tap_(datagram);
}

void CQuorinConfigToolApp::HandleDatagram(std::uint8_t tag, std::span<const std::uint8_t> bytes) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    core_.push_tag(tag);
    const std::uint8_t taken = core_.take_tag();
    if (taken == 0) return;
    const std::size_t limit = taken == kSearchSocketTag ? kMainPacketSize : kLegacyPacketSize;
    carryOut(core_.handle_datagram(taken, bytes.first(std::min(bytes.size(), limit))));
}

void CQuorinConfigToolApp::carryOut(const std::vector<Action>& actions) {
    for (const Action& action : actions) {
        switch (action.kind) {
            case Action::AppendBoardEntry:
                if (window_) window_->appendBoardEntry(QString::fromStdString(action.text));
                break;
            case Action::Log:
            case Action::TableFull:
                AppendLog(action.text);
                break;
            case Action::InvalidOpcode:
            case Action::InvalidMessage:
            case Action::SetApplied:
                showMessage(action);
                break;
            case Action::SelectAndShow:
                if (window_ && window_->searchReplyShowsFirstBoard()) {
                    if (!window_->selectFirstBoard()) messages_.show(qs(text::kListBoxError));
                    window_->OnBoardDisplay();
                }
                break;
            case Action::UploadReply:
                if (window_) window_->OnUploadReply();
                break;
            case Action::UploadDone:
                if (window_) window_->OnUploadDone();
                break;
        }
    }
}

void CQuorinConfigToolApp::showMessage(const Action& action) {
    const std::string& text = action.text;
    if (!gate_.tryOpen(action.kind, text)) return;
    messages_.show(QString::fromStdString(text));
    if (!MessageGate::gated(action.kind)) return;
    for (const auto& [message, count] : gate_.close()) {
        AppendLog(qs(text::kLogMessagesWhileOpen)
                      .arg(QString::fromStdString(message))
                      .arg(count)
                      .toStdString());
    }
}

void CQuorinConfigToolApp::AppendLog(std::string_view line) {
    if (log_.isNull() || log_->isDestroyed()) return;
    log_->AppendLine(qs(line));
}

void CQuorinConfigToolApp::setLogWindow(CLogDlg* window) {
    log_ = window;
}

CLogDlg* CQuorinConfigToolApp::logWindow() const {
    return log_.data();
}

}  // namespace quorin
