// The configuration protocol without I/O: the board table, the working record, the operation
// state, the set-done flag and the socket-tag queue, with the request builder (SendData) and the
// reply dispatcher as functions from state and bytes to datagrams and actions. The Qt adapter
// owns the sockets and carries out the actions in order.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "protocol/board_record.h"

namespace quorin {

// Socket tags: which configuration socket a datagram belongs to.
inline constexpr std::uint8_t kSearchSocketTag = 1;
inline constexpr std::uint8_t kLegacySocketTag = 2;

// The operation state: which exchange the tool last started, and so how every received
// datagram is read. The values are the codes the tool has always used.
enum class OperationState : std::uint8_t {
    Idle = 1,
    Search = 2,
    Set = 3,
    UploadRequested = 4,        // awaiting the board's upload reply
    UploadCompleteAwaited = 6,  // the image has gone out whole; awaiting the board's report
    UploadReplyReceived = 17,   // the reply came; the transfer is under way
    UploadCompleted = 18,       // the board reported the end of the upload
};
// "idle", "search", ...: for logs and test failures.
std::string_view to_string(OperationState state);
// Whether `state` is one of an upload's (4, 17 or 6): an upload is waiting for the board.
bool is_upload_wait(OperationState state);

// A request to send: on the socket of `tag`, to the board port of that socket's protocol
// (kMainPort for the search socket, kLegacyBoardPort for the legacy socket).
struct OutgoingDatagram {
    std::uint8_t tag = kSearchSocketTag;
    std::vector<std::uint8_t> bytes;
};

// What the window must do after a datagram has been handled, in order. Kinds that the window
// shows in a message box carry the box's text; a face that words things its own way reacts to
// the kind alone.
struct Action {
    enum Kind {
        AppendBoardEntry,  // append `text` (a MAC text) to the board list
        Log,               // append `text` to the log window
        TableFull,         // a search found more boards than the table holds (`text`: log line)
        InvalidOpcode,     // message box `text`: a search-socket datagram of no awaited opcode
        InvalidMessage,    // message box `text`: a set reply from a board not in the table
        SetApplied,        // message box `text`: the set reply was applied to its board's row
        SelectAndShow,     // select the first board list entry and run the board display
        UploadReply,       // the upload reply reaction
        UploadDone,        // the upload-done reaction
    };
    Kind kind;
    std::string text;

    // Whether the window shows `text` of this kind in a message box.
    bool is_message() const {
        return kind == InvalidOpcode || kind == InvalidMessage || kind == SetApplied;
    }

    friend bool operator==(const Action&, const Action&) = default;
};

// The MAC address that a datagram of the socket `tag` carries: bytes 2..7 of a main-protocol
// datagram, 4..9 of a legacy one. nullopt when the datagram is too short to hold all six.
std::optional<std::array<std::uint8_t, 6>> datagram_mac(std::uint8_t tag,
                                                        std::span<const std::uint8_t> datagram);

class ConfigCore {
  public:
    // The window's board table holds 200 boards; a face that lists more (the command line)
    // sizes its own table.
    static constexpr int kMaxBoards = 200;
    static constexpr int kQueueEntries = 101;

    // A table of `capacity` boards (at least 1). The first min(capacity, kMaxBoards) rows are
    // kept at all times, cleared by each search; rows beyond them are added as boards answer and
    // dropped by the next search, so that a large table costs only the boards it lists.
    explicit ConfigCore(int capacity = kMaxBoards);

    // Opening the sockets: board and MAC counts 0, set-done 0, state idle, queue emptied.
    void reset();

    // Builds the requests of SendData(opcode) in the order they are sent, and starts the exchange
    // they open: the operation state becomes search (opcode 1), set (3) or upload requested (5).
    // Opcode 1 also clears the board table, both counts and the queue; opcode 3 clears the
    // set-done flag. Any opcode other than 1, 3 or 5 yields nothing and changes nothing.
    std::vector<OutgoingDatagram> send_data(int opcode);

    // The exchange's replies are no longer awaited (a command line that has stopped listening):
    // back to idle.
    void end_exchange();

    // Upload events, from the upload procedure. Each changes the state only during an upload
    // (4, 17 or 6), so a search or setting started meanwhile keeps its own.
    // The image has gone out whole, its last acknowledgement perhaps still to be read: the
    // board's upload-complete report is awaited from now on (17 -> 6).
    void upload_sent_whole();
    // The upload has ended without the board's report, or needs none (a streamed transfer, a
    // failure, an abandoned upload): back to idle. Until the next upload request, that board's
    // late reply or report during a search is dropped without a word rather than taken for a
    // stray datagram.
    void upload_ended();

    // A core that serves one board another core has found (a command line's exchange with many
    // boards at once): lists `row` as its search would have, so that the board's set reply is
    // read into it. Does nothing once the table is full or the board is listed.
    void list_board(const BoardRow& row);

    // Readable-data handler step: stores the tag at the write position and advances it.
    void push_tag(std::uint8_t tag);
    // Dispatcher steps 1-2: the tag at the read position if it is 1 or 2 (and advances the read
    // position), otherwise 0 with nothing advanced.
    std::uint8_t take_tag();

    // Handles one received datagram of the socket `tag` according to the operation state and
    // returns what the window must do. The board's upload reply (state 4) moves the state on to
    // 17, its upload-complete report (state 6) to 18. Never reads beyond `datagram` and never
    // writes past the board table.
    std::vector<Action> handle_datagram(std::uint8_t tag, std::span<const std::uint8_t> datagram);

    // One queue position step: add 1, and subtract 100 when the result exceeds 100.
    static std::int8_t advance(std::int8_t position);

    OperationState operation_state() const { return state_; }

    // Read and written by the window.
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
    // How many boards the table holds.
    int capacity() const { return capacity_; }

  private:
    void clear_table();
    void search_reply(std::span<const std::uint8_t> d, bool legacy, std::vector<Action>& out);
    void set_reply(std::span<const std::uint8_t> d, bool legacy, std::vector<Action>& out);

    int capacity_;
    OperationState state_ = OperationState::Idle;
    bool upload_left_ = false;  // an upload ended while the board may still answer it
    std::vector<BoardRow> boards_;
    int board_count_ = 0;
    std::vector<std::string> listed_;             // in listing order
    std::unordered_set<std::string> listed_set_;  // the same MACs, to find one at once
    int listed_count_ = 0;
    std::array<std::uint8_t, kQueueEntries> queue_{};
    std::int8_t write_pos_ = 0;
    std::int8_t read_pos_ = 0;
    bool overflowed_ = false;
};

}  // namespace quorin
