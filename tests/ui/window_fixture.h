// A main window on the offscreen platform with recording message boxes, manual timers and a
// scripted file chooser, its sockets aimed at loopback ports that nothing else uses.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QUdpSocket>
#include <memory>

#include "app/quorin_config_tool_app.h"
#include "protocol/record_codec.h"
#include "res/resource_ids.h"
#include "res/texts.h"
#include "tests/support/core_states.h"
#include "tests/support/loopback.h"
#include "tests/support/manual_window_timers.h"
#include "tests/support/recording_services.h"
#include "ui/quorin_config_tool_dlg.h"

namespace quorin::testing {

class WindowFixture : public ::testing::Test {
  protected:
    // Ports of two board sockets that the test may read requests from.
    void SetUp() override {
        mainBoard = std::make_unique<QUdpSocket>();
        legacyBoard = std::make_unique<QUdpSocket>();
        ASSERT_TRUE(mainBoard->bind(QHostAddress::AnyIPv4, 0));
        ASSERT_TRUE(legacyBoard->bind(QHostAddress::AnyIPv4, 0));
        NetworkTarget target = loopback_target(mainBoard->localPort(), legacyBoard->localPort());
        adjustTarget(target);
        app = std::make_unique<CQuorinConfigToolApp>(messages, target);
        dlg = std::make_unique<CQuorinConfigToolDlg>(*app, WindowServices{timers, files});
        dlg->setModalAbout(false);
        dlg->OnInitDialog();
    }
    // A fixture that needs other ports (the firmware transfers') sets them here.
    virtual void adjustTarget(NetworkTarget&) {}
    void TearDown() override {
        dlg.reset();
        app.reset();
    }

    // Lists a board as a search reply of its protocol would: the row is encoded in its product's
    // layout and handled in the search state. Returns the board's list index.
    int addBoard(const BoardRow& row) {
        // A search in progress keeps the boards it has listed.
        if (Core().operation_state() != OperationState::Search)
            testing::reach_state(Core(), OperationState::Search);
        if (uses_legacy_protocol(row.product_code)) {
            App().HandleDatagram(kLegacySocketTag, encode_legacy_datagram(row, kLegacySearchReply));
        } else {
            App().HandleDatagram(kSearchSocketTag,
                                 encode_main_datagram(row, OPCODE_SEARCH_REPLY, 0));
        }
        return Core().board_count() - 1;
    }

    CQuorinConfigToolApp& App() { return *app; }
    CQuorinConfigToolDlg& Dlg() { return *dlg; }
    ConfigCore& Core() { return app->core(); }

    template <class Pred>
    bool waitFor(Pred done, int ms = 2000) {
        return testing::waitFor(done, ms);
    }

    platform::RecordingMessageBoxes messages;
    platform::ManualWindowTimers timers;
    platform::ScriptedFileChooser files;
    std::unique_ptr<QUdpSocket> mainBoard;
    std::unique_ptr<QUdpSocket> legacyBoard;
    std::unique_ptr<CQuorinConfigToolApp> app;
    std::unique_ptr<CQuorinConfigToolDlg> dlg;
};

}  // namespace quorin::testing
