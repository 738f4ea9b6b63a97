// The message gate alone: which texts it holds back, and what it counts while a box is open.
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
        std::string_view text;
        bool gated;
    };
    for (const Case& c :
         {Case{text::kInvalidOpcode, true}, Case{text::kInvalidMessage, true},
          Case{text::kSettingCompleted, false}, Case{text::kListBoxError, false},
          Case{text::kUploadCompletedMain, false}, Case{text::kZeroBytesSent, false}}) {
        EXPECT_EQ(MessageGate::gated(c.text), c.gated) << c.text;
    }
}

TEST(MessageGate, WhileOneGatedBoxIsOpenTheOthersAreCountedByText) {
    MessageGate gate;
    ASSERT_TRUE(gate.tryOpen(kOpcode));
    EXPECT_TRUE(gate.isOpen());
    EXPECT_FALSE(gate.tryOpen(kOpcode));
    EXPECT_FALSE(gate.tryOpen(kMessage));  // one gated box at a time, whatever its text
    EXPECT_FALSE(gate.tryOpen(kOpcode));
    EXPECT_TRUE(gate.tryOpen(text::kSettingCompleted));  // not gated: shown on top
    EXPECT_EQ(gate.close(), (Counts{{kMessage, 1}, {kOpcode, 2}}));
    EXPECT_FALSE(gate.isOpen());

    // The counts were handed over once; the next box starts afresh.
    ASSERT_TRUE(gate.tryOpen(kMessage));
    EXPECT_EQ(gate.close(), Counts{});
}

}  // namespace
}  // namespace quorin
