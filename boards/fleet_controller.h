// What the Boards window does, without widgets: it searches on every interface through the
// engine quorinctl uses, keeps the table of every board that answered, previews and runs applies
// (with the journal, and the roll back of the last one) and firmware rollouts on the selected
// boards, and says what changed. Every run returns at once and reports from the event loop; the
// window shows the table and asks the operator.
#pragma once

#include <QObject>
#include <QString>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "cli/board_engine.h"
#include "cli/commands.h"
#include "cli/interrupt_watch.h"
#include "cli/upload_image.h"
#include "fleet/board_table.h"
#include "fleet/site_file.h"
#include "fleet/site_run.h"

namespace quorin::cli {
class SetRunDriver;
class UploadRun;
}  // namespace quorin::cli

namespace quorin::boards {

using fleet::Mac;

// What an apply (or a roll back) is to do, board by board, before it does anything.
struct ApplyPlan {
    struct Board {
        cli::FoundBoard board;
        fleet::BoardTarget target;  // target.changes empty: nothing to change
        QString refusal;            // set: this board is left alone, and why
    };
    QString command;  // "apply" or "rollback"
    QString source;   // the file the settings came from
    QString error;    // set: the file is refused as a whole
    std::vector<Board> boards;
    // Boards that would be written to.
    std::size_t changing() const;
};

// What a firmware rollout is to do, board by board.
struct UpgradePlan {
    struct Board {
        cli::FoundBoard board;
        fleet::ManifestVerdict verdict;  // Upload, Skip (already current) or Refuse
    };
    QString image;
    QString error;  // set: the image or its manifest cannot be used
    std::optional<cli::CheckedImage> checked;
    std::optional<fleet::Manifest> manifest;
    std::vector<Board> boards;
    std::size_t upgrading() const;
};

struct UpgradeChoice {
    int jobs = cli::kDefaultUploadJobs;
    int canary = 0;
    int max_failures = 0;        // 0: no limit
    int verify_timeout_s = 120;  // how long an upgraded board has to come back as it should
};

class FleetController : public QObject {
    Q_OBJECT
  public:
    enum class Run { None, Searching, Applying, Upgrading };

    // `options`: where the engine looks and how long it waits (the defaults: every interface).
    explicit FleetController(cli::CommonOptions options, QObject* parent = nullptr);
    ~FleetController() override;

    // Opens the engine's sockets; false with `error` set when they cannot be opened.
    bool open(QString* error);

    fleet::BoardTable& table() { return table_; }
    const fleet::BoardTable& table() const { return table_; }
    // The board as the last search found it.
    const cli::FoundBoard* found(const Mac& mac) const;

    Run running() const { return run_; }
    bool busy() const { return run_ != Run::None; }
    // Whether Stop has been asked of the run that runs.
    bool stopping() const { return stopping_; }

    // A legacy datagram the main window's socket read (see BoardEngine::take_legacy).
    void take_legacy(std::span<const std::uint8_t> datagram) {
        if (engine_) engine_->take_legacy(datagram);
    }

    // Searches again; boardsChanged() when the table holds the boards that answered.
    void search();
    // Whether the last search was the one a run makes at its end to show what the boards now
    // hold (rather than the operator's).
    bool refreshed() const { return refreshed_; }

    // The plan for the selected boards from a profile (export's form) or a site file.
    ApplyPlan plan_apply(const QString& path) const;
    // The plan that puts the boards of the last apply back as its journal recorded them.
    bool can_roll_back() const { return last_journal_.has_value(); }
    ApplyPlan plan_rollback() const;
    // Writes the journal, then the changes; false (with `error`) when the journal could not
    // be written, and nothing is sent.
    bool apply(const ApplyPlan& plan, QString* error);
    // Where the journal of the last run that wrote one is.
    const QString& journal_path() const { return journal_path_; }

    UpgradePlan plan_upgrade(const QString& image) const;
    void upgrade(const UpgradePlan& plan, const UpgradeChoice& choice);
    // Boards whose transfer a second stop cut off after bytes had left (they need attention).
    const std::vector<Mac>& cut_off() const { return cut_off_; }

    // As the command line's first signal: no new board starts; running transfers finish, are
    // verified; outstanding set replies are awaited and read back.
    void stop();

    // The rows shown, as CSV or as JSON ({"format_version": 1, "boards": [...]}).
    QString export_text(bool json) const;

  signals:
    void boardsChanged();                // a search ended: the rows are new
    void statusChanged(const Mac& mac);  // a board's status moved on
    void runChanged();                   // a run started or ended, or Stop was asked
    void said(const QString& text);      // what the window's status line says

  private:
    void setRun(Run run);
    void startSearch(bool refresh);
    void applyEnded(std::shared_ptr<fleet::SetRun> run, std::vector<Mac> macs, bool rollback);
    void uploadChanged(std::size_t board);
    void upgradeEnded();

    cli::CommonOptions options_;
    std::unique_ptr<cli::BoardEngine> engine_;
    fleet::BoardTable table_;
    std::map<Mac, cli::FoundBoard> found_;
    Run run_ = Run::None;
    bool stopping_ = false;
    bool refreshed_ = false;
    std::unique_ptr<cli::InterruptWatch> watch_;
    std::unique_ptr<cli::SetRunDriver> set_driver_;
    std::unique_ptr<cli::UploadRun> upload_run_;
    std::optional<cli::CheckedImage> upload_image_;
    std::optional<fleet::Journal> last_journal_;
    QString journal_path_;
    std::vector<Mac> cut_off_;
};

}  // namespace quorin::boards
