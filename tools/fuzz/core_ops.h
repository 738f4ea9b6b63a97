// The input of the configuration core's fuzz target: a sequence of steps, each an operation byte
// and its operands, read until the input ends (an operand past the end reads as zero). Shared by
// the target and the program that writes its seed corpus.
//
// An operation byte below kOpCount names that operation; any other byte names one of the
// operations before kBoardBurst (byte % kBoardBurst). A burst lists up to 255 boards, and filling
// the table costs the core as much as a few hundred other steps, so only its own byte starts one
// and random bytes seldom do.
#pragma once

#include <cstdint>

#include "protocol/config_core.h"

namespace quorin::fuzz {

enum CoreOp : std::uint8_t {
    kSendData = 0,        // operand: opcode byte (any value; 1, 3 and 5 build requests)
    kSetState = 1,        // operand % kStateSteps: an index into kStates (the state is reached
                          // through the core's operations), then the image sent whole, the
                          // upload ended, the exchange ended
    kSearchDatagram = 2,  // operands: 2-byte little-endian length, then that many bytes
    kLegacyDatagram = 3,  // as kSearchDatagram, on the legacy socket
    kTags = 4,            // operand: a tag byte, pushed and then taken from the queue
    kWorking = 5,         // operands: 2 product-code bytes for the working record, then a board
                          // index whose row becomes the working record when it is listed
    kBoardBurst = 6,      // operands: count, product byte, MAC seed: that many well-formed search
                          // replies of distinct boards (duplicates when the seed repeats)
    kOpCount = 7,
};

inline constexpr CoreOp op_for(std::uint8_t byte) {
    return static_cast<CoreOp>(byte < kOpCount ? byte : byte % kBoardBurst);
}

inline constexpr OperationState kStates[] = {
    OperationState::Idle,
    OperationState::Search,
    OperationState::Set,
    OperationState::UploadRequested,
    OperationState::UploadCompleteAwaited,
    OperationState::UploadReplyReceived,
    OperationState::UploadCompleted,
};
inline constexpr std::uint8_t kStateSteps = 10;

}  // namespace quorin::fuzz
