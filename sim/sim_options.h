// The command line of quorin-board-sim, read into the boards and settings to run with.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "sim/board_simulator.h"
#include "sim/sim_board.h"

namespace quorin::sim {

// Address base of the boards' local_ip when none is given: 127.0.1.1, 127.0.1.2, ... so that
// every board has a loopback address of its own for its firmware listener.
inline constexpr std::array<std::uint8_t, 4> kDefaultBoardNet = {127, 0, 1, 0};

// Boards simulated when neither --boards nor --config is given: one of every known model.
inline constexpr char kDefaultBoards[] = "all:1";

struct SimSetup {
    std::vector<SimBoard> boards;
    SimConfig config;
    QString events_path;        // "" for no event log
    double duration_s = 0;      // 0: run until SIGTERM/SIGINT
    bool print_boards = false;  // list the boards and exit
    QString dump_config_path;   // write the boards file and exit ("-" for standard output)
};

// Reads `arguments` (argv, program name first). Returns nullopt with `error` set on a bad
// argument; `help` is set instead when --help or --version was asked for (the text in `error`).
std::optional<SimSetup> parse_command_line(const QStringList& arguments, QString* error,
                                           bool* help = nullptr);

// One line per board: "INDEX MAC PRODUCT LOCAL_IP PROTOCOL LENGTH".
QStringList board_listing(const std::vector<SimBoard>& boards);

}  // namespace quorin::sim
