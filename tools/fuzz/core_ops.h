// The input of the configuration core's fuzz target: a sequence of steps, each an operation byte
// and its operands, read until the input ends (an operand past the end reads as zero). Shared by
// the target and the program that writes its seed corpus.
#pragma once

#include <cstdint>

namespace quorin::fuzz {

enum CoreOp : std::uint8_t {
    kSendData = 0,        // operand: opcode byte (any value; 1, 3 and 5 build requests)
    kSetState = 1,        // operand: index into kStates; 0xFF and above the table: a raw value
    kSearchDatagram = 2,  // operands: 2-byte little-endian length, then that many bytes
    kLegacyDatagram = 3,  // as kSearchDatagram, on the legacy socket
    kTags = 4,            // operand: a tag byte, pushed and then taken from the queue
    kWorking = 5,         // operands: 2 product-code bytes for the working record, then a board
                          // index whose row becomes the working record when it is listed
    kBoardBurst = 6,      // operands: count, product byte, MAC seed: that many well-formed search
                          // replies of distinct boards (duplicates when the seed repeats)
    kOpCount = 7,
};

inline constexpr int kStates[] = {1, 2, 3, 4, 6, 17, 18};

}  // namespace quorin::fuzz
