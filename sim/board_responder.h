// What the simulated boards do with one received configuration datagram, without I/O: which
// replies go back (bytes, delay), which board's settings change, which board starts waiting for
// a firmware connection, and which fault hooks fired. The Qt adapter (BoardSimulator) sends
// the replies to the datagram's sender and opens the listeners.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "protocol/board_record.h"
#include "sim/sim_board.h"

namespace quorin::sim {

// The host-tag byte the boards put into their main-protocol replies (the tool does not read it).
inline constexpr std::uint8_t kBoardHostTag = 0;

// Opcode text the legacy boards' wrong-opcode hook sends during a search.
inline constexpr char kLegacyWrongOpcode[] = "SETC";

enum class UploadKind {
    Acknowledged,  // main protocol: size and 1024-byte blocks, each acknowledged
    Streamed,      // legacy protocol: size and the bytes, nothing read back
};

// One datagram a board sends back to the sender of the request.
struct PlannedReply {
    int board = 0;
    std::vector<std::uint8_t> bytes;
    int delay_ms = 0;
    std::string kind;  // "search_reply", "set_reply", "upload_reply", "upload_complete",
                       // "wrong_opcode"
};

// A fault hook that changed what a board did.
struct FaultNote {
    int board = 0;
    std::string fault;  // the hook's name, as in fault_names()
    long long value = 0;
};

struct Outcome {
    std::string request;  // "search", "set", "upload", "FIND", "SETT", "FIRS"; "" when unknown
    std::string ignored;  // why the datagram changed nothing ("" when handled): "empty",
                          // "not_a_request", "unknown_opcode", "no_board", "short_request",
                          // "rebooting"
    std::vector<PlannedReply> replies;
    std::vector<FaultNote> faults;
    std::optional<int> applied_board;  // a set request changed this board's settings
    BoardRow settings_before;          // ... which were these before
    std::optional<int> upload_board;   // this board now waits for its firmware connection
    UploadKind upload_kind = UploadKind::Acknowledged;
    std::vector<int> rebooting;  // boards that dropped the datagram because they are rebooting
};

// What a board that has taken a whole image comes back as after its reboot.
struct RebootPlan {
    BoardRow row;                   // the settings it answers with again
    bool returns = true;            // false: it stays silent (upgrade_never_returns)
    std::vector<FaultNote> faults;  // the upgrade hooks that fired
};

class BoardResponder {
  public:
    // The responder reads and changes `boards`, which must outlive it.
    explicit BoardResponder(std::vector<SimBoard>& boards) : boards_(boards) {}

    // A datagram received on the main-protocol port.
    Outcome on_main_datagram(std::span<const std::uint8_t> datagram);

    // A datagram received on the legacy-protocol port.
    Outcome on_legacy_datagram(std::span<const std::uint8_t> datagram);

    // The upload-complete report of board `index` (opcode 7 with its record), with its delay and
    // truncation hooks applied; nullopt when its no_upload_complete hook is on (noted in
    // `faults`).
    std::optional<PlannedReply> upload_complete_report(int index, std::vector<FaultNote>& faults,
                                                       int extra_delay_ms) const;

    // What board `index` comes back as after taking a whole image: with `installs` as its
    // firmware (none: the version it had), unless upgrade_keeps_version; with
    // upgrade_changes_settings channel[0].local_port one higher (65535 becomes 1);
    // with upgrade_never_returns not at all.
    RebootPlan plan_reboot(int index, const std::optional<FirmwareBytes>& installs) const;

    // A rebooting board drops every datagram meant for it (Outcome::rebooting names it).
    void set_rebooting(int index, bool rebooting);
    bool rebooting(int index) const;
    void end_all_reboots() { rebooting_.clear(); }

    // Index of the main-protocol (legacy == false) or legacy board with this MAC, or nullopt.
    std::optional<int> find_board(std::span<const std::uint8_t> mac, bool legacy) const;

  private:
    // Applies the delay and truncation hooks of board `index` to a reply and appends it.
    void plan(Outcome& out, int index, std::vector<std::uint8_t> bytes, std::string kind) const;
    std::vector<std::uint8_t> record(int index, std::uint8_t opcode) const;

    std::vector<SimBoard>& boards_;
    std::vector<bool> rebooting_;  // by board index; missing: not rebooting
};

}  // namespace quorin::sim
