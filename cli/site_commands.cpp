#include "cli/site_commands.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <map>
#include <set>

#include "cli/command_support.h"
#include "cli/interrupt_watch.h"
#include "cli/set_run_driver.h"
#include "cli/state_files.h"
#include "fleet/site_file.h"
#include "fleet/site_run.h"
#include "res/cli_texts.h"
#include "settings/field_catalogue.h"

namespace quorin::cli {
namespace {

namespace T = text::cli;
using fleet::BoardResult;
using fleet::Change;
using fleet::Mac;

QString say(std::string_view pattern) {
    return qs(pattern);
}

int refuse(Output io, const QString& message, int status = fleet::kExitUsage) {
    io.err << "quorinctl: " << message << '\n';
    return status;
}

// The whole text of `path`, or nullopt after saying why it cannot be read.
std::optional<std::string> read_text(const QString& path, Output io) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        refuse(io, say(T::kFileUnreadable).arg(path, file.errorString()));
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    return bytes.toStdString();
}

template <typename File>
std::optional<File> accepted(const QString& path, fleet::ReadResult<File> r, Output io) {
    if (!r.value) refuse(io, say(T::kFileRefused).arg(path, qs(r.error)));
    return std::move(r.value);
}

// Searches until every board of `macs` has answered when `until_all` (a run's own lookup),
// otherwise for the whole wait so that boards the file does not list are seen too.
SearchResult search_site(BoardEngine& engine, const CommonOptions& o, const std::set<Mac>& macs,
                         bool until_all) {
    return engine.search(o.wait_ms, [&](const std::vector<FoundBoard>& found) {
        if (!until_all) return false;
        std::size_t seen = 0;
        for (const FoundBoard& f : found) seen += macs.count(f.row.mac_address);
        return seen == macs.size();
    });
}

const FoundBoard* find_board(const SearchResult& r, const Mac& mac) {
    for (const FoundBoard& f : r.boards) {
        if (f.row.mac_address == mac) return &f;
    }
    return nullptr;
}

// A site file's boards against what answered.
struct Entry {
    FoundBoard board;
    fleet::BoardTarget target;
    std::string firmware_min;  // the site's minimum for the board's model; may be empty
};
struct Compared {
    std::vector<Entry> entries;  // in file order
    std::vector<Mac> missing;
    std::vector<FoundBoard> unlisted;
};

// Nullopt after saying which board or setting the site file gets wrong (exit 2).
std::optional<Compared> compare(const fleet::SiteFile& site, const SearchResult& found,
                                const QString& path, Output io) {
    Compared c;
    std::set<Mac> listed;
    for (const fleet::SiteBoard& b : site.boards) {
        listed.insert(b.mac);
        const FoundBoard* f = find_board(found, b.mac);
        if (f == nullptr) {
            c.missing.push_back(b.mac);
            continue;
        }
        const std::string model = settings::model_label(f->row);
        if (!b.model.empty() && b.model != model) {
            refuse(io, say(T::kSiteOtherModel)
                           .arg(path, qs(b.where), mac_of(f->row), qs(model), qs(b.model)));
            return std::nullopt;
        }
        Entry e{*f, fleet::target_for(f->row, fleet::wanted_settings(site, b, model)), {}};
        if (!e.target.row) {
            refuse(io, say(T::kFileRefused).arg(path, mac_of(f->row) + ": " + qs(e.target.error)));
            return std::nullopt;
        }
        for (const auto& [m, v] : site.firmware_min) {
            if (m == model) e.firmware_min = v;
        }
        c.entries.push_back(std::move(e));
    }
    for (const FoundBoard& f : found.boards) {
        if (!listed.count(f.row.mac_address)) c.unlisted.push_back(f);
    }
    return c;
}

void csv_row(QTextStream& out, const QStringList& cells) {
    print_csv(out, {cells});
}

std::string json_string(std::string_view s) {
    std::string out;
    fleet::append_json_string(out, s);
    return out;
}
std::string json_string(const QString& s) {
    return json_string(s.toStdString());
}

fleet::PlanFile plan_of(const Compared& c, const QString& site) {
    fleet::PlanFile p;
    p.site = site.toStdString();
    p.created = utc_now_iso().toStdString();
    for (const Entry& e : c.entries)
        p.boards.push_back({fleet::settings_of(e.board.row), e.target.changes});
    p.missing = c.missing;
    for (const FoundBoard& f : c.unlisted) p.unlisted.push_back(f.row.mac_address);
    return p;
}

bool firmware_below(const Entry& e) {
    if (e.firmware_min.empty()) return false;
    const auto fw = settings::field_of(e.board.row, "firmware_version");
    const auto order = fleet::compare_versions(fw ? fw->value : std::string(), e.firmware_min);
    return order && *order < 0;
}

// ---- apply and rollback ----------------------------------------------------------------------

struct RunBoard {
    FoundBoard board;  // row empty but for the MAC when not reached
    bool reached = true;
    fleet::BoardTarget target;
};

QString joined_fields(const std::vector<Change>& changes) {
    QStringList names;
    for (const Change& c : changes) names << qs(c.field);
    return names.join(QLatin1Char(' '));
}

struct RunOutcome {
    std::vector<BoardResult> results;
    std::vector<QString> messages;
    bool interrupted = false;
};

int run_status(const RunOutcome& r) {
    if (r.interrupted) return fleet::kExitInterrupted;
    std::size_t good = 0;
    for (BoardResult b : r.results)
        good += b == BoardResult::Unchanged || b == BoardResult::Verified ? 1 : 0;
    if (good == r.results.size()) return fleet::kExitOk;
    return good == 0 ? fleet::kExitFailure : fleet::kExitPartial;
}

QString board_ip(const RunBoard& b) {
    if (!b.reached) return {};
    const BoardRow& row = b.target.row ? *b.target.row : b.board.row;
    const auto f = settings::field_of(row, "local_ip");
    return f ? qs(f->value) : QString();
}

bool write_report(const QString& path, const QString& command, const QString& journal,
                  const std::vector<RunBoard>& boards, const RunOutcome& r, Output io,
                  std::string* json_text) {
    std::string json = "{\n  \"format_version\": 1,\n  \"command\": " + json_string(command) +
                       ",\n  \"journal\": " + json_string(journal) +
                       ",\n  \"interrupted\": " + (r.interrupted ? "true" : "false") +
                       ",\n  \"boards\": [";
    QString csv;
    QTextStream csv_out(&csv);
    csv_row(csv_out, {"mac", "model", "local_ip", "result", "changed_fields", "message"});
    std::map<BoardResult, int> counts;
    for (std::size_t i = 0; i < boards.size(); ++i) {
        const RunBoard& b = boards[i];
        const QString mac = qs(mac_text(b.board.row.mac_address));
        const QString model = b.reached ? qs(settings::model_label(b.board.row)) : QString();
        const QString result = qs(fleet::result_name(r.results[i]));
        const QString fields =
            r.results[i] == BoardResult::Verified ? joined_fields(b.target.changes) : QString();
        ++counts[r.results[i]];
        csv_row(csv_out, {mac, model, board_ip(b), result, fields, r.messages[i]});
        json += std::string(i == 0 ? "\n" : ",\n") + "    {\"mac\": " + json_string(mac) +
                ", \"model\": " + json_string(model) +
                ", \"local_ip\": " + json_string(board_ip(b)) +
                ", \"result\": " + json_string(result) + ", \"changed\": [";
        if (r.results[i] == BoardResult::Verified) {
            for (std::size_t k = 0; k < b.target.changes.size(); ++k) {
                json += (k == 0 ? "" : ", ") + json_string(b.target.changes[k].field);
            }
        }
        json += "], \"message\": " + json_string(r.messages[i]) + "}";
    }
    json += boards.empty() ? "],\n" : "\n  ],\n";
    json += "  \"summary\": {";
    bool first = true;
    for (BoardResult kind : {BoardResult::Verified, BoardResult::Unchanged, BoardResult::Failed,
                             BoardResult::NotReached, BoardResult::NotStarted}) {
        json += std::string(first ? "" : ", ") + json_string(fleet::result_name(kind)) + ": " +
                std::to_string(counts[kind]);
        first = false;
    }
    json += "}\n}\n";
    if (json_text != nullptr) *json_text = json;
    if (path.isEmpty()) return true;
    QString error;
    const bool as_json = path.endsWith(QLatin1String(".json"), Qt::CaseInsensitive);
    csv_out.flush();
    const std::string bytes = as_json ? json : csv.toStdString();
    if (!write_durably(path, bytes, &error)) {
        refuse(io, say(T::kReportFailed).arg(path) + QStringLiteral(": ") + error);
        return false;
    }
    return true;
}

// Writes the journal, runs the set requests, reports. `boards` holds every board of the run,
// reached or not.
int run_changes(BoardEngine& engine, const CommonOptions& o, const QString& command,
                std::vector<RunBoard> boards, const RunOptions& options, InterruptWatch& watch,
                Output io) {
    // The journal: every board about to change, with all of its changeable settings.
    fleet::Journal journal;
    journal.created = utc_now_iso().toStdString();
    journal.command = command.toStdString();
    std::vector<fleet::SetRun::Board> run_boards;
    std::vector<FoundBoard> reached;
    std::vector<std::size_t> run_index(boards.size(), SIZE_MAX);
    for (std::size_t i = 0; i < boards.size(); ++i) {
        const RunBoard& b = boards[i];
        if (!b.reached) continue;
        if (!b.target.changes.empty()) journal.boards.push_back(fleet::settings_of(b.board.row));
        run_index[i] = run_boards.size();
        run_boards.push_back({*b.target.row, b.target.changes});
        reached.push_back(b.board);
    }
    QString journal_path;
    if (!journal.boards.empty()) {
        journal_path = options.journal.isEmpty() ? new_journal_path() : options.journal;
        QString error;
        if (watch.count() == 0 &&
            !write_durably(journal_path, fleet::write_journal_json(journal), &error)) {
            return refuse(io,
                          say(T::kJournalFailed).arg(journal_path) + QStringLiteral(": ") + error,
                          fleet::kExitFailure);
        }
        if (watch.count() == 0 && !options.json)
            io.out << say(T::kJournalWritten).arg(journal_path) << '\n';
        io.out.flush();
        if (watch.count() > 0) journal_path.clear();  // nothing is sent: nothing to journal
    }

    fleet::SetRun run(std::move(run_boards), options.jobs);
    if (watch.count() == 0 && journal.boards.empty() && reached.size() == boards.size()) {
        io.err << say(T::kNothingToChange) << '\n';
    }
    const auto said = [&](int count) {
        if (count == 1) io.err << say(T::kRunInterrupted) << Qt::endl;
    };
    if (watch.count() > 0) said(1);
    drive_set_run(engine, o, run, reached, watch, said);

    RunOutcome outcome;
    outcome.interrupted = run.interrupted() || watch.count() > 0;
    for (std::size_t i = 0; i < boards.size(); ++i) {
        if (run_index[i] == SIZE_MAX) {
            outcome.results.push_back(BoardResult::NotReached);
            outcome.messages.push_back(QStringLiteral("did not answer the search"));
            continue;
        }
        const std::size_t k = run_index[i];
        outcome.results.push_back(run.result(k));
        outcome.messages.push_back(qs(run.message(k)));
    }
    std::string json;
    const bool reported =
        write_report(options.report, command, journal_path, boards, outcome, io, &json);
    if (options.json) {
        io.out << QString::fromStdString(json);
    } else {
        std::map<BoardResult, int> counts;
        for (std::size_t i = 0; i < boards.size(); ++i) {
            const QString mac = qs(mac_text(boards[i].board.row.mac_address));
            ++counts[outcome.results[i]];
            switch (outcome.results[i]) {
                case BoardResult::Unchanged:
                    io.out << say(T::kRunUnchanged).arg(mac) << '\n';
                    break;
                case BoardResult::Verified:
                    io.out << say(T::kRunVerified).arg(mac, joined_fields(boards[i].target.changes))
                           << '\n';
                    break;
                case BoardResult::Failed:
                    io.out << say(T::kRunFailed).arg(mac, outcome.messages[i]) << '\n';
                    break;
                case BoardResult::NotReached:
                    io.out << say(T::kRunNotReached).arg(mac) << '\n';
                    break;
                case BoardResult::NotStarted:
                    io.out << say(T::kRunNotStarted).arg(mac) << '\n';
                    break;
            }
        }
        io.out << say(T::kRunSummary)
                      .arg(boards.size())
                      .arg(counts[BoardResult::Verified])
                      .arg(counts[BoardResult::Unchanged])
                      .arg(counts[BoardResult::Failed])
                      .arg(counts[BoardResult::NotReached])
                      .arg(counts[BoardResult::NotStarted])
               << '\n';
    }
    const int status = run_status(outcome);
    return reported || status == fleet::kExitInterrupted ? status : fleet::kExitFailure;
}

bool report_name_ok(const QString& report, Output io) {
    if (report.isEmpty() || report.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive) ||
        report.endsWith(QLatin1String(".json"), Qt::CaseInsensitive))
        return true;
    refuse(io, say(T::kReportBadName).arg(report));
    return false;
}

}  // namespace

bool is_site_or_plan(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const std::string text = file.readAll().toStdString();
    // A profile is a JSON object of "model" and "settings"; sites and plans carry a format_version
    // (which of the two it is, apply finds out as it reads the file).
    return text.find("\"format_version\"") != std::string::npos ||
           text.find("format_version:") != std::string::npos;
}

int plan_command(const CommonOptions& o, const QString& path, const QString& out_path,
                 OutputFormat format, Output io) {
    const auto text = read_text(path, io);
    if (!text) return fleet::kExitUsage;
    const auto site = accepted(path, fleet::read_site(*text), io);
    if (!site) return fleet::kExitUsage;
    auto engine = open_engine(o, io);
    if (!engine) return fleet::kExitFailure;
    const SearchResult found = search_site(*engine, o, {}, false);
    print_notes(found, io);
    const auto c = compare(*site, found, path, io);
    if (!c) return fleet::kExitUsage;
    const fleet::PlanFile plan = plan_of(*c, path);
    if (!out_path.isEmpty()) {
        QString error;
        if (!write_durably(out_path, fleet::write_plan_json(plan), &error))
            return refuse(io, say(T::kReportFailed).arg(out_path) + ": " + error,
                          fleet::kExitFailure);
        io.err << say(T::kPlanWritten).arg(out_path) << '\n';
    }
    std::size_t changing = 0;
    for (const Entry& e : c->entries) changing += e.target.changes.empty() ? 0 : 1;
    if (format == OutputFormat::Json) {
        io.out << QString::fromStdString(fleet::write_plan_json(plan));
    } else if (format == OutputFormat::Csv) {
        csv_row(io.out, {"mac", "model", "status", "field", "now", "wanted"});
        for (const Entry& e : c->entries) {
            for (const Change& ch : e.target.changes) {
                csv_row(io.out, {mac_of(e.board.row), qs(settings::model_label(e.board.row)),
                                 "change", qs(ch.field), qs(ch.now), qs(ch.wanted)});
            }
        }
        for (const Mac& m : c->missing)
            csv_row(io.out, {qs(mac_text(m)), "", "missing", "", "", ""});
        for (const FoundBoard& f : c->unlisted) {
            csv_row(io.out,
                    {mac_of(f.row), qs(settings::model_label(f.row)), "unlisted", "", "", ""});
        }
    } else {
        for (const Entry& e : c->entries) {
            for (const Change& ch : e.target.changes) {
                io.out << say(T::kPlanChange)
                              .arg(mac_of(e.board.row), qs(ch.field), qs(ch.now), qs(ch.wanted))
                       << '\n';
            }
        }
        for (const Mac& m : c->missing) io.out << say(T::kPlanMissing).arg(qs(mac_text(m))) << '\n';
        for (const FoundBoard& f : c->unlisted)
            io.out << say(T::kPlanUnlisted).arg(mac_of(f.row)) << '\n';
        io.out << say(T::kPlanSummary)
                      .arg(changing)
                      .arg(c->entries.size() - changing)
                      .arg(c->missing.size())
                      .arg(c->unlisted.size())
               << '\n';
    }
    return changing > 0 || !c->missing.empty() ? fleet::kExitFindings : fleet::kExitOk;
}

int audit_command(const CommonOptions& o, const QString& path, bool json, Output io) {
    const auto text = read_text(path, io);
    if (!text) return fleet::kExitUsage;
    const auto site = accepted(path, fleet::read_site(*text), io);
    if (!site) return fleet::kExitUsage;
    auto engine = open_engine(o, io);
    if (!engine) return fleet::kExitFailure;
    const SearchResult found = search_site(*engine, o, {}, false);
    print_notes(found, io);
    const auto c = compare(*site, found, path, io);
    if (!c) return fleet::kExitUsage;

    std::size_t differ = 0, low = 0, compliant = 0;
    std::string doc =
        "{\n  \"format_version\": 1,\n  \"site\": " + json_string(path) + ",\n  \"findings\": [";
    bool first = true;
    const auto finding = [&](const std::string& body) {
        doc += std::string(first ? "\n    " : ",\n    ") + "{" + body + "}";
        first = false;
    };
    for (const Entry& e : c->entries) {
        const QString mac = mac_of(e.board.row);
        for (const Change& ch : e.target.changes) {
            if (json) {
                finding("\"mac\": " + json_string(mac) + ", \"kind\": \"setting\", \"field\": " +
                        json_string(ch.field) + ", \"now\": " + json_string(ch.now) +
                        ", \"wanted\": " + json_string(ch.wanted));
            } else {
                io.out << say(T::kPlanChange).arg(mac, qs(ch.field), qs(ch.now), qs(ch.wanted))
                       << '\n';
            }
        }
        const bool below = firmware_below(e);
        if (below) {
            const std::string fw = settings::field_of(e.board.row, "firmware_version")->value;
            if (json) {
                finding("\"mac\": " + json_string(mac) + ", \"kind\": \"firmware\", \"now\": " +
                        json_string(fw) + ", \"minimum\": " + json_string(e.firmware_min));
            } else {
                io.out << say(T::kPlanFirmwareLow).arg(mac, qs(fw), qs(e.firmware_min)) << '\n';
            }
        }
        differ += e.target.changes.empty() ? 0 : 1;
        low += below ? 1 : 0;
        compliant += e.target.changes.empty() && !below ? 1 : 0;
    }
    for (const Mac& m : c->missing) {
        if (json) {
            finding("\"mac\": " + json_string(mac_text(m)) + ", \"kind\": \"missing\"");
        } else {
            io.out << say(T::kPlanMissing).arg(qs(mac_text(m))) << '\n';
        }
    }
    doc += first ? "],\n" : "\n  ],\n";
    doc += "  \"unlisted\": [";
    for (std::size_t i = 0; i < c->unlisted.size(); ++i) {
        doc += (i == 0 ? "" : ", ") + json_string(mac_of(c->unlisted[i].row));
        if (!json) io.out << say(T::kPlanUnlisted).arg(mac_of(c->unlisted[i].row)) << '\n';
    }
    const std::size_t findings = differ + low + c->missing.size();
    doc += "],\n  \"compliant\": " + std::to_string(compliant) + "\n}\n";
    if (json) {
        io.out << QString::fromStdString(doc);
    } else {
        io.out << say(T::kAuditSummary)
                      .arg(findings)
                      .arg(differ)
                      .arg(low)
                      .arg(c->missing.size())
                      .arg(compliant)
                      .arg(c->unlisted.size())
               << '\n';
    }
    return findings > 0 ? fleet::kExitFindings : fleet::kExitOk;
}

int site_apply_command(const CommonOptions& o, const QString& path, const RunOptions& r,
                       Output io) {
    // Signals are ours from the start: one during the search still gets its report.
    InterruptWatch watch({});
    if (!report_name_ok(r.report, io)) return fleet::kExitUsage;
    const auto text = read_text(path, io);
    if (!text) return fleet::kExitUsage;
    const bool from_plan = fleet::looks_like_plan(*text);
    std::optional<fleet::SiteFile> site;
    std::optional<fleet::PlanFile> plan;
    std::set<Mac> macs;
    if (from_plan) {
        plan = accepted(path, fleet::read_plan(*text), io);
        if (!plan) return fleet::kExitUsage;
        for (const fleet::PlannedBoard& b : plan->boards) macs.insert(b.current.mac);
        for (const Mac& m : plan->missing) macs.insert(m);
    } else {
        site = accepted(path, fleet::read_site(*text), io);
        if (!site) return fleet::kExitUsage;
        for (const fleet::SiteBoard& b : site->boards) macs.insert(b.mac);
    }
    auto engine = open_engine(o, io);
    if (!engine) return fleet::kExitFailure;
    const SearchResult found = search_site(*engine, o, macs, true);
    print_notes(found, io);

    std::vector<RunBoard> boards;
    if (site) {
        const auto c = compare(*site, found, path, io);
        if (!c) return fleet::kExitUsage;
        for (const Entry& e : c->entries) boards.push_back({e.board, true, e.target});
        for (const Mac& m : c->missing) {
            RunBoard b;
            b.board.row.mac_address = m;
            b.reached = false;
            boards.push_back(std::move(b));
        }
    } else {
        // Every board must still hold what the plan saw; the plan's changes are then the
        // settings wanted.
        for (std::size_t i = 0; i < plan->boards.size(); ++i) {
            const fleet::PlannedBoard& p = plan->boards[i];
            const FoundBoard* f = find_board(found, p.current.mac);
            if (f == nullptr) {
                RunBoard b;
                b.board.row.mac_address = p.current.mac;
                b.reached = false;
                boards.push_back(std::move(b));
                continue;
            }
            const std::vector<Change> moved = fleet::drift(p.current, f->row);
            if (!moved.empty()) {
                const Change& m = moved.front();
                return refuse(
                    io,
                    say(T::kPlanStale).arg(mac_of(f->row), qs(m.field), qs(m.now), qs(m.wanted)),
                    fleet::kExitFailure);
            }
            std::vector<fleet::SiteSetting> wanted;
            for (std::size_t k = 0; k < p.changes.size(); ++k) {
                wanted.push_back(
                    {p.changes[k].field, p.changes[k].wanted,
                     "boards[" + std::to_string(i) + "].changes[" + std::to_string(k) + "]"});
            }
            RunBoard b{*f, true, fleet::target_for(f->row, wanted)};
            if (!b.target.row) {
                return refuse(
                    io, say(T::kFileRefused).arg(path, mac_of(f->row) + ": " + qs(b.target.error)));
            }
            boards.push_back(std::move(b));
        }
        for (const Mac& m : plan->missing) {
            RunBoard b;
            b.board.row.mac_address = m;
            b.reached = false;
            boards.push_back(std::move(b));
        }
    }
    return run_changes(*engine, o, QStringLiteral("apply"), std::move(boards), r, watch, io);
}

int rollback_command(const CommonOptions& o, const QString& path, const RunOptions& r, Output io) {
    InterruptWatch watch({});
    if (!report_name_ok(r.report, io)) return fleet::kExitUsage;
    const auto text = read_text(path, io);
    if (!text) return fleet::kExitUsage;
    const auto journal = accepted(path, fleet::read_journal(*text), io);
    if (!journal) return fleet::kExitUsage;
    std::set<Mac> macs;
    for (const fleet::BoardSettings& b : journal->boards) macs.insert(b.mac);
    auto engine = open_engine(o, io);
    if (!engine) return fleet::kExitFailure;
    const SearchResult found = search_site(*engine, o, macs, true);
    print_notes(found, io);
    std::vector<RunBoard> boards;
    for (std::size_t i = 0; i < journal->boards.size(); ++i) {
        const fleet::BoardSettings& j = journal->boards[i];
        const FoundBoard* f = find_board(found, j.mac);
        if (f == nullptr) {
            RunBoard b;
            b.board.row.mac_address = j.mac;
            b.reached = false;
            boards.push_back(std::move(b));
            continue;
        }
        const std::string model = settings::model_label(f->row);
        if (model != j.model) {
            return refuse(io, say(T::kSiteOtherModel)
                                  .arg(path, qs("boards[" + std::to_string(i) + "]"),
                                       mac_of(f->row), qs(model), qs(j.model)));
        }
        RunBoard b{*f, true,
                   fleet::rollback_target(j, f->row, "boards[" + std::to_string(i) + "]")};
        if (!b.target.row) {
            return refuse(
                io, say(T::kFileRefused).arg(path, mac_of(f->row) + ": " + qs(b.target.error)));
        }
        boards.push_back(std::move(b));
    }
    return run_changes(*engine, o, QStringLiteral("rollback"), std::move(boards), r, watch, io);
}

int site_init_command(const CommonOptions& o, const QString& ip_from, bool json, Output io) {
    std::optional<BoardName> first;
    if (!ip_from.isEmpty()) {
        first = parse_board(ip_from);
        if (!first || first->mac)
            return refuse(
                io, say(T::kSiteBadIpFrom).arg(qs(settings::quoted_value(ip_from.toStdString()))));
    }
    auto engine = open_engine(o, io);
    if (!engine) return fleet::kExitFailure;
    SearchResult found = search_site(*engine, o, {}, false);
    print_notes(found, io);
    std::vector<FoundBoard> boards = found.boards;
    std::sort(boards.begin(), boards.end(), [](const FoundBoard& a, const FoundBoard& b) {
        return a.row.mac_address < b.row.mac_address;
    });
    if (first && quint64(first->ip.toIPv4Address()) + boards.size() > 0x100000000ULL) {
        return refuse(io, say(T::kSiteIpFromOverflow).arg(boards.size()).arg(ip_from));
    }

    // What each board would be given: its changeable, enabled settings with a value.
    using Values = std::vector<std::pair<std::string, std::string>>;
    std::vector<Values> values;
    for (std::size_t i = 0; i < boards.size(); ++i) {
        Values v;
        for (const settings::Field& f : settings::fields_of(boards[i].row)) {
            if (!f.settable() || !f.enabled) continue;
            if (f.kind == settings::FieldKind::Choice && f.value.empty()) continue;
            v.emplace_back(f.name, f.value);
        }
        if (first) {
            const QHostAddress ip(first->ip.toIPv4Address() + quint32(i));
            const auto has = [&](std::string_view name) {
                return std::any_of(v.begin(), v.end(),
                                   [&](const auto& p) { return p.first == name; });
            };
            // An address of its own is a static address.
            if (!has("local_ip")) {
                std::erase_if(v, [](const auto& p) { return p.first == "ip_mode"; });
                v.emplace_back("ip_mode", std::string(T::kIpModeStatic));
                v.emplace_back("local_ip", ip.toString().toStdString());
            } else {
                for (auto& p : v) {
                    if (p.first == "local_ip") p.second = ip.toString().toStdString();
                }
            }
        }
        values.push_back(std::move(v));
    }
    fleet::SiteFile site;
    std::map<std::string, std::vector<std::size_t>> by_model;
    for (std::size_t i = 0; i < boards.size(); ++i)
        by_model[settings::model_label(boards[i].row)].push_back(i);
    std::map<std::string, std::map<std::string, std::string>> shared;
    for (const auto& [model, members] : by_model) {
        std::vector<fleet::SiteSetting> defaults;
        for (const auto& entry : values[members.front()]) {
            const std::string& name = entry.first;
            const std::string& value = entry.second;
            if (name == "local_ip") continue;
            const bool all_same = std::all_of(members.begin(), members.end(), [&](std::size_t m) {
                return std::any_of(values[m].begin(), values[m].end(), [&](const auto& p) {
                    return p.first == name && p.second == value;
                });
            });
            if (all_same && members.size() > 1) {
                defaults.push_back({name, value, {}});
                shared[model][name] = value;
            }
        }
        site.defaults.emplace_back(model, std::move(defaults));
    }
    for (std::size_t i = 0; i < boards.size(); ++i) {
        fleet::SiteBoard b;
        b.mac = boards[i].row.mac_address;
        b.model = settings::model_label(boards[i].row);
        const auto& common = shared[b.model];
        for (const auto& [name, value] : values[i]) {
            if (!common.count(name)) b.settings.push_back({name, value, {}});
        }
        site.boards.push_back(std::move(b));
    }
    if (json) {
        io.out << QString::fromStdString(fleet::write_site_json(site));
    } else {
        io.out << QString::fromStdString(fleet::write_site_yaml(site));
    }
    return fleet::kExitOk;
}

}  // namespace quorin::cli
