// The main window: construction, handler bindings, the system command, the Search and View Log
// commands and the calls the reply dispatcher makes. The initial state is in
// main_window_init.cpp, the board display in board_display.cpp and the option handlers in
// option_handlers.cpp.
#include "ui/quorin_config_tool_dlg.h"

#include <QKeySequence>
#include <QShortcut>

#include "app/about_dlg.h"
#include "app/quorin_config_tool_app.h"
#include "log/log_dlg.h"
#include "platform/shell_rules.h"
#include "res/resource_ids.h"
#include "res/texts.h"
#include "ui/ui_text.h"
#include "upload/upload_sock.h"
#include "upload/upload_worker.h"

namespace quorin {

using namespace res;

CQuorinConfigToolDlg::CQuorinConfigToolDlg(CQuorinConfigToolApp& app, WindowServices services,
                                           QWidget* parent)
    : platform::Dialog(main_template(), parent),
      app_(app),
      services_(services),
      icon_(platform::app_icon()),
      upload_sock_(std::make_unique<CUploadSock>(*this, services.timers)),
      upload_worker_(std::make_unique<UploadWorker>(*this, services.timers)),
      upload_(app.core()) {
    connectHandlers();
    services_.timers.setHandler([this](int id) { OnTimer(id); });
    auto* reveal_aging = new QShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A), this);
    connect(reveal_aging, &QShortcut::activated, this, &CQuorinConfigToolDlg::ToggleAgingButton);
}

CQuorinConfigToolDlg::~CQuorinConfigToolDlg() {
    // The worker thread is joined before anything it reports to goes; no timer reaches this
    // window afterwards.
    upload_worker_->stop();
    upload_sock_->stop();
    for (const UploadAction& a : upload_.stop()) {
        if (a.kind == UploadAction::StopTimer) services_.timers.KillTimer(a.timer);
    }
    services_.timers.setHandler(nullptr);
}

void CQuorinConfigToolDlg::connectHandlers() {
    onClicked(IDC_SEARCH, [this] { OnSearch(); });
    onClicked(IDC_SETTING, [this] { OnSetting(); });
    onClicked(IDC_VIEW_LOG, [this] { OnViewLog(); });
    onClicked(IDC_BROWSE, [this] { OnBrowse(); });
    onClicked(IDC_UPLOAD, [this] { OnUpload(); });
    onClicked(IDC_UPLOAD_AGING, [this] { OnUploadAging(); });
    onClicked(IDCANCEL, [this] { reject(); });

    onSelChange(IDC_CHANNEL_TAB, [this] { OnTabSelChange(); });
    for (int page = 1; page <= 4; ++page) {
        const ChannelIds& ids = kChannels[static_cast<std::size_t>(page - 1)];
        onClicked(ids.use_dns, [this, page] { OnUseDns(page); });
        onSelChange(ids.data_bits, [this, page] { OnDataBitsChange(page); });
        onSelChange(ids.parity, [] {});  // the parity choice is read back when settings are sent
    }

    for (int id : {IDC_PPPOE, IDC_STATIC_IP, IDC_DHCP})
        onClicked(id, [this, id] { OnIpModeClicked(id); });
    onClicked(IDC_SERIAL_HW, [this] { OnSerialHwOrDisable(); });
    onClicked(IDC_SERIAL_DISABLE, [this] { OnSerialHwOrDisable(); });
    onClicked(IDC_SERIAL_SW, [this] { OnSerialSw(); });

    onSelChange(IDC_BOARD_LIST, [this] { OnBoardDisplay(); });
    onSetFocus(IDC_BOARD_LIST, [this] { OnBoardDisplay(); });

    // Choosing a board, changing a control or switching the tab takes the view over from the
    // search: later replies no longer select and show the first board.
    onUserChange([this](int) { search_view_.operatorActed(); });
}

void CQuorinConfigToolDlg::OnSysCommand(int command) {
    if (!platform::is_about_command(command)) return;  // nothing else reaches this handler
    if (modal_about_) {
        CAboutDlg about(this);
        about_ = &about;
        about.exec();
        about_ = nullptr;
        return;
    }
    // Tests: a modeless box that stays open until the test closes it.
    delete about_;
    about_ = new CAboutDlg(this);
    about_->show();
}

void CQuorinConfigToolDlg::OnSearch() {
    if (!otherExchangeMayStart()) return;
    search_view_.searchStarted();
    listReset(IDC_BOARD_LIST);
    enable(IDC_SETTING, false);
    enable(IDC_UPLOAD, false);
    app_.SendData(OPCODE_SEARCH_REQUEST);
    app_.AppendLog(text::kLogSearchRequest);
}

void CQuorinConfigToolDlg::OnViewLog() {
    // Every press opens a new, empty window; older ones stay as they are and get no more lines.
    auto* log = new CLogDlg(this);
    app_.setLogWindow(log);
    log->show();
}

void CQuorinConfigToolDlg::appendBoardEntry(const QString& mac_text) {
    listAppend(IDC_BOARD_LIST, mac_text);
}

bool CQuorinConfigToolDlg::searchReplyShowsFirstBoard() {
    const ConfigCore& core = app_.core();
    return search_view_.replyShowsFirstBoard(listCurSel(IDC_BOARD_LIST),
                                             core.board_count() > 0 ? &core.board(0) : nullptr);
}

bool CQuorinConfigToolDlg::selectFirstBoard() {
    return listSetCurSel(IDC_BOARD_LIST, 0);
}

}  // namespace quorin
