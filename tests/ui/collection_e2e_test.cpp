// End to end over loopback sockets: a board is listed and shown, the operator edits some fields
// and presses Setting, the board socket receives the set request, which decodes to the shown
// row with exactly the edited fields changed (and the fields that by design go out as zero),
// and the board's set reply, sent twice, brings "Setting Completed" once.

#include <gtest/gtest.h>

#include <QHostAddress>
#include <algorithm>
#include <string>

#include "tests/support/simulated_input.h"
#include "tests/ui/collection_support.h"
#include "tests/ui/window_fixture.h"

namespace quorin::testing {
namespace {

using res::kChannels;

class CollectionEndToEnd : public WindowFixture {
  protected:
    int completedCount() const {
        return static_cast<int>(messages.shown.count(
            QString::fromUtf8(text::kSettingCompleted.data(),
                              static_cast<qsizetype>(text::kSettingCompleted.size()))));
    }

    // Sends `reply` twice from `board` to the tool's socket that sent the request, then waits
    // for the first "Setting Completed" and lets the second reply be handled as well.
    void replyTwice(QUdpSocket& board, const std::vector<std::uint8_t>& reply,
                    const QHostAddress& to, quint16 port) {
        for (int k = 0; k < 2; ++k) {
            ASSERT_EQ(board.writeDatagram(reinterpret_cast<const char*>(reply.data()),
                                          static_cast<qint64>(reply.size()), to, port),
                      static_cast<qint64>(reply.size()));
        }
        EXPECT_TRUE(waitFor([this] { return completedCount() > 0; }));
        waitFor([] { return false; }, 300);
    }
};

TEST_F(CollectionEndToEnd, EditedQuorin712PGoesOutWithExactlyTheEditedFieldsChanged) {
    addBoard(sample_row(2));
    const BoardRow shown = Core().board(0);

    simulate_type(Dlg(), kChannels[1].local_port, "5000");
    simulate_type(Dlg(), kChannels[0].domain_name, "edited.example");
    simulate_select(Dlg(), kChannels[0].baud_rate,
                    static_cast<int>(Dlg().comboItems(kChannels[0].baud_rate).indexOf("9600")));
    click(Dlg(), res::IDC_DHCP);
    click(Dlg(), res::IDC_SERIAL_SW);
    simulate_type(Dlg(), res::IDC_TRIGGER1, "1B");
    simulate_type(Dlg(), res::IDC_TRIGGER2, "2c");
    simulate_type(Dlg(), res::IDC_TRIGGER3, "3D");
    simulate_type(Dlg(), kChannels[3].packing_char, "0d");
    Dlg().setText(kChannels[3].remote_ip, "172.16.3.99");

    click(Dlg(), res::IDC_SETTING);

    QHostAddress tool;
    quint16 tool_port = 0;
    const auto request = receive_datagram(*mainBoard, 2000, &tool, &tool_port);
    ASSERT_TRUE(request.has_value());
    ASSERT_EQ(request->size(), 402u);
    EXPECT_EQ((*request)[0], OPCODE_SET_REQUEST);
    EXPECT_EQ((*request)[1], Core().host_tag);
    EXPECT_EQ(Core().operation_state(), OperationState::Set);

    BoardRow sent{};
    decode_main_reply(*request, sent);
    const FieldSet edited{
        "channel[1].local_port", "channel[0].domain_name",  "channel[0].baud_rate", "ip_mode",
        "trigger_chars",         "channel[3].packing_char", "channel[3].remote_ip"};
    const FieldSet by_design{"reserved_block",
                             "reserved_word",
                             "reserved_text",
                             "channel[1].connection_status",
                             "channel[3].connection_status",
                             "channel[0].reserved",
                             "channel[1].reserved",
                             "channel[2].reserved",
                             "channel[3].reserved"};
    FieldSet expected = edited;
    expected.insert(by_design.begin(), by_design.end());
    EXPECT_EQ(differing_fields(sent, shown), expected);
    EXPECT_EQ(sent.channel[1].local_port, 5000u);
    EXPECT_EQ(sent.channel[0].domain_name, text_field("edited.example"));
    EXPECT_EQ(sent.channel[0].baud_rate, 4);
    EXPECT_EQ(sent.ip_mode, 1);
    EXPECT_EQ(sent.trigger_chars, (std::array<std::uint8_t, 3>{0x1B, 0x2C, 0x3D}));
    EXPECT_EQ(sent.channel[3].packing_char, 0x0D);
    EXPECT_EQ(sent.channel[3].remote_ip, (std::array<std::uint8_t, 4>{172, 16, 3, 99}));

    // The board applies the settings and answers with its record, twice.
    std::vector<std::uint8_t> reply = *request;
    reply[0] = OPCODE_SET_REPLY;
    replyTwice(*mainBoard, reply, tool, tool_port);
    EXPECT_EQ(completedCount(), 1);
    EXPECT_EQ(Core().set_done, 1);
    EXPECT_EQ(Core().board(0).channel[1].local_port, 5000u);
}

TEST_F(CollectionEndToEnd, EditedLegacyBoardGoesOutAsSettWithExactlyTheEditedFieldsChanged) {
    addBoard(sample_row(4));
    const BoardRow shown = Core().board(0);
    ASSERT_EQ(Dlg().text(res::IDC_PRODUCT_CODE), "5836KL");

    click(Dlg(), kChannels[0].server);
    simulate_type(Dlg(), kChannels[0].local_port, "50111");
    Dlg().setText(kChannels[0].remote_ip, "10.9.8.7");
    simulate_select(Dlg(), kChannels[0].flow_control, 2);  // "CTS/RTS"
    simulate_type(Dlg(), kChannels[0].packing_time, "250");
    simulate_type(Dlg(), kChannels[0].inactivity_time, "600");

    click(Dlg(), res::IDC_SETTING);

    QHostAddress tool;
    quint16 tool_port = 0;
    const auto request = receive_datagram(*legacyBoard, 2000, &tool, &tool_port);
    ASSERT_TRUE(request.has_value());
    ASSERT_EQ(request->size(), 120u);
    EXPECT_EQ(std::string(request->begin(), request->begin() + 4), "SETT");
    EXPECT_FALSE(receive_datagram(*mainBoard, 50).has_value());

    BoardRow sent{};
    decode_legacy_reply(*request, sent);
    const FieldSet expected{"channel[0].operation_mode",   "channel[0].local_port",
                            "channel[0].remote_ip",        "channel[0].flow_control",
                            "channel[0].packing_time",     "channel[0].inactivity_time",
                            "channel[0].connection_status"};  // sent as zero by design
    EXPECT_EQ(differing_fields(sent, shown), expected);
    EXPECT_EQ(sent.channel[0].operation_mode, 0);
    EXPECT_EQ(sent.channel[0].local_port, 50111u);
    EXPECT_EQ(sent.channel[0].remote_ip, (std::array<std::uint8_t, 4>{10, 9, 8, 7}));
    EXPECT_EQ(sent.channel[0].flow_control, 2);
    EXPECT_EQ(sent.channel[0].packing_time, 250u);
    EXPECT_EQ(sent.channel[0].inactivity_time, 600u);

    std::vector<std::uint8_t> reply = *request;
    std::copy_n("SETC", 4, reply.begin());
    replyTwice(*legacyBoard, reply, tool, tool_port);
    EXPECT_EQ(completedCount(), 1);
    EXPECT_EQ(Core().board(0).channel[0].local_port, 50111u);
}

}  // namespace
}  // namespace quorin::testing
