// The command line's engine: the protocol core (board table, request builder and reply
// dispatcher, the same ones the window runs) driven through the command line's transport, with
// waits that end on a time limit or as soon as the caller has what it needs.
#pragma once

#include <QHostAddress>
#include <QString>
#include <QTimer>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <span>
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

// The command line's board table: far beyond any one network's boards, so that a search lists
// every board that answers (the window's table keeps ConfigCore::kMaxBoards).
inline constexpr int kEngineBoardTable = 100000;

class BoardEngine {
  public:
    explicit BoardEngine(LinkOptions options);

    // Opens the sockets; see BoardLink::open.
    bool open(QString* error, QString* warning);

    // Sends one search to every destination and collects replies for `wait_ms`, or until
    // `enough` (called after each new board) returns true. Boards beyond the board table's
    // kEngineBoardTable are not listed; a note says so.
    using Enough = std::function<bool(const std::vector<FoundBoard>&)>;
    SearchResult search(int wait_ms, const Enough& enough = {});
    // The same search without waiting for it: returns at once, and `done` gets the result from
    // the event loop when the wait is over or `enough` is satisfied (never from inside the
    // call). One search at a time: starting another ends the one still running first.
    void start_search(int wait_ms, Enough enough, std::function<void(SearchResult)> done);
    bool searching() const { return pending_ != nullptr; }
    // Ends the running search at once without telling its caller (who is going away).
    void cancel_search();

    // Sends the set request for `settings` (whose mac_address and product_code name the board
    // and its protocol) toward `board`, found by the last search, and waits up to `wait_ms` for
    // the board's set reply. True when the reply arrived and was applied.
    bool set(const FoundBoard& board, const BoardRow& settings, int wait_ms);

    // Sends requests the protocol core has built (an upload's) toward `board`, by the interface
    // it answered on, and returns at once: the caller waits in its own event loop. False when
    // there was nothing to send or the system refused a datagram.
    bool send_datagrams(const FoundBoard& board, const std::vector<OutgoingDatagram>& datagrams);

    // Sends `datagrams` (a search a protocol core of the caller's has built) to every
    // destination and returns at once; gives the destinations the system refused.
    std::vector<QString> broadcast(const std::vector<OutgoingDatagram>& datagrams);

    // Exchanges with several boards at once, each with a protocol core of its own (an upload's):
    // while a router is set, each datagram that carries a MAC address goes to `deliver` with
    // that MAC, to be read by that board's core; the engine's own core reads none of them. One
    // board's reply or report thus never counts for another.
    using Mac = std::array<std::uint8_t, 6>;
    struct BoardRouter {
        std::function<void(const Mac&, std::uint8_t tag, std::span<const std::uint8_t> datagram)>
            deliver;
    };
    void route_by_board(BoardRouter router) { router_ = std::move(router); }

    // A datagram of the legacy protocol that another socket of the process read (one that holds
    // the legacy port this engine's socket could not have): read as if this engine's had.
    void take_legacy(std::span<const std::uint8_t> datagram);

    // The host tag that requests carry (looked up when the engine was opened).
    std::uint8_t host_tag() const { return core_.host_tag; }

    const std::vector<Destination>& destinations() const { return link_.destinations(); }
    const LinkOptions& options() const { return link_.options(); }

  private:
    Destination destination_for(const FoundBoard& board) const;
    QString interface_label(int index) const;
    void receive(const Received& datagram);
    void finish_search();

    BoardLink link_;
    ConfigCore core_{kEngineBoardTable};
    // Per board row: the interface its search reply came in on.
    std::vector<std::pair<QString, int>> row_interface_;
    mutable std::map<int, QString> interface_names_;
    SearchResult* searching_ = nullptr;
    struct PendingSearch {
        SearchResult result;
        int seen = 0;
        Enough enough;
        std::function<void(SearchResult)> done;
    };
    std::unique_ptr<PendingSearch> pending_;
    QTimer search_timer_;
    std::function<void(const std::vector<Action>&, const Received&)> on_actions_;
    BoardRouter router_;
};

}  // namespace quorin::cli
