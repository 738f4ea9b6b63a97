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
#include <string_view>

#include "app/config_window.h"
#include "platform/dialog.h"
#include "platform/platform_services.h"
#include "ui/search_view.h"

namespace quorin {

class CQuorinConfigToolApp;

// Platform services the window uses; the product passes the Qt implementations, tests pass the
// recording/manual ones.
struct WindowServices {
    platform::WindowTimers& timers;
    platform::FileChooser& files;
    platform::MessagePoster& poster;
};

class CQuorinConfigToolDlg : public platform::Dialog, public ConfigWindow {
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
    void OnSearch();   // 1002
    void OnSetting();  // 1003
    void OnViewLog();  // 1038

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

    CQuorinConfigToolApp& app_;
    WindowServices services_;
    QString firmware_text_;
    QString model_name_;
    QPointer<QDialog> about_;
    bool modal_about_ = true;
    QIcon icon_;                     // icon 128, loaded at construction
    QAction* about_item_ = nullptr;  // the about item of the window menu; null: string 101 empty
    SearchView search_view_;
};

}  // namespace quorin
