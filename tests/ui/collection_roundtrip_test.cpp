// A board of each model, shown by the window and collected again without any edit, gives a
// working record equal to the shown row in every field the window can represent.
//
// Fields that by design do not come back:
//   - reserved_block, reserved_word, reserved_text and channel[i].reserved: stored from replies,
//     never shown; the working record never receives them (they stay zero).
//   - channel[i].connection_status: shown as "Connected"/"Not Connected" but never collected.
//   - debug_mode: never shown; collected from the check box as the operator last left it.
//   - the channels a model does not show (channel 4 of "Quorin712P-T", channels 2-4 of
//     "Quorin712PD", "5836KL" and "BRV406H"): their pages keep the controls' earlier contents.
//   - pppoe_id and pppoe_password of every model but "Quorin712P": not shown, so the edits keep
//     their earlier texts.
//   - trigger_chars unless the serial command method is SW: not shown, and not collected.
// And values the controls cannot represent (not used by the rows here):
//   - text-field bytes after the first zero byte (a PPPoE text is shown up to it, a domain name
//     with its zero bytes skipped), and a 32-byte text without a zero byte (cut to 31);
//   - firmware minors that are multiples of ten above 10 (minor 20 is shown as 1.2.0, like 2);
//   - codes beyond the lists: an operation_mode above 2, data_bits above 1, parity 0 with 7
//     data bits, a baud code the firmware's list lacks (9 below version 153), flow_control 3
//     except on a "DAVRO2xM", and use_dns, udp or data_mode values other than 0 and 1 (shown
//     as checked/telnet, read back as 1); ip_mode and serial_command_method above 2;
//   - a product code outside the product table (no model name; the code is kept).

#include <gtest/gtest.h>

#include <string>

#include "tests/ui/collection_support.h"
#include "tests/ui/window_fixture.h"

namespace quorin::testing {
namespace {

struct ModelCase {
    std::uint8_t code;
    int channels_shown;
    FieldSet by_design;  // fields of the shown channels and the header that differ by design
};

void PrintTo(const ModelCase& c, std::ostream* os) {
    *os << "product 000" << int(c.code);
}

const ModelCase kModels[] = {
    {1,
     3,
     {"debug_mode", "trigger_chars", "channel[1].connection_status", "channel[0].reserved",
      "channel[1].reserved", "channel[2].reserved"}},
    {2,
     4,
     {"reserved_block", "reserved_word", "reserved_text", "channel[1].connection_status",
      "channel[3].connection_status", "channel[0].reserved", "channel[1].reserved",
      "channel[2].reserved", "channel[3].reserved"}},
    {3, 1, {"trigger_chars", "channel[0].connection_status"}},
    {4, 1, {"channel[0].connection_status"}},
    {5, 1, {"trigger_chars", "channel[0].connection_status"}},
    {6,
     4,
     {"reserved_block", "reserved_word", "reserved_text", "pppoe_id", "pppoe_password",
      "channel[1].connection_status", "channel[3].connection_status", "channel[0].reserved",
      "channel[1].reserved", "channel[2].reserved", "channel[3].reserved"}},
};

class CollectionRoundTrip : public WindowFixture,
                            public ::testing::WithParamInterface<ModelCase> {};

TEST_P(CollectionRoundTrip, ShownRowIsCollectedBackUnchanged) {
    const ModelCase& m = GetParam();
    const int entry = addBoard(sample_row(m.code));
    ASSERT_EQ(entry, 0);
    ASSERT_EQ(Dlg().listCurSel(res::IDC_BOARD_LIST), 0);
    const BoardRow shown = Core().board(entry);  // as decoded from the board's reply

    ASSERT_TRUE(Dlg().CollectSettings());
    EXPECT_TRUE(messages.shown.isEmpty());

    FieldSet diff = differing_fields(Core().working, shown);
    for (int i = m.channels_shown; i < kChannelBlocks; ++i) {
        for (const std::string& f : channel_fields(i)) diff.erase(f);
    }
    EXPECT_EQ(diff, m.by_design);
}

// Collecting twice in a row without edits changes nothing more.
TEST_P(CollectionRoundTrip, SecondCollectionGivesTheSameRecord) {
    addBoard(sample_row(GetParam().code));
    ASSERT_TRUE(Dlg().CollectSettings());
    const BoardRow first = Core().working;
    // The trigger edits are disabled now; a second collection reads them all the same.
    ASSERT_TRUE(Dlg().CollectSettings());
    EXPECT_EQ(differing_fields(Core().working, first), FieldSet{});
}

INSTANTIATE_TEST_SUITE_P(CollectionSixModels, CollectionRoundTrip, ::testing::ValuesIn(kModels),
                         [](const auto& info) {
                             return "Product000" + std::to_string(info.param.code);
                         });

}  // namespace
}  // namespace quorin::testing
