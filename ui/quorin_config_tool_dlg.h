// The main window: board list, general settings, four channel pages behind a tab control, the
// firmware upload group and the command buttons. Built from template 102; every control is
// reached by its identifier through the platform::Dialog operations.
#pragma once

#include <QAction>
#include <QIcon>
#include <QPointer>
#include <QString>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "app/config_window.h"
#include "platform/dialog.h"
#include "platform/platform_services.h"
#include "protocol/upload_procedure.h"
#include "ui/search_view.h"
#include "upload/transfer_host.h"

namespace quorin {

class CQuorinConfigToolApp;
class CUploadSock;
class UploadWorker;

// Platform services the window uses; the product passes the Qt implementations, tests pass the
// recording/manual ones.
struct WindowServices {
    platform::WindowTimers& timers;
    platform::FileChooser& files;
};

class CQuorinConfigToolDlg : public platform::Dialog, public ConfigWindow, public TransferHost {
    Q_OBJECT
  public:
    CQuorinConfigToolDlg(CQuorinConfigToolApp& app, WindowServices services,
                         QWidget* parent = nullptr);
    ~CQuorinConfigToolDlg() override;

    // Window initialisation: system-menu item, icon, sockets, initial control state, page 1.
    // Called once, before the window is shown (the constructor does not call it).
    bool OnInitDialog();

    // System command: (command & 0xFFF0) == 16 opens the about box.
    void OnSysCommand(int command);

    // Commands.
    void OnSearch();       // 1002
    void OnSetting();      // 1003
    void OnViewLog();      // 1038
    void OnBrowse();       // 1042: choose the firmware image
    void OnUpload();       // 1035, and the aging test's restart timer
    void OnUploadAging();  // 1054: start an aging series

    // Window timer expiry: the upload procedure's timers and the transfer's own.
    void OnTimer(int id);
    // Shows the hidden, disabled "UPLOAD AGING" button (enabled), or hides and disables it again.
    // Bound to Ctrl+Shift+A.
    void ToggleAgingButton();

    // Page visibility: shows (or hides) the 20 controls of channel page 1..4.
    void ShowChannelPage(int page, bool visible);

    // Option handlers.
    void OnTabSelChange();            // 1004
    void OnUseDns(int page);          // 1011/1111/1211/1311
    void OnDataBitsChange(int page);  // 1018/1118/1218/1318
    void OnIpModeClicked(int id);     // 1043, 1028, 1029
    void OnSerialHwOrDisable();       // 1044, 1050
    void OnSerialSw();                // 1045

    // Settings collection: reads the window into the working record; false after a failed
    // check (message shown, focus moved).
    bool CollectSettings();

    // ConfigWindow: the calls the reply dispatcher makes.
    void appendBoardEntry(const QString& mac_text) override;
    bool searchReplyShowsFirstBoard() override;
    bool selectFirstBoard() override;
    void OnBoardDisplay() override;
    void OnUploadReply() override;
    void OnUploadDone() override;

    // TransferHost: what the two transfers show and report.
    void setProgressRange(int upper) override;
    void setProgressStepSize(int step) override;
    void stepProgress() override;
    void setProgressPosition(int pos) override;
    void showMessage(const QString& text) override;
    void appendLog(const QString& line) override;
    void transferSentWhole(TransferKind kind) override;
    void transferEnded(TransferKind kind, TransferOutcome outcome) override;

    // Selects the board with `row`'s MAC in the board list and shows it, listing it first (as a
    // search would have) when it is not listed yet. False when the list is full.
    bool ShowBoard(const BoardRow& row);

    // Upload state, for tests and the demo.
    bool uploadRunning() const { return upload_.running(); }
    const UploadProcedure& uploadProcedure() const { return upload_; }
    CUploadSock& uploadSock() { return *upload_sock_; }
    UploadWorker& uploadWorker() { return *upload_worker_; }
    const AgingSeries& agingSeries() const { return upload_.aging(); }
    // A smaller aging cycle limit (tests); only while no series runs.
    void setAgingCycleLimit(int limit) { upload_.set_aging_limit(limit); }

    // Model name and firmware version text of the board shown last.
    const QString& modelName() const { return model_name_; }
    const QString& firmwareVersionText() const { return firmware_text_; }

    // The about box opened by OnSysCommand; set while it runs (tests close it).
    QDialog* aboutBox() const { return about_; }
    // Runs the about box modally when true (product); tests show it modeless and read it.
    void setModalAbout(bool modal) { modal_about_ = modal; }
    // The window menu's about item (the system menu's stand-in), null before OnInitDialog.
    QAction* aboutMenuItem() const { return about_item_; }

  private:
    void connectHandlers();
    void InitControls();
    // Moves the keyboard focus to a control, first bringing up its channel page when that page is
    // hidden (a hidden control cannot take the focus).
    void FocusControl(int id);
    // The list entry a serial combo's text names, selected so that the combo shows what will be
    // sent; -1 with nothing selected or typed; nullopt when the text names no entry.
    std::optional<int> ComboEntry(int id);
    // Carries out what the upload procedure decided, in order.
    void carryOut(const UploadActions& actions);
    void uploadEnded(const UploadAction& ended);
    // Before a search or a setting: false (with a message) while an upload must not be
    // disturbed; otherwise an upload waiting for the board is abandoned.
    bool otherExchangeMayStart();
    // The selected board's local_ip; nullopt when no board is selected.
    std::optional<Ip4> selectedBoardIp() const;
    // Why the manifest beside the chosen image (IMAGE.json, when there is one) does not allow
    // uploading it to the selected board; nullopt without a manifest or when it allows it.
    std::optional<QString> manifestRefusal() const;
    void showAgingCount(int count, int limit);

    CQuorinConfigToolApp& app_;
    WindowServices services_;
    QString firmware_text_;
    QString model_name_;
    QPointer<QDialog> about_;
    bool modal_about_ = true;
    QIcon icon_;                     // icon 128, loaded at construction
    QAction* about_item_ = nullptr;  // the about item of the window menu; null: string 101 empty

    // Firmware upload: one at a time, to the selected board.
    std::unique_ptr<CUploadSock> upload_sock_;
    std::unique_ptr<UploadWorker> upload_worker_;
    UploadProcedure upload_;
    SearchView search_view_;
};

}  // namespace quorin
