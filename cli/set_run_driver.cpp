#include "cli/set_run_driver.h"

#include <QEventLoop>
#include <algorithm>

#include "cli/command_support.h"
#include "protocol/config_core.h"

namespace quorin::cli {

SetRunDriver::SetRunDriver(BoardEngine& engine, int wait_ms, fleet::SetRun& run,
                           std::vector<FoundBoard> boards, InterruptWatch& watch)
    : engine_(engine), wait_ms_(wait_ms), run_(run), boards_(std::move(boards)), watch_(watch) {
    for (std::size_t i = 0; i < boards_.size(); ++i) {
        auto core = std::make_unique<ConfigCore>(1);  // this board alone
        core->reset();
        core->host_tag = engine.host_tag();
        core->list_board(boards_[i].row);
        cores_.push_back(std::move(core));
        timers_.push_back(std::make_unique<QTimer>());
        timers_.back()->setSingleShot(true);
        by_mac_.emplace(boards_[i].row.mac_address, i);
    }
}

SetRunDriver::~SetRunDriver() {
    if (running_) {
        if (reading_back_) engine_.cancel_search();
        watch_.on_signal({});
        engine_.route_by_board({});
    }
}

void SetRunDriver::start(std::function<void()> finished, std::function<void(int)> signalled) {
    finished_ = std::move(finished);
    running_ = true;
    watch_.on_signal([this, signalled = std::move(signalled)](int count) {
        if (signalled) signalled(count);
        carryOut(run_.interrupt());
    });
    route();
    QTimer::singleShot(0, &context_, [this] {
        carryOut(watch_.count() > 0 ? run_.interrupt() : std::vector<Step>{});
        if (!run_.finished()) carryOut(run_.start());
    });
}

void SetRunDriver::route() {
    engine_.route_by_board({[this](const BoardEngine::Mac& mac, std::uint8_t tag,
                                   std::span<const std::uint8_t> datagram) {
        const auto it = by_mac_.find(mac);
        if (it == by_mac_.end()) return;
        const std::size_t i = it->second;
        for (const Action& a : cores_[i]->handle_datagram(tag, datagram)) {
            if (a.kind != Action::SetApplied) continue;
            timers_[i]->stop();
            cores_[i]->end_exchange();
            carryOut(run_.set_replied(i));
        }
    }});
}

void SetRunDriver::readBack(const std::vector<std::size_t>& awaited) {
    engine_.route_by_board({});
    reading_back_ = true;
    const auto enough = [this, awaited](const std::vector<FoundBoard>& found) {
        std::size_t seen = 0;
        for (const FoundBoard& f : found) {
            const auto it = by_mac_.find(f.row.mac_address);
            if (it == by_mac_.end()) continue;
            seen += std::count(awaited.begin(), awaited.end(), it->second) > 0 ? 1 : 0;
        }
        return seen == awaited.size();
    };
    engine_.start_search(wait_ms_, enough, [this](const SearchResult& r) {
        reading_back_ = false;
        std::vector<std::optional<BoardRow>> rows(boards_.size());
        for (const FoundBoard& f : r.boards) {
            if (const auto it = by_mac_.find(f.row.mac_address); it != by_mac_.end())
                rows[it->second] = f.row;
        }
        route();
        carryOut(run_.read_back(rows));
    });
}

void SetRunDriver::carryOut(std::vector<Step> steps) {
    for (Step& step : steps) {
        switch (step.kind) {
            case Step::SendSet: {
                const std::size_t i = step.board;
                ConfigCore& core = *cores_[i];
                core.working = as_request(run_.planned(i));
                const bool ok =
                    engine_.send_datagrams(boards_[i], core.send_data(OPCODE_SET_REQUEST));
                QObject::disconnect(timers_[i].get(), nullptr, nullptr, nullptr);
                QObject::connect(timers_[i].get(), &QTimer::timeout, [this, i] {
                    cores_[i]->end_exchange();
                    carryOut(run_.set_timed_out(i));
                });
                // A request the system refused is as good as unanswered: no wait for it.
                timers_[i]->start(ok ? wait_ms_ : 0);
                break;
            }
            case Step::ReadBack:
                // Searched from the loop, not from inside the reply that ended the sets.
                QTimer::singleShot(0, &context_,
                                   [this, awaited = step.boards] { readBack(awaited); });
                break;
            case Step::Finished:
                QTimer::singleShot(0, &context_, [this] {
                    if (!running_) return;
                    running_ = false;
                    watch_.on_signal({});
                    engine_.route_by_board({});
                    if (finished_) finished_();
                });
                break;
        }
    }
}

void drive_set_run(BoardEngine& engine, const CommonOptions& o, fleet::SetRun& run,
                   const std::vector<FoundBoard>& boards, InterruptWatch& watch,
                   const std::function<void(int)>& signalled) {
    QEventLoop loop;
    SetRunDriver driver(engine, o.wait_ms, run, boards, watch);
    driver.start([&loop] { loop.quit(); }, signalled);
    loop.exec();
}

}  // namespace quorin::cli
