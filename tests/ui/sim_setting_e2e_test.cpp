// Search, edit and Setting against the board simulator through real sockets on loopback: the
// simulator's event log shows the request it received and the fields it changed.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/quorin_config_tool_app.h"
#include "res/resource_ids.h"
#include "res/texts.h"
#include "sim/board_simulator.h"
#include "sim/sim_board.h"
#include "tests/support/loopback.h"
#include "tests/support/manual_window_timers.h"
#include "tests/support/recording_services.h"
#include "tests/support/simulated_input.h"
#include "ui/quorin_config_tool_dlg.h"

namespace quorin {
namespace {

using namespace res;
using testing::click;
using testing::simulate_select;
using testing::waitFor;

// A board whose settings the window can show and collect again unchanged: the fields the tool
// never shows (reserved, debug mode) hold what the tool sends for them, and the serial command
// method is SW so that the trigger characters travel too.
sim::SimBoard simulated(std::uint8_t product, int index) {
    sim::SimBoard board;
    board.row =
        sim::default_board_row({0, product}, index, sim::board_address({127, 0, 1, 0}, index));
    board.row.debug_mode = 0;
    board.row.reserved_block = {};
    board.row.reserved_word = 0;
    board.row.reserved_text = {};
    board.row.serial_command_method = 2;
    for (auto& ch : board.row.channel) ch.reserved = 0;
    return board;
}

class SettingAgainstSimulator : public ::testing::Test {
  protected:
    void SetUp() override {
        sim_ = std::make_unique<sim::BoardSimulator>(
            std::vector<sim::SimBoard>{simulated(2, 0), simulated(4, 1)});
        QObject::connect(sim_.get(), &sim::BoardSimulator::event,
                         [this](const QJsonObject& e) { events_.push_back(e); });
        sim::SimConfig config;
        config.main_port = 0;
        config.legacy_port = 0;
        config.upload_port = 0;
        config.stream_port = 0;
        QString error;
        ASSERT_TRUE(sim_->start(config, &error)) << error.toStdString();

        app_ = std::make_unique<CQuorinConfigToolApp>(
            messages_, testing::loopback_target(sim_->mainPort(), sim_->legacyPort()));
        dlg_ =
            std::make_unique<CQuorinConfigToolDlg>(*app_, WindowServices{timers_, files_});
        dlg_->OnInitDialog();

        click(*dlg_, IDC_SEARCH);
        ASSERT_TRUE(waitFor([&] { return app_->core().board_count() == 2; }));
    }
    void TearDown() override {
        dlg_.reset();
        app_.reset();
        sim_.reset();
    }

    // Shows the listed board of `product` as the operator would, by clicking it in the list.
    void select(std::uint8_t product) {
        for (int i = 0; i < app_->core().board_count(); ++i) {
            if (app_->core().board(i).product_code[1] == product) {
                simulate_select(*dlg_, IDC_BOARD_LIST, i);
                return;
            }
        }
        FAIL() << "no board of product " << int(product);
    }

    std::vector<QJsonObject> eventsNamed(const QString& name) const {
        std::vector<QJsonObject> found;
        for (const QJsonObject& e : events_) {
            if (e.value(QStringLiteral("event")).toString() == name) found.push_back(e);
        }
        return found;
    }

    int completedMessages() const {
        return static_cast<int>(messages_.shown.count(
            QString::fromUtf8(text::kSettingCompleted.data(), text::kSettingCompleted.size())));
    }

    static std::set<std::string> names(const QJsonArray& array) {
        std::set<std::string> out;
        for (const auto& v : array) out.insert(v.toString().toStdString());
        return out;
    }

    std::unique_ptr<sim::BoardSimulator> sim_;
    std::vector<QJsonObject> events_;
    platform::RecordingMessageBoxes messages_;
    platform::ManualWindowTimers timers_;
    platform::ScriptedFileChooser files_;
    std::unique_ptr<CQuorinConfigToolApp> app_;
    std::unique_ptr<CQuorinConfigToolDlg> dlg_;
};

TEST_F(SettingAgainstSimulator, MainProtocolBoardGetsExactlyTheEditedFields) {
    select(2);
    dlg_->setText(kChannels[0].local_port, "4001");
    dlg_->setText(kChannels[3].remote_port, "65000");
    dlg_->setText(IDC_GATEWAY, "127.0.9.254");
    click(*dlg_, IDC_SETTING);

    ASSERT_TRUE(waitFor([&] { return !eventsNamed("settings_applied").empty(); }));
    ASSERT_TRUE(waitFor([&] { return completedMessages() == 1; }));
    const QJsonObject applied = eventsNamed("settings_applied").front();
    EXPECT_EQ(
        names(applied.value("changed").toArray()),
        (std::set<std::string>{"channel[0].local_port", "channel[3].remote_port", "gateway_ip"}));

    bool sawRequest = false;
    for (const QJsonObject& e : eventsNamed("datagram_received")) {
        if (e.value("opcode").toInt() == OPCODE_SET_REQUEST) {
            EXPECT_EQ(e.value("length").toInt(), 402);
            sawRequest = true;
        }
    }
    EXPECT_TRUE(sawRequest);

    // No second message for the same request, however long we wait.
    testing::settle(200);
    EXPECT_EQ(completedMessages(), 1);
    EXPECT_EQ(app_->core().operation_state(), OperationState::Set);
}

TEST_F(SettingAgainstSimulator, LegacyBoardGetsExactlyTheEditedFields) {
    select(4);
    dlg_->setText(kChannels[0].packing_time, "250");
    dlg_->setText(IDC_DNS_SERVER_IP, "127.0.0.53");
    click(*dlg_, IDC_SETTING);

    ASSERT_TRUE(waitFor([&] { return !eventsNamed("settings_applied").empty(); }));
    ASSERT_TRUE(waitFor([&] { return completedMessages() == 1; }));
    const QJsonObject applied = eventsNamed("settings_applied").front();
    EXPECT_EQ(applied.value("request").toString(), "SETT");
    EXPECT_EQ(names(applied.value("changed").toArray()),
              (std::set<std::string>{"channel[0].packing_time", "dns_server_ip"}));
    bool sawRequest = false;
    for (const QJsonObject& e : eventsNamed("datagram_received")) {
        if (e.value("length").toInt() == 120) sawRequest = true;
    }
    EXPECT_TRUE(sawRequest);
    testing::settle(200);
    EXPECT_EQ(completedMessages(), 1);
}

}  // namespace
}  // namespace quorin
