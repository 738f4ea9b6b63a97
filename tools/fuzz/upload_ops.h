// The input of the upload procedure's fuzz target: a sequence of events, each an operation byte
// (taken modulo kUploadOpCount) and its operands, read until the input ends (an operand past the
// end reads as zero). Shared by the target and the program that writes its seed corpus.
//
// Zero operands mean the ordinary case: a start of 0 0 is a main-protocol upload of a 2500-byte
// image that can go ahead, collected at once; a timer byte of 0 expires timer 1 (or the first
// armed one) with the board at kBoardIp.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "protocol/upload_procedure.h"

namespace quorin::fuzz {

enum UploadOp : std::uint8_t {
    kStart = 0,           // operands: facts (kFact* bits), image (kImage* fields)
    kCollected = 1,       // the face reports a collection it deferred
    kRequestNotSent = 2,  // the system refused the request datagram
    kDatagram = 3,        // operand: kDatagram* kind | kOnLegacySocket; kDatagramOther: then
                          // the opcode byte
    kTimer = 4,           // operand: timer selector, see kTimerIds and kStrayIds
    kAckEvent = 5,        // operand: kAck* (modulo kAckEventCount), then its own operands
    kStreamEvent = 6,     // operand: kStream* (modulo kStreamEventCount)
    kOtherExchange = 7,   // operand: bit 0 set: a setting (opcode 3), clear: a search (opcode 1)
    kStop = 8,
    kBeginAging = 9,
    kAgingLimit = 10,  // operand: the limit less one, modulo 3
    kUploadOpCount = 11,
};

inline constexpr UploadOp upload_op_for(std::uint8_t byte) {
    return static_cast<UploadOp>(byte % kUploadOpCount);
}

// kStart's facts byte.
inline constexpr std::uint8_t kFactNotChosen = 0x01;
inline constexpr std::uint8_t kFactUnreadable = 0x02;
inline constexpr std::uint8_t kFactNoBoard = 0x04;
inline constexpr std::uint8_t kFactRefuseEmpty = 0x08;
inline constexpr std::uint8_t kFactEmpty = 0x10;         // an image of 0 bytes
inline constexpr std::uint8_t kFactLegacy = 0x20;        // the working record's product is legacy
inline constexpr std::uint8_t kFactDeferCollect = 0x40;  // Collect waits for kCollected
// kStart's image byte: bits 0-1 index kImageSizes (unless kFactEmpty); bits 2-3 what the streamed
// transfer's image load gives (an ImageLoad::Result), the acknowledged one's comes with its event.
inline constexpr std::array<std::size_t, 4> kImageSizes = {2500, 1, 1024, 700};
inline constexpr int kImageLoadShift = 2;

// kDatagram's kind byte: bits 0-1.
inline constexpr std::uint8_t kDatagramReply = 0;   // the upload reply (opcode 6)
inline constexpr std::uint8_t kDatagramReport = 1;  // the upload-complete report (opcode 7)
inline constexpr std::uint8_t kDatagramOther = 2;   // one byte, the next operand
inline constexpr std::uint8_t kDatagramEmpty = 3;
inline constexpr std::uint8_t kOnLegacySocket = 0x04;

// kTimer's selector. Bit 7 clear: kTimerIds[bits 0-4 modulo its size] when that timer is armed,
// otherwise the armed timer at that index modulo their number (nothing when none is). Bit 7 set:
// kStrayIds[bits 0-4 modulo its size], armed or not. Bits 5-6: the board's address as it stands
// at the expiry (kBoardAt*).
inline constexpr std::array<int, 9> kTimerIds = {1, 2, 3, 10, 11, 12, 20, 30, 40};
// Timers a face never sees expire unarmed, sent anyway: ids nobody arms, and the procedure's own
// whose phase always has them armed (so their phase check alone must make a stray one do
// nothing). Not 3 and 10: they re-arm themselves while their condition holds, armed or not.
inline constexpr std::array<int, 16> kStrayIds = {0,  4, 5, 13, 41, 63, 64, 1000,
                                                  -1, 1, 2, 11, 12, 20, 30, 40};
inline constexpr std::uint8_t kStrayTimer = 0x80;
inline constexpr int kBoardAtShift = 5;
inline constexpr Ip4 kBoardIp{127, 0, 1, 9};
inline constexpr std::uint8_t kBoardAtIp = 0;    // kBoardIp (so is 1)
inline constexpr std::uint8_t kBoardAtNone = 2;  // no board selected
inline constexpr std::uint8_t kBoardAtZero = 3;  // the board's address is 0.0.0.0

enum AckEvent : std::uint8_t {
    kAckConnected = 0,
    kAckConnectFailed = 1,
    kAckSocketUnavailable = 2,  // operand: the error number
    kAckImageLoaded = 3,        // operand: the ImageLoad::Result (modulo 4); Ok: the start's image
    kAckBytes = 4,              // operand: count less one (modulo 3), then that many bytes
    kAckPeerClosed = 5,
    kAckAccept = 6,  // the three bytes of an acceptance
    kAckEventCount = 7,
};

enum StreamEvent : std::uint8_t {
    kStreamPauseDone = 0,
    kStreamConnected = 1,
    kStreamInProgress = 2,
    kStreamConnectFailed = 3,
    kStreamSocketUnavailable = 4,
    kStreamSent = 5,
    kStreamNotSent = 6,
    kStreamEventCount = 7,
};

}  // namespace quorin::fuzz
