// The command line's engine: the protocol core (board table, request builder and reply
// dispatcher, the same ones the window runs) driven through the command line's transport, with
// waits that end on a time limit or as soon as the caller has what it needs.
#pragma once

#include <QHostAddress>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "cli/board_link.h"
#include "protocol/config_core.h"

namespace quorin::cli {

// A board that answered a search, with the interface its reply came in on.
struct FoundBoard {
    BoardRow row;
    QString interface;        // name, or the destination's label when unknown
    int interface_index = 0;  // 0 when unknown
};

struct SearchResult {
    std::vector<FoundBoard> boards;     // in arrival order, one per MAC
    std::map<QString, int> replies;     // datagrams received, by interface
    std::vector<QString> notes;         // what the dispatcher reported (each text once)
    std::vector<QString> failed_sends;  // destinations the system refused
};

class BoardEngine {
  public:
    explicit BoardEngine(LinkOptions options);

    // Opens the sockets; see BoardLink::open.
    bool open(QString* error, QString* warning);

    // Sends one search to every destination and collects replies for `wait_ms`, or until
    // `enough` (called after each new board) returns true. Boards beyond the board table's 200
    // are not listed; a note says so.
    SearchResult search(int wait_ms,
                        const std::function<bool(const std::vector<FoundBoard>&)>& enough = {});

    // Sends the set request for `settings` (whose mac_address and product_code name the board
    // and its protocol) toward `board`, found by the last search, and waits up to `wait_ms` for
    // the board's set reply. True when the reply arrived and was applied.
    bool set(const FoundBoard& board, const BoardRow& settings, int wait_ms);

    // One request of the protocol core toward `board`: `settings` becomes the working record,
    // SendData(`opcode`) is sent by the interface the board answered on, the operation state
    // becomes `state`, and replies are dispatched until `done` accepts an action or `wait_ms`
    // have passed. True when `done` accepted one. set() is this with the set opcode.
    bool request(const FoundBoard& board, const BoardRow& settings, int opcode, int state,
                 const std::function<bool(const Action&)>& done, int wait_ms);

    // Sends SendData(`opcode`) for `settings` toward `board` (by the interface it answered on)
    // and returns at once: the caller waits in its own event loop. False when there was nothing
    // to send or the system refused a datagram. The operation state is not touched.
    bool send_request(const FoundBoard& board, const BoardRow& settings, int opcode);

    // Exchanges with several boards at once. The protocol core keeps one operation state and its
    // dispatcher does not look at who answered; while a router is set, each datagram is read
    // under the operation state `state_of` gives for the MAC address the datagram carries (one
    // too short to carry one, or of a board nobody routes: idle, so dropped), and the actions go
    // to `deliver` with that MAC. One board's reply or report thus never counts for another.
    using Mac = std::array<std::uint8_t, 6>;
    struct BoardRouter {
        std::function<int(const Mac&)> state_of;
        std::function<void(const Mac&, const std::vector<Action>&)> deliver;
    };
    void route_by_board(BoardRouter router) { router_ = std::move(router); }

    const std::vector<Destination>& destinations() const { return link_.destinations(); }
    const LinkOptions& options() const { return link_.options(); }

  private:
    Destination destination_for(const FoundBoard& board) const;
    bool send(const FoundBoard& board, const std::vector<OutgoingDatagram>& requests);
    QString interface_label(int index) const;
    void receive(const Received& datagram);

    BoardLink link_;
    ConfigCore core_;
    // Per board row: the interface its search reply came in on.
    std::vector<std::pair<QString, int>> row_interface_;
    mutable std::map<int, QString> interface_names_;
    SearchResult* searching_ = nullptr;
    std::function<void(const std::vector<Action>&, const Received&)> on_actions_;
    BoardRouter router_;
};

}  // namespace quorin::cli
