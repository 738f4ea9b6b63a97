// The configuration protocol without I/O: the board table, the working record, the operation
// state, the set-done flag and the socket-tag queue, with the request builder (SendData) and the
// reply dispatcher as functions from state and bytes to datagrams and actions. The Qt adapter
// owns the sockets and carries out the actions in order.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "protocol/board_record.h"

namespace quorin {

// Socket tags: which configuration socket a datagram belongs to.
inline constexpr std::uint8_t kSearchSocketTag = 1;
inline constexpr std::uint8_t kLegacySocketTag = 2;

// Operation states: what the tool is waiting for.
namespace opstate {
inline constexpr int kIdle = 1;
inline constexpr int kSearch = 2;
inline constexpr int kSet = 3;
inline constexpr int kUploadRequested = 4;
inline constexpr int kUploadCompleteAwaited = 6;
inline constexpr int kUploadReplyReceived = 17;
inline constexpr int kUploadCompleted = 18;
}  // namespace opstate

// A request to send: on the socket of `tag`, to the board port of that socket's protocol
// (kMainPort for the search socket, kLegacyBoardPort for the legacy socket).
struct OutgoingDatagram {
    std::uint8_t tag = kSearchSocketTag;
    std::vector<std::uint8_t> bytes;
};

// What the window must do after a datagram has been handled, in order.
struct Action {
    enum Kind {
        AppendBoardEntry,  // append `text` (a MAC text) to the board list
        Log,               // append `text` to the log window
        Message,           // show `text` in a message box
        SelectAndShow,     // select the first board list entry and run the board display
        UploadReply,       // the upload reply reaction
        UploadDone,        // the upload-done reaction
    };
    Kind kind;
    std::string text;

    friend bool operator==(const Action&, const Action&) = default;
};

// The MAC address that a datagram of the socket `tag` carries: bytes 2..7 of a main-protocol
// datagram, 4..9 of a legacy one. nullopt when the datagram is too short to hold all six.
std::optional<std::array<std::uint8_t, 6>> datagram_mac(std::uint8_t tag,
                                                        std::span<const std::uint8_t> datagram);

class ConfigCore {
  public:
    static constexpr int kMaxBoards = 200;
    static constexpr int kQueueEntries = 101;

    ConfigCore();

    // Opening the sockets: board and MAC counts 0, set-done 0, state idle, queue emptied.
    void reset();

    // Builds the requests of SendData(opcode) in the order they are sent. Opcode 1 also clears
    // the board table, both counts and the queue; opcode 3 clears the set-done flag. Any opcode
    // other than 1, 3 or 5 yields nothing.
    std::vector<OutgoingDatagram> send_data(int opcode);

    // Readable-data handler step: stores the tag at the write position and advances it.
    void push_tag(std::uint8_t tag);
    // Dispatcher steps 1-2: the tag at the read position if it is 1 or 2 (and advances the read
    // position), otherwise 0 with nothing advanced.
    std::uint8_t take_tag();

    // Handles one received datagram of the socket `tag` according to the operation state and
    // returns what the window must do. Never reads beyond `datagram` and never writes past the
    // board table.
    std::vector<Action> handle_datagram(std::uint8_t tag, std::span<const std::uint8_t> datagram);

    // One queue position step: add 1, and subtract 100 when the result exceeds 100.
    static std::int8_t advance(std::int8_t position);

    // State, read and written by the window (the operation state is atomic because the upload
    // threads read and write it too).
    std::atomic<int> operation_state{opstate::kIdle};
    int set_done = 0;
    std::uint8_t host_tag = 0;
    BoardRow working{};

    const BoardRow& board(int index) const { return boards_.at(static_cast<std::size_t>(index)); }
    BoardRow& board(int index) { return boards_.at(static_cast<std::size_t>(index)); }
    int board_count() const { return board_count_; }
    int listed_count() const { return listed_count_; }
    const std::string& listed_mac(int index) const {
        return listed_.at(static_cast<std::size_t>(index));
    }
    std::int8_t queue_write_position() const { return write_pos_; }
    std::int8_t queue_read_position() const { return read_pos_; }
    // True once a search has found more distinct boards than the table holds.
    bool table_overflowed() const { return overflowed_; }

  private:
    void clear_table();
    void search_reply(std::span<const std::uint8_t> d, bool legacy, std::vector<Action>& out);
    void set_reply(std::span<const std::uint8_t> d, bool legacy, std::vector<Action>& out);

    std::vector<BoardRow> boards_;
    int board_count_ = 0;
    std::array<std::string, kMaxBoards> listed_{};
    int listed_count_ = 0;
    std::array<std::uint8_t, kQueueEntries> queue_{};
    std::int8_t write_pos_ = 0;
    std::int8_t read_pos_ = 0;
    bool overflowed_ = false;
};

}  // namespace quorin
