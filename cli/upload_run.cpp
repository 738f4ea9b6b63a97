#include "cli/upload_run.h"

#include <QEventLoop>

#include "cli/command_support.h"
#include "cli/upload_view.h"
#include "res/cli_texts.h"

namespace quorin::cli {
namespace {

namespace T = text::cli;

// How often the rollout is told the time: its searches and time limits are whole seconds.
constexpr int kTickMs = 100;

std::vector<BoardRow> rows_of(const std::vector<FoundBoard>& boards) {
    std::vector<BoardRow> rows;
    rows.reserve(boards.size());
    for (const FoundBoard& b : boards) rows.push_back(b.row);
    return rows;
}

}  // namespace

UploadRun::UploadRun(BoardEngine& engine, std::vector<FoundBoard> boards,
                     BoardUpload::Target target, fleet::RolloutOptions options)
    : engine_(engine), options_(std::move(options)), rollout_(rows_of(boards), options_) {
    for (std::size_t i = 0; i < boards.size(); ++i) {
        timers_.push_back(std::make_unique<platform::QtWindowTimers>());
        uploads_.push_back(std::make_unique<BoardUpload>(engine, boards[i], target, *timers_[i]));
        by_mac_.emplace(boards[i].row.mac_address, i);
    }
    reported_.assign(uploads_.size(), false);
    cut_off_.assign(uploads_.size(), false);
    searcher_.reset();
    searcher_.host_tag = engine.host_tag();
    tick_.setInterval(kTickMs);
    QObject::connect(&tick_, &QTimer::timeout,
                     [this] { carryOut(rollout_.tick(clock_.elapsed())); });
}

UploadRun::~UploadRun() {
    if (running()) stop();
}

void UploadRun::run(InterruptWatch& watch, Output io, bool progress, bool terminal, int columns) {
    QEventLoop loop;
    if (progress) view_ = std::make_unique<UploadView>(io.out, *this, terminal, columns);
    start(watch, {[this](std::size_t board) {
                      if (view_) view_->changed(board);
                  },
                  [io](int count, int running) {
                      io.err << "quorinctl: "
                             << (count == 1 ? qs(T::kUploadFirstSignal).arg(running)
                                            : qs(T::kUploadSecondSignal))
                             << '\n';
                      io.err.flush();
                  },
                  [&loop] { loop.quit(); }});
    loop.exec();
    if (view_) view_->finish();

    QStringList cut;
    for (std::size_t i = 0; i < uploads_.size(); ++i) {
        if (cut_off_[i]) cut << mac_of(uploads_[i]->board().row);
    }
    if (!cut.isEmpty()) {
        io.err << "quorinctl: " << qs(T::kUploadNeedsAttention).arg(cut.size()).arg(cut.join(", "))
               << '\n';
    }
}

void UploadRun::start(InterruptWatch& watch, Observers observers) {
    observers_ = std::move(observers);
    watch_ = &watch;
    for (std::size_t i = 0; i < uploads_.size(); ++i)
        uploads_[i]->setObserver([this, i] { uploadChanged(i); });
    engine_.route_by_board({[this](const BoardEngine::Mac& mac, std::uint8_t tag,
                                   std::span<const std::uint8_t> datagram) {
        if (const auto it = by_mac_.find(mac);
            it != by_mac_.end() && rollout_.uploading(it->second))
            uploads_[it->second]->receive(tag, datagram);
        answered(tag, datagram);
    }});
    watch.on_signal([this](int count) { signalled(count); });
    clock_.start();
    tick_.start();
    QTimer::singleShot(0, &context_, [this] {
        // Signals that came before the loop ran count as well.
        for (int n = 1; watch_ != nullptr && n <= watch_->count(); ++n) signalled(n);
        if (!rollout_.finished()) carryOut(rollout_.start());
    });
}

void UploadRun::stop() {
    tick_.stop();
    if (watch_ != nullptr) watch_->on_signal({});
    watch_ = nullptr;
    engine_.route_by_board({});
    for (auto& u : uploads_) u->setObserver({});
}

void UploadRun::carryOut(const fleet::Rollout::Steps& steps) {
    using Step = fleet::Rollout::Step;
    for (const Step& step : steps) {
        const std::size_t i = step.board;
        switch (step.kind) {
            case Step::StartUpload:
                uploads_[i]->start();
                break;
            case Step::AbortUpload:
                cut_off_[i] = uploads_[i]->mid_transfer();
                reported_[i] = true;
                uploads_[i]->abort();
                break;
            case Step::Search:
                engine_.broadcast(searcher_.send_data(OPCODE_SEARCH_REQUEST));
                break;
            case Step::BoardEnded:
                if (observers_.changed) observers_.changed(i);
                break;
            case Step::Finished:
                QTimer::singleShot(0, &context_, [this] {
                    if (!running()) return;
                    stop();
                    if (observers_.finished) observers_.finished();
                });
                break;
        }
    }
}

void UploadRun::uploadChanged(std::size_t board) {
    if (observers_.changed) observers_.changed(board);
    if (!uploads_[board]->ended() || reported_[board]) return;
    reported_[board] = true;
    // Told from the loop, never from inside the upload's own report: the next upload may start.
    QTimer::singleShot(0, &context_, [this, board] {
        const bool done = uploads_[board]->phase() == BoardUpload::Phase::Done;
        carryOut(rollout_.upload_ended(board, done, clock_.elapsed()));
    });
}

void UploadRun::answered(std::uint8_t tag, std::span<const std::uint8_t> datagram) {
    for (const Action& a : searcher_.handle_datagram(tag, datagram)) {
        if (a.kind != Action::AppendBoardEntry) continue;
        const BoardRow& row = searcher_.board(searcher_.board_count() - 1);
        carryOut(rollout_.board_answered(row, clock_.elapsed()));
    }
}

void UploadRun::signalled(int count) {
    // Each signal once, whether it came before the loop ran or during it; a third changes
    // nothing.
    if (count <= signals_ || count > 2) return;
    signals_ = count;
    int running = 0;
    for (std::size_t i = 0; i < uploads_.size(); ++i) running += rollout_.uploading(i) ? 1 : 0;
    carryOut(rollout_.interrupt());
    if (observers_.signalled) observers_.signalled(count, running);
}

}  // namespace quorin::cli
