// quorinctl upload: one firmware image to several boards, at most --jobs at once.
#include <sys/ioctl.h>
#include <unistd.h>

#include <QEventLoop>
#include <QFile>
#include <memory>
#include <optional>
#include <set>

#include "cli/board_upload.h"
#include "cli/command_support.h"
#include "cli/commands.h"
#include "cli/interrupt_watch.h"
#include "cli/state_files.h"
#include "cli/upload_image.h"
#include "cli/upload_run.h"
#include "cli/upload_view.h"
#include "fleet/history.h"
#include "platform/window_timers.h"
#include "res/cli_texts.h"
#include "settings/field_catalogue.h"
#include "upload/image_file.h"

namespace quorin::cli {
namespace {

namespace T = text::cli;

// Bars need a terminal that moves the cursor, and room for every bar below the heading lines.
constexpr int kDefaultColumns = 80;
constexpr int kLinesBesideBars = 2;

struct Terminal {
    bool bars = false;
    int columns = kDefaultColumns;
};

Terminal stdout_terminal(std::size_t bars) {
    Terminal t;
    if (::isatty(STDOUT_FILENO) == 0 || qgetenv("TERM") == "dumb") return t;
    winsize size{};
    int rows = 0;
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0) {
        if (size.ws_col > 0) t.columns = size.ws_col;
        rows = size.ws_row;
    }
    t.bars = rows == 0 || static_cast<int>(bars) + kLinesBesideBars <= rows;
    return t;
}

// The image, checked, and its summary said on `info`; nullopt after saying what is wrong.
std::optional<CheckedImage> check_image(const QString& path, QTextStream& info, Output io) {
    QString error;
    auto checked = read_checked_image(path, &error);
    if (!checked) {
        io.err << "quorinctl: " << error << '\n';
        return std::nullopt;
    }
    info << qs(T::kImageSummary).arg(path).arg(checked->bytes->size()).arg(checked->sha256) << '\n';
    info.flush();
    return checked;
}

// The manifest that applies to the image (see image_manifest_for), said on `info`; false in `ok`
// after saying why it cannot be used.
std::optional<fleet::Manifest> image_manifest(const QString& image, const QString& digest,
                                              const UploadChecks& checks, QTextStream& info,
                                              Output io, bool& ok) {
    const ImageManifest m = image_manifest_for(image, digest, checks.manifest);
    ok = m.error.isEmpty();
    if (!ok) {
        io.err << "quorinctl: " << m.error << '\n';
        return std::nullopt;
    }
    if (!m.manifest) {
        io.err << "quorinctl: " << qs(T::kNoManifest).arg(image, m.path) << '\n';
        return std::nullopt;
    }
    QStringList models;
    for (const std::string& model : m.manifest->models) models << qs(model);
    info << qs(T::kManifestUsed).arg(m.path, qs(m.manifest->version), models.join(", ")) << '\n';
    return m.manifest;
}

// A board named twice would get two transfers at once. Names alike are refused before the
// search; a MAC and an address of the same board once the search has resolved them.
QString named_twice(const std::vector<BoardName>& names) {
    std::set<QString> seen;
    for (const BoardName& n : names) {
        const QString key = n.mac ? qs(mac_text(*n.mac)) : n.ip.toString();
        if (!seen.insert(key).second) return n.text;
    }
    return {};
}

// Appends the run's lines to the history; says so when it cannot (the uploads' outcome stands).
void record_history(const std::vector<fleet::HistoryEntry>& entries, Output io) {
    QString error;
    if (!append_history(entries, &error))
        io.err << "quorinctl: " << qs(T::kHistoryNotWritten).arg(error) << '\n';
}

// One board's result as the JSON output gives it.
struct BoardReport {
    const FoundBoard* board = nullptr;
    std::string result;
    QString message;
    std::string firmware_after;
    std::vector<fleet::Change> changes;
};

void print_json(const QString& image, const CheckedImage& checked,
                const std::optional<fleet::Manifest>& manifest,
                const std::vector<BoardReport>& reports, int status, Output io) {
    std::string json = "{\n  \"format_version\": 1,\n  \"image\": ";
    fleet::append_json_string(json, image.toStdString());
    json += ",\n  \"sha256\": ";
    fleet::append_json_string(json, checked.sha256.toStdString());
    json += ",\n  \"size\": " + std::to_string(checked.bytes->size()) + ",\n  \"version\": ";
    if (manifest) {
        fleet::append_json_string(json, manifest->version);
    } else {
        json += "null";
    }
    json += ",\n  \"exit_status\": " + std::to_string(status) + ",\n  \"boards\": [";
    for (std::size_t i = 0; i < reports.size(); ++i) {
        const BoardReport& r = reports[i];
        const BoardRow& row = r.board->row;
        const auto field = [&](const char* name) {
            const auto f = settings::field_of(row, name);
            return f ? f->value : std::string();
        };
        json += i == 0 ? "\n    {" : ",\n    {";
        const std::pair<const char*, std::string> fields[] = {
            {"mac", mac_text(row.mac_address)},    {"local_ip", field("local_ip")},
            {"model", settings::model_label(row)}, {"firmware_before", field("firmware_version")},
            {"firmware_after", r.firmware_after},  {"result", r.result},
            {"message", r.message.toStdString()},
        };
        for (const auto& [name, value] : fields) {
            json += std::string("\"") + name + "\": ";
            fleet::append_json_string(json, value);
            json += ", ";
        }
        json += "\"changes\": [";
        for (std::size_t c = 0; c < r.changes.size(); ++c) {
            json += c == 0 ? "{\"field\": " : ", {\"field\": ";
            fleet::append_json_string(json, r.changes[c].field);
            json += ", \"before\": ";
            fleet::append_json_string(json, r.changes[c].now);
            json += ", \"after\": ";
            fleet::append_json_string(json, r.changes[c].wanted);
            json += "}";
        }
        json += "]}";
    }
    json += reports.empty() ? "]\n}\n" : "\n  ]\n}\n";
    io.out << QString::fromStdString(json);
    io.out.flush();
}

}  // namespace

int upload_command(const CommonOptions& o, const QString& image, const QStringList& boards,
                   int jobs, const UploadChecks& checks, const UploadRollout& choice, Output io) {
    // With --json, standard output holds the JSON alone; what the run says goes to stderr.
    QTextStream& info = choice.json ? io.err : io.out;
    const auto names = parse_boards(boards, io);
    if (!names) return kExitUsage;
    if (const QString twice = named_twice(*names); !twice.isEmpty()) {
        io.err << "quorinctl: " << qs(T::kBoardNamedTwice).arg(twice) << '\n';
        return kExitUsage;
    }
    const auto checked = check_image(image, info, io);
    if (!checked) return kExitUsage;
    bool manifest_ok = true;
    const auto manifest = image_manifest(image, checked->sha256, checks, info, io, manifest_ok);
    if (!manifest_ok) return kExitUsage;

    // From the search on, a signal is the run's to report: one that comes before the first
    // transfer starts none.
    InterruptWatch watch({});
    const auto resolved = find_named(o, *names, io);
    if (!resolved) return kExitFailure;
    auto& engine = resolved->engine;
    std::set<BoardEngine::Mac> macs;
    for (std::size_t i = 0; i < resolved->boards.size(); ++i) {
        if (!macs.insert(resolved->boards[i].row.mac_address).second) {
            io.err << "quorinctl: " << qs(T::kBoardNamedTwice).arg(boards[qsizetype(i)]) << '\n';
            return kExitUsage;
        }
    }

    // The manifest's verdict on every board before anything is sent: a refusal of one stops the
    // run; a board already at the version is left out.
    std::vector<FoundBoard> chosen;
    const fleet::HistoryEntry base = history_base(*checked);
    std::vector<fleet::HistoryEntry> history;
    std::vector<BoardReport> reports;
    int refused = 0;
    if (manifest) {
        for (const FoundBoard& b : resolved->boards) {
            const auto fw = settings::field_of(b.row, "firmware_version");
            const fleet::ManifestVerdict v =
                fleet::judge_board(*manifest, settings::model_label(b.row),
                                   fw ? fw->value : std::string(), checks.overrides);
            const QString mac = qs(mac_text(b.row.mac_address));
            if (v.kind == fleet::ManifestVerdict::Refuse) {
                ++refused;
                const std::string_view hint =
                    v.why == fleet::ManifestVerdict::ModelNotListed ? T::kHintIgnoreCompatible
                    : v.why == fleet::ManifestVerdict::Newer        ? T::kHintAllowOlder
                                                                    : std::string_view();
                io.err << "quorinctl: "
                       << qs(T::kBoardRefusedByManifest).arg(mac, qs(v.reason) + qs(hint)) << '\n';
                reports.push_back({&b, "refused", qs(v.reason), {}, {}});
            } else if (v.kind == fleet::ManifestVerdict::Skip) {
                info << qs(T::kBoardSkipped).arg(mac, qs(v.reason)) << '\n';
                history.push_back(history_of(base, b, "skipped", qs(v.reason)));
                reports.push_back({&b, "skipped", qs(v.reason), {}, {}});
            } else {
                chosen.push_back(b);
            }
        }
    } else {
        chosen = resolved->boards;
    }
    // A refusal sends nothing; a dry run stops here too, saying what a run would do.
    if (refused > 0 || choice.dry_run) {
        for (const FoundBoard& b : chosen) {
            const auto fw = settings::field_of(b.row, "firmware_version");
            const QString would =
                qs(T::kBoardWouldUpgrade)
                    .arg(qs(mac_text(b.row.mac_address)), qs(fw ? fw->value : std::string()));
            if (choice.dry_run) info << would << '\n';
            reports.push_back({&b,
                               refused > 0 ? "not_started" : "would_upgrade",
                               refused > 0 ? QString() : would,
                               {},
                               {}});
        }
        if (refused > 0)
            io.err << "quorinctl: " << qs(T::kBoardsRefusedByManifest).arg(refused) << '\n';
        const int status = refused > 0 ? kExitUsage : kExitOk;
        if (choice.json) print_json(image, *checked, manifest, reports, status, io);
        return status;
    }
    if (chosen.empty()) {
        record_history(history, io);
        info << qs(T::kEveryBoardSkipped).arg(qs(manifest->version)) << '\n';
        if (choice.json) print_json(image, *checked, manifest, reports, kExitOk, io);
        return kExitOk;
    }

    // The boards in the order chosen, each upload sending the one image read above.
    std::vector<BoardRow> rows;
    for (const FoundBoard& b : chosen) rows.push_back(b.row);
    std::vector<FoundBoard> ordered;
    for (std::size_t i : fleet::rollout_order(rows, choice.order)) ordered.push_back(chosen[i]);
    fleet::RolloutOptions options;
    options.jobs = jobs;
    options.canary = choice.canary;
    options.max_failures = choice.max_failures;
    options.verify_timeout_ms = std::int64_t{choice.verify_timeout_s} * 1000;
    if (manifest) options.version = manifest->version;
    BoardUpload::Target target{o.upload_port, o.stream_port, image, checked->bytes};

    UploadRun run(*engine, ordered, target, options);
    const Terminal terminal = stdout_terminal(ordered.size());
    run.run(watch, io, !choice.json, terminal.bars, terminal.columns);

    const fleet::Rollout& rollout = run.rollout();
    bool canary_failed = false;
    for (std::size_t i = 0; i < run.size(); ++i)
        canary_failed |= rollout.why_not_started(i) == fleet::NotStartedWhy::CanaryFailed;
    if (canary_failed) io.err << "quorinctl: " << qs(T::kCanaryFailed) << '\n';
    for (std::size_t i = 0; i < run.size(); ++i) {
        const fleet::RolloutResult result = rollout.result(i);
        const QString message = board_status(run, i, false);
        reports.push_back({&run.upload(i).board(), std::string(fleet::rollout_result_name(result)),
                           message, rollout.firmware_after(i), rollout.changes(i)});
        if (result == fleet::RolloutResult::NotStarted) continue;
        fleet::HistoryEntry e =
            history_of(base, run.upload(i).board(), fleet::rollout_result_name(result), message);
        e.firmware_after = rollout.firmware_after(i);
        history.push_back(std::move(e));
    }
    record_history(history, io);
    const int status = rollout.exit_status();
    if (choice.json) print_json(image, *checked, manifest, reports, status, io);
    return status;
}

}  // namespace quorin::cli
