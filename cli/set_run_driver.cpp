#include "cli/set_run_driver.h"

#include <QEventLoop>
#include <QTimer>
#include <map>
#include <memory>

#include "cli/command_support.h"
#include "protocol/config_core.h"

namespace quorin::cli {

void drive_set_run(BoardEngine& engine, const CommonOptions& o, fleet::SetRun& run,
                   const std::vector<FoundBoard>& boards, InterruptWatch& watch,
                   const std::function<void(int)>& signalled) {
    using Step = fleet::SetRun::Step;
    QEventLoop loop;
    std::vector<std::unique_ptr<ConfigCore>> cores;
    std::vector<std::unique_ptr<QTimer>> timers;
    std::map<BoardEngine::Mac, std::size_t> by_mac;
    for (std::size_t i = 0; i < boards.size(); ++i) {
        auto core = std::make_unique<ConfigCore>(1);  // this board alone
        core->reset();
        core->host_tag = engine.host_tag();
        core->list_board(boards[i].row);
        cores.push_back(std::move(core));
        timers.push_back(std::make_unique<QTimer>());
        timers.back()->setSingleShot(true);
        by_mac.emplace(boards[i].row.mac_address, i);
    }

    std::function<void(std::vector<Step>)> carry_out;
    const auto route = [&] {
        engine.route_by_board({[&](const BoardEngine::Mac& mac, std::uint8_t tag,
                                   std::span<const std::uint8_t> datagram) {
            const auto it = by_mac.find(mac);
            if (it == by_mac.end()) return;
            const std::size_t i = it->second;
            for (const Action& a : cores[i]->handle_datagram(tag, datagram)) {
                if (a.kind != Action::SetApplied) continue;
                timers[i]->stop();
                cores[i]->end_exchange();
                carry_out(run.set_replied(i));
            }
        }});
    };
    const auto read_back = [&](const std::vector<std::size_t>& awaited) {
        engine.route_by_board({});
        const SearchResult r = engine.search(o.wait_ms, [&](const std::vector<FoundBoard>& found) {
            std::size_t seen = 0;
            for (const FoundBoard& f : found) {
                const auto it = by_mac.find(f.row.mac_address);
                if (it == by_mac.end()) continue;
                seen += std::count(awaited.begin(), awaited.end(), it->second) > 0 ? 1 : 0;
            }
            return seen == awaited.size();
        });
        std::vector<std::optional<BoardRow>> rows(boards.size());
        for (const FoundBoard& f : r.boards) {
            if (const auto it = by_mac.find(f.row.mac_address); it != by_mac.end())
                rows[it->second] = f.row;
        }
        route();
        carry_out(run.read_back(rows));
    };
    carry_out = [&](std::vector<Step> steps) {
        for (Step& step : steps) {
            switch (step.kind) {
                case Step::SendSet: {
                    const std::size_t i = step.board;
                    ConfigCore& core = *cores[i];
                    core.working = as_request(run.planned(i));
                    const bool ok =
                        engine.send_datagrams(boards[i], core.send_data(OPCODE_SET_REQUEST));
                    QObject::disconnect(timers[i].get(), nullptr, nullptr, nullptr);
                    QObject::connect(timers[i].get(), &QTimer::timeout, [&, i] {
                        cores[i]->end_exchange();
                        carry_out(run.set_timed_out(i));
                    });
                    // A request the system refused is as good as unanswered: no wait for it.
                    timers[i]->start(ok ? o.wait_ms : 0);
                    break;
                }
                case Step::ReadBack:
                    // Searched from the loop, not from inside the reply that ended the sets.
                    QTimer::singleShot(0, &loop,
                                       [&, awaited = step.boards] { read_back(awaited); });
                    break;
                case Step::Finished:
                    QTimer::singleShot(0, &loop, &QEventLoop::quit);
                    break;
            }
        }
    };

    watch.on_signal([&](int count) {
        if (signalled) signalled(count);
        carry_out(run.interrupt());
    });
    route();
    QTimer::singleShot(0, &loop, [&] {
        carry_out(watch.count() > 0 ? run.interrupt() : std::vector<Step>{});
        if (!run.finished()) carry_out(run.start());
    });
    loop.exec();
    watch.on_signal({});
    engine.route_by_board({});
}

}  // namespace quorin::cli
