#include "boards/fleet_controller.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>
#include <QTimer>
#include <algorithm>
#include <set>

#include "cli/command_support.h"
#include "cli/set_run_driver.h"
#include "cli/state_files.h"
#include "cli/table_out.h"
#include "cli/upload_run.h"
#include "cli/upload_view.h"
#include "res/boards_texts.h"
#include "settings/field_catalogue.h"

namespace quorin::boards {
namespace {

namespace T = text::boards;
using cli::qs;

QString firmware_of(const BoardRow& row) {
    const auto f = settings::field_of(row, "firmware_version");
    return f ? qs(f->value) : QString();
}

// Whether the text is a profile (export's form: an object with "model") rather than a site file.
bool looks_like_profile(const QByteArray& text) {
    const QJsonDocument doc = QJsonDocument::fromJson(text);
    return doc.isObject() && doc.object().contains(QStringLiteral("model"));
}

}  // namespace

std::size_t ApplyPlan::changing() const {
    std::size_t n = 0;
    for (const Board& b : boards) n += b.refusal.isEmpty() && !b.target.changes.empty() ? 1 : 0;
    return n;
}

std::size_t UpgradePlan::upgrading() const {
    std::size_t n = 0;
    for (const Board& b : boards) n += b.verdict.kind == fleet::ManifestVerdict::Upload ? 1 : 0;
    return n;
}

FleetController::FleetController(cli::CommonOptions options, QObject* parent)
    : QObject(parent), options_(std::move(options)) {}

FleetController::~FleetController() = default;

bool FleetController::open(QString* error) {
    engine_ = std::make_unique<cli::BoardEngine>(options_.link);
    QString warning;  // a legacy port the main window holds: its boards answer it there
    if (engine_->open(error, &warning)) return true;
    engine_.reset();
    return false;
}

const cli::FoundBoard* FleetController::found(const Mac& mac) const {
    const auto it = found_.find(mac);
    return it == found_.end() ? nullptr : &it->second;
}

void FleetController::setRun(Run run) {
    run_ = run;
    if (run == Run::None) stopping_ = false;
    emit runChanged();
}

void FleetController::search() {
    startSearch(false);
}

void FleetController::startSearch(bool refresh) {
    if (busy() || !engine_) return;
    refreshed_ = refresh;
    setRun(Run::Searching);
    if (!refresh) emit said(qs(T::kSearching));
    // With an expected count (a benchmark's), the search ends once that many have answered.
    cli::BoardEngine::Enough enough;
    if (const auto expect = static_cast<std::size_t>(std::max(0, options_.expect)); expect > 0)
        enough = [expect](const std::vector<cli::FoundBoard>& b) { return b.size() >= expect; };
    engine_->start_search(options_.wait_ms, enough, [this](const cli::SearchResult& r) {
        found_.clear();
        std::vector<fleet::BoardListing> listings;
        listings.reserve(r.boards.size());
        for (const cli::FoundBoard& b : r.boards) {
            found_.emplace(b.row.mac_address, b);
            listings.push_back({b.row, b.interface.toStdString()});
        }
        table_.set_boards(std::move(listings));
        setRun(Run::None);
        emit boardsChanged();
    });
}

ApplyPlan FleetController::plan_apply(const QString& path) const {
    ApplyPlan plan;
    plan.command = QStringLiteral("apply");
    plan.source = path;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        plan.error = file.errorString();
        return plan;
    }
    const QByteArray text = file.readAll();
    const std::vector<Mac> selected = table_.selection();
    const auto add = [&](const Mac& mac, fleet::BoardTarget target, QString refusal) {
        plan.boards.push_back({found_.at(mac), std::move(target), std::move(refusal)});
    };
    if (looks_like_profile(text)) {
        const std::optional<cli::Profile> profile = cli::read_profile(path, &plan.error);
        if (!profile) return plan;
        for (const Mac& mac : selected) {
            const BoardRow& row = found_.at(mac).row;
            const QString model = qs(settings::model_label(row));
            if (model != profile->model) {
                add(mac, {}, qs(T::kOtherModel).arg(model, profile->model));
            } else if (profile->sets_address && selected.size() > 1) {
                add(mac, {}, qs(T::kAddressForMany));
            } else if (settings::EditResult r = settings::apply_edits(row, profile->edits);
                       !r.row) {
                add(mac, {}, qs(r.error));
            } else {
                add(mac, {r.row, fleet::differences(row, *r.row), {}}, {});
            }
        }
        return plan;
    }
    const auto site = fleet::read_site(std::string_view(text.constData(), text.size()));
    if (!site.value) {
        plan.error = qs(site.error);
        return plan;
    }
    for (const Mac& mac : selected) {
        const BoardRow& row = found_.at(mac).row;
        const fleet::SiteBoard* entry = nullptr;
        for (const fleet::SiteBoard& b : site.value->boards) {
            if (b.mac == mac) entry = &b;
        }
        const std::string model = settings::model_label(row);
        if (entry == nullptr) {
            add(mac, {}, qs(T::kNotInSiteFile));
        } else if (!entry->model.empty() && entry->model != model) {
            add(mac, {}, qs(T::kOtherModel).arg(qs(model), qs(entry->model)));
        } else {
            fleet::BoardTarget t =
                fleet::target_for(row, fleet::wanted_settings(*site.value, *entry, model));
            const bool ok = t.row.has_value();
            const QString why = ok ? QString() : qs(t.error);
            add(mac, ok ? std::move(t) : fleet::BoardTarget{}, why);
        }
    }
    return plan;
}

ApplyPlan FleetController::plan_rollback() const {
    ApplyPlan plan;
    plan.command = QStringLiteral("rollback");
    plan.source = journal_path_;
    if (!last_journal_) return plan;
    for (std::size_t i = 0; i < last_journal_->boards.size(); ++i) {
        const fleet::BoardSettings& j = last_journal_->boards[i];
        const cli::FoundBoard* f = found(j.mac);
        if (f == nullptr) {
            cli::FoundBoard missing;
            missing.row.mac_address = j.mac;
            plan.boards.push_back({missing, {}, qs(T::kNotFoundNow)});
            continue;
        }
        if (settings::model_label(f->row) != j.model) {
            plan.boards.push_back(
                {*f, {}, qs(T::kOtherModel).arg(qs(settings::model_label(f->row)), qs(j.model))});
            continue;
        }
        fleet::BoardTarget t =
            fleet::rollback_target(j, f->row, "boards[" + std::to_string(i) + "]");
        const bool ok = t.row.has_value();
        const QString why = ok ? QString() : qs(t.error);
        plan.boards.push_back({*f, ok ? std::move(t) : fleet::BoardTarget{}, why});
    }
    return plan;
}

bool FleetController::apply(const ApplyPlan& plan, QString* error) {
    if (busy() || !engine_ || !plan.error.isEmpty()) return false;
    const bool rollback = plan.command == QLatin1String("rollback");
    fleet::Journal journal;
    journal.created = cli::utc_now_iso().toStdString();
    journal.command = plan.command.toStdString();
    std::vector<fleet::SetRun::Board> run_boards;
    std::vector<cli::FoundBoard> boards;
    std::vector<Mac> macs;
    for (const ApplyPlan::Board& b : plan.boards) {
        const Mac& mac = b.board.row.mac_address;
        if (!b.refusal.isEmpty()) continue;
        if (!b.target.changes.empty()) journal.boards.push_back(fleet::settings_of(b.board.row));
        run_boards.push_back({*b.target.row, b.target.changes});
        boards.push_back(b.board);
        macs.push_back(mac);
    }
    // What the run overwrites is on the disk before the first set request leaves.
    if (!journal.boards.empty()) {
        const QString path = cli::new_journal_path();
        if (!cli::write_durably(path, fleet::write_journal_json(journal), error)) return false;
        journal_path_ = path;
        emit said(qs(T::kJournalWritten).arg(path));
        if (rollback) {
            last_journal_.reset();
        } else {
            last_journal_ = std::move(journal);
        }
    }
    // The boards left alone say why in their rows.
    for (const ApplyPlan::Board& b : plan.boards) {
        const Mac& mac = b.board.row.mac_address;
        if (b.refusal.isEmpty() || found(mac) == nullptr) continue;
        table_.set_status(mac, {fleet::BoardStatus::Failed, 0, b.refusal.toStdString()});
        emit statusChanged(mac);
    }

    auto run = std::make_shared<fleet::SetRun>(std::move(run_boards), cli::kDefaultUploadJobs);
    watch_ = std::make_unique<cli::InterruptWatch>(nullptr);
    set_driver_ =
        std::make_unique<cli::SetRunDriver>(*engine_, options_.wait_ms, *run, boards, *watch_);
    setRun(Run::Applying);
    emit said(qs(T::kApplying).arg(plan.changing()));
    set_driver_->start(
        [this, run, macs = std::move(macs), rollback] { applyEnded(run, macs, rollback); });
    return true;
}

void FleetController::applyEnded(std::shared_ptr<fleet::SetRun> run, std::vector<Mac> macs,
                                 bool rollback) {
    int changed = 0, unchanged = 0, failed = 0;
    for (std::size_t i = 0; i < run->size(); ++i) {
        const fleet::BoardResult result = run->result(i);
        changed += result == fleet::BoardResult::Verified ? 1 : 0;
        unchanged += result == fleet::BoardResult::Unchanged ? 1 : 0;
        std::string message = run->message(i);
        if (result == fleet::BoardResult::NotStarted && message.empty())
            message = std::string(fleet::result_name(result));
        table_.set_status(macs[i], fleet::status_after_apply(result, message));
        emit statusChanged(macs[i]);
    }
    failed = static_cast<int>(run->size()) - changed - unchanged;
    emit said(qs(T::kApplied)
                  .arg(rollback ? QStringLiteral("Roll back") : QStringLiteral("Apply"))
                  .arg(changed)
                  .arg(unchanged)
                  .arg(failed));
    // Ended from the driver's own report: it goes from the loop.
    QTimer::singleShot(0, this, [this] {
        set_driver_.reset();
        watch_.reset();
        setRun(Run::None);
        // The table shows what the boards now hold (a changed address, say); statuses stay.
        startSearch(true);
    });
}

UpgradePlan FleetController::plan_upgrade(const QString& image) const {
    UpgradePlan plan;
    plan.image = image;
    plan.checked = cli::read_checked_image(image, &plan.error);
    if (!plan.checked) return plan;
    cli::ImageManifest m = cli::image_manifest_for(image, plan.checked->sha256, {});
    if (!m.error.isEmpty()) {
        plan.error = m.error;
        return plan;
    }
    plan.manifest = std::move(m.manifest);
    for (const Mac& mac : table_.selection()) {
        const cli::FoundBoard& b = found_.at(mac);
        fleet::ManifestVerdict v;
        if (plan.manifest) {
            v = fleet::judge_board(*plan.manifest, settings::model_label(b.row),
                                   firmware_of(b.row).toStdString(), {});
        }
        plan.boards.push_back({b, v});
    }
    return plan;
}

void FleetController::upgrade(const UpgradePlan& plan, const UpgradeChoice& choice) {
    if (busy() || !engine_ || !plan.checked || plan.upgrading() == 0) return;
    std::vector<cli::FoundBoard> boards;
    for (const UpgradePlan::Board& b : plan.boards) {
        if (b.verdict.kind == fleet::ManifestVerdict::Upload) boards.push_back(b.board);
    }
    fleet::RolloutOptions options;
    options.jobs = choice.jobs;
    options.canary = choice.canary;
    options.max_failures = choice.max_failures;
    options.verify_timeout_ms = std::int64_t{choice.verify_timeout_s} * 1000;
    if (plan.manifest) options.version = plan.manifest->version;
    upload_image_ = plan.checked;
    cli::BoardUpload::Target target{options_.upload_port, options_.stream_port, plan.image,
                                    plan.checked->bytes};
    upload_run_ = std::make_unique<cli::UploadRun>(*engine_, boards, target, options);
    watch_ = std::make_unique<cli::InterruptWatch>(nullptr);
    cut_off_.clear();
    setRun(Run::Upgrading);
    emit said(qs(T::kUpgrading).arg(boards.size()));
    upload_run_->start(*watch_, {[this](std::size_t board) { uploadChanged(board); },
                                 [this](int count, int running) {
                                     if (count == 1) emit said(qs(T::kStopping).arg(running));
                                 },
                                 [this] { upgradeEnded(); }});
}

void FleetController::uploadChanged(std::size_t board) {
    const cli::UploadRun& run = *upload_run_;
    const Mac& mac = run.upload(board).board().row.mac_address;
    const fleet::RolloutResult result = run.rollout().result(board);
    std::optional<fleet::BoardStatus> status;
    if (result == fleet::RolloutResult::Pending) {
        if (!run.rollout().uploading(board) && !run.rollout().verifying(board)) return;
        status =
            fleet::BoardStatus{fleet::BoardStatus::Upgrading, cli::board_percent(run, board), {}};
    } else {
        status =
            fleet::status_after_rollout(result, cli::board_status(run, board, false).toStdString());
    }
    if (!status || table_.status_of(mac) == *status) return;
    table_.set_status(mac, *status);
    emit statusChanged(mac);
}

void FleetController::upgradeEnded() {
    const cli::UploadRun& run = *upload_run_;
    const fleet::Rollout& rollout = run.rollout();
    std::vector<fleet::HistoryEntry> history;
    const fleet::HistoryEntry base = cli::history_base(*upload_image_);
    int verified = 0, failed = 0, not_started = 0;
    QStringList cut;
    for (std::size_t i = 0; i < run.size(); ++i) {
        uploadChanged(i);
        const fleet::RolloutResult result = rollout.result(i);
        verified += result == fleet::RolloutResult::Verified ? 1 : 0;
        not_started += result == fleet::RolloutResult::NotStarted ? 1 : 0;
        if (run.cut_off(i)) {
            cut_off_.push_back(run.upload(i).board().row.mac_address);
            cut << cli::mac_of(run.upload(i).board().row);
        }
        if (result == fleet::RolloutResult::NotStarted) continue;
        fleet::HistoryEntry e =
            cli::history_of(base, run.upload(i).board(), fleet::rollout_result_name(result),
                            cli::board_status(run, i, false));
        e.firmware_after = rollout.firmware_after(i);
        history.push_back(std::move(e));
    }
    failed = static_cast<int>(run.size()) - verified - not_started;
    emit said(qs(T::kUpgraded).arg(verified).arg(failed).arg(not_started));
    if (!cut.isEmpty()) emit said(qs(T::kNeedsAttention).arg(cut.size()).arg(cut.join(", ")));
    QString error;
    if (!cli::append_history(history, &error)) emit said(qs(T::kHistoryNotWritten).arg(error));
    QTimer::singleShot(0, this, [this] {
        upload_run_.reset();
        watch_.reset();
        upload_image_.reset();
        setRun(Run::None);
    });
}

void FleetController::stop() {
    if (!watch_ || stopping_) return;
    stopping_ = true;
    emit runChanged();
    watch_->interrupt();
}

QString FleetController::export_text(bool json) const {
    using fleet::BoardColumn;
    constexpr BoardColumn kColumns[] = {
        BoardColumn::Mac,    BoardColumn::Model,     BoardColumn::Ip,
        BoardColumn::Mask,   BoardColumn::Gateway,   BoardColumn::Firmware,
        BoardColumn::IpMode, BoardColumn::Interface, BoardColumn::Status};
    constexpr const char* kNames[] = {"mac",      "model",   "local_ip",  "subnet_mask", "gateway",
                                      "firmware", "ip_mode", "interface", "status"};
    if (json) {
        QJsonArray boards;
        for (std::size_t r = 0; r < table_.rows(); ++r) {
            QJsonObject board;
            for (std::size_t c = 0; c < std::size(kColumns); ++c)
                board.insert(QLatin1String(kNames[c]), qs(table_.cell(r, kColumns[c])));
            boards.append(board);
        }
        QJsonObject root;
        root.insert(QStringLiteral("format_version"), 1);
        root.insert(QStringLiteral("boards"), boards);
        return QString::fromUtf8(QJsonDocument(root).toJson(QJsonDocument::Indented));
    }
    std::vector<QStringList> rows;
    QStringList heading;
    for (const char* name : kNames) heading << QLatin1String(name);
    rows.push_back(heading);
    for (std::size_t r = 0; r < table_.rows(); ++r) {
        QStringList cells;
        for (BoardColumn c : kColumns) cells << qs(table_.cell(r, c));
        rows.push_back(cells);
    }
    QString text;
    QTextStream out(&text);
    cli::print_csv(out, rows);
    out.flush();
    return text;
}

}  // namespace quorin::boards
