// The commands of quorinctl. Each takes its parsed arguments, writes results to `out` and
// messages to `err`, and returns the exit status: 0 success, 1 failure, 2 bad input.
#pragma once

#include <QString>
#include <QStringList>
#include <QTextStream>
#include <optional>
#include <vector>

#include "cli/board_link.h"
#include "cli/table_out.h"
#include "fleet/manifest.h"
#include "fleet/rollout.h"

namespace quorin::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// How long a command waits for search and set replies unless --wait says otherwise.
inline constexpr int kDefaultWaitMs = 1500;
// How many boards `upload` serves at once unless --jobs says otherwise, and at most.
inline constexpr int kDefaultUploadJobs = 4;
inline constexpr int kMaxUploadJobs = 200;

struct CommonOptions {
    LinkOptions link;
    int wait_ms = kDefaultWaitMs;
    int expect = 0;  // search: end as soon as this many boards have answered (0: wait it out)
    quint16 upload_port = kAckUploadPort;     // the boards' acknowledged transfer (TCP)
    quint16 stream_port = kStreamUploadPort;  // the streamed transfer of "0004" boards (TCP)
};

// A board named on the command line: by MAC or by IPv4 address.
struct BoardName {
    QString text;
    std::optional<std::array<std::uint8_t, 6>> mac;
    QHostAddress ip;
};
// Parses "0A:1B:2C:3D:4E:5F" (or with '-', any case) or "a.b.c.d"; nullopt when neither.
std::optional<BoardName> parse_board(const QString& text);

struct Output {
    QTextStream& out;
    QTextStream& err;
};

// `format`: a table (bold headings on a terminal), JSON ({"format_version": 1, "boards": [...]})
// or CSV.
int search_command(const CommonOptions& o, OutputFormat format, Output io);
int show_command(const CommonOptions& o, const QString& board, bool json, Output io);
int set_command(const CommonOptions& o, const QString& board, const QStringList& assignments,
                bool dry_run, Output io);
int export_command(const CommonOptions& o, const QString& board, Output io);
int apply_command(const CommonOptions& o, const QString& profile_path, const QStringList& boards,
                  bool dry_run, Output io);
int diagnose_command(const CommonOptions& o, Output io);
// What an upload checks the image and the boards against: a manifest (given, or the image's path
// with ".json" when that file exists) and what the operator allows beyond it.
struct UploadChecks {
    QString manifest;  // empty: the one beside the image, if any
    fleet::ManifestOverrides overrides;
};

// How an upload goes through its boards (see fleet::Rollout) and prints its results.
struct UploadRollout {
    int canary = 0;
    int max_failures = 0;  // 0: no limit
    fleet::RolloutOrder order = fleet::RolloutOrder::Named;
    int verify_timeout_s = 120;
    bool json = false;
    bool dry_run = false;  // judge the image and every board; send nothing
};

// Prints the upload history: every entry, or those of the board with MAC `board` (when given).
int history_command(const QString& board, OutputFormat format, Output io);

// Uploads the image at `image` to every board of `boards`, at most `jobs` at once.
int upload_command(const CommonOptions& o, const QString& image, const QStringList& boards,
                   int jobs, const UploadChecks& checks, const UploadRollout& rollout, Output io);

}  // namespace quorin::cli
