// The message gate alone: which messages it holds back, and what it counts while a box is open.
#include "app/message_gate.h"

#include <gtest/gtest.h>

#include <string>

#include "res/texts.h"

namespace quorin {
namespace {

using Counts = std::vector<std::pair<std::string, int>>;

const std::string kOpcode(text::kInvalidOpcode);
const std::string kMessage(text::kInvalidMessage);

TEST(MessageGate, HoldsBackOnlyWhatAnyHostCanRaise) {
    struct Case {
        Action::Kind kind;
        bool gated;
    };
    for (const Case& c : {Case{Action::InvalidOpcode, true}, Case{Action::InvalidMessage, true},
                          Case{Action::SetApplied, false}, Case{Action::UploadDone, false}}) {
        EXPECT_EQ(MessageGate::gated(c.kind), c.gated) << c.kind;
    }
}

TEST(MessageGate, WhileOneGatedBoxIsOpenTheOthersAreCountedByText) {
    MessageGate gate;
    ASSERT_TRUE(gate.tryOpen(Action::InvalidOpcode, kOpcode));
    EXPECT_TRUE(gate.isOpen());
    EXPECT_FALSE(gate.tryOpen(Action::InvalidOpcode, kOpcode));
    EXPECT_FALSE(gate.tryOpen(Action::InvalidMessage, kMessage));  // one gated box at a time
    EXPECT_FALSE(gate.tryOpen(Action::InvalidOpcode, kOpcode));
    EXPECT_TRUE(gate.tryOpen(Action::SetApplied, text::kSettingCompleted));  // shown on top
    EXPECT_EQ(gate.close(), (Counts{{kMessage, 1}, {kOpcode, 2}}));
    EXPECT_FALSE(gate.isOpen());

    // The counts were handed over once; the next box starts afresh.
    ASSERT_TRUE(gate.tryOpen(Action::InvalidMessage, kMessage));
    EXPECT_EQ(gate.close(), Counts{});
}

}  // namespace
}  // namespace quorin
