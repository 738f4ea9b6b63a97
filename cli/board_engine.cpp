#include "cli/board_engine.h"

#include <QEventLoop>
#include <QNetworkInterface>
#include <QTimer>
#include <algorithm>
#include <optional>

#include "protocol/host_tag.h"

namespace quorin::cli {

BoardEngine::BoardEngine(LinkOptions options) : link_(std::move(options)) {
    link_.setReceiver([this](const Received& r) { receive(r); });
    search_timer_.setSingleShot(true);
    QObject::connect(&search_timer_, &QTimer::timeout, [this] { finish_search(); });
}

bool BoardEngine::open(QString* error, QString* warning) {
    if (!link_.open(error, warning)) return false;
    core_.host_tag = compute_host_tag();
    core_.reset();
    return true;
}

QString BoardEngine::interface_label(int index) const {
    if (index > 0) {
        // Asked of the system once per interface, not once per reply.
        auto it = interface_names_.find(index);
        if (it == interface_names_.end()) {
            it = interface_names_.emplace(index, QNetworkInterface::interfaceNameFromIndex(index))
                     .first;
        }
        if (!it->second.isEmpty()) return it->second;
    }
    const auto& d = link_.destinations();
    return d.size() == 1 ? d.front().label : QStringLiteral("?");
}

void BoardEngine::receive(const Received& datagram) {
    core_.push_tag(datagram.tag);
    const std::uint8_t tag = core_.take_tag();
    if (tag == 0) return;
    if (router_.deliver) {
        if (const std::optional<Mac> mac = datagram_mac(tag, datagram.bytes))
            router_.deliver(*mac, tag, datagram.bytes);
        return;
    }
    const std::vector<Action> actions = core_.handle_datagram(tag, datagram.bytes);
    if (searching_ != nullptr) {
        // A search sent to one given address counts its replies under that address.
        const auto& to = link_.destinations();
        const bool one_address = to.size() == 1 && to.front().interface_index == 0;
        ++searching_
              ->replies[one_address ? to.front().label : interface_label(datagram.interface_index)];
        for (const Action& a : actions) {
            if (a.kind == Action::AppendBoardEntry) {
                row_interface_.resize(static_cast<std::size_t>(core_.board_count()));
                row_interface_.back() = {interface_label(datagram.interface_index),
                                         datagram.interface_index};
            } else if (a.is_message() || a.kind == Action::TableFull) {
                const QString note = QString::fromStdString(a.text);
                auto& notes = searching_->notes;
                if (std::find(notes.begin(), notes.end(), note) == notes.end()) {
                    notes.push_back(note);
                }
            }
        }
    }
    if (on_actions_) on_actions_(actions, datagram);
}

void BoardEngine::take_legacy(std::span<const std::uint8_t> datagram) {
    Received r;
    r.tag = kLegacySocketTag;
    r.bytes.assign(datagram.begin(), datagram.end());
    receive(r);
}

SearchResult BoardEngine::search(int wait_ms, const Enough& enough) {
    QEventLoop loop;
    std::optional<SearchResult> result;
    start_search(wait_ms, enough, [&](SearchResult r) {
        result = std::move(r);
        loop.quit();
    });
    if (!result) loop.exec();
    return std::move(*result);
}

void BoardEngine::start_search(int wait_ms, Enough enough, std::function<void(SearchResult)> done) {
    if (pending_) finish_search();
    pending_ = std::make_unique<PendingSearch>();
    pending_->enough = std::move(enough);
    pending_->done = std::move(done);
    row_interface_.clear();
    const std::vector<OutgoingDatagram> requests = core_.send_data(OPCODE_SEARCH_REQUEST);

    searching_ = &pending_->result;
    on_actions_ = [this](const std::vector<Action>&, const Received&) {
        PendingSearch& p = *pending_;
        if (core_.board_count() == p.seen) return;
        for (; p.seen < core_.board_count(); ++p.seen) {
            const auto& where = row_interface_[static_cast<std::size_t>(p.seen)];
            p.result.boards.push_back({core_.board(p.seen), where.first, where.second});
        }
        // Ended from the loop: the caller may start the next exchange from `done`.
        if (p.enough && p.enough(p.result.boards)) search_timer_.start(0);
    };
    pending_->result.failed_sends = broadcast(requests);
    const bool enough_now = pending_->enough && pending_->enough(pending_->result.boards);
    search_timer_.start(enough_now ? 0 : wait_ms);
}

void BoardEngine::cancel_search() {
    if (pending_) pending_->done = {};
    finish_search();
}

void BoardEngine::finish_search() {
    search_timer_.stop();
    const std::unique_ptr<PendingSearch> p = std::move(pending_);
    if (!p) return;
    searching_ = nullptr;
    on_actions_ = {};
    core_.end_exchange();

    // The rows as they stand at the end (a board may have answered twice).
    for (int i = 0; i < static_cast<int>(p->result.boards.size()); ++i) {
        p->result.boards[static_cast<std::size_t>(i)].row = core_.board(i);
    }
    if (p->done) p->done(std::move(p->result));
}

std::vector<QString> BoardEngine::broadcast(const std::vector<OutgoingDatagram>& datagrams) {
    std::vector<QString> refused;
    for (const Destination& to : link_.destinations()) {
        for (const OutgoingDatagram& d : datagrams) {
            if (!link_.send(d.tag, d.bytes, to)) refused.push_back(to.label);
        }
    }
    return refused;
}

Destination BoardEngine::destination_for(const FoundBoard& board) const {
    const LinkOptions& o = link_.options();
    if (!o.broadcast.isNull()) return link_.destinations().front();
    return {QHostAddress(QHostAddress::Broadcast), board.interface_index, board.interface};
}

bool BoardEngine::set(const FoundBoard& board, const BoardRow& settings, int wait_ms) {
    core_.working = settings;
    const std::vector<OutgoingDatagram> requests = core_.send_data(OPCODE_SET_REQUEST);

    QEventLoop loop;
    bool applied = false;
    on_actions_ = [&](const std::vector<Action>& actions, const Received&) {
        for (const Action& a : actions) {
            if (!applied && a.kind == Action::SetApplied) {
                applied = true;
                loop.quit();
            }
        }
    };
    if (send_datagrams(board, requests)) {
        QTimer::singleShot(wait_ms, &loop, &QEventLoop::quit);
        loop.exec();
    }
    on_actions_ = {};
    core_.end_exchange();
    return applied;
}

bool BoardEngine::send_datagrams(const FoundBoard& board,
                                 const std::vector<OutgoingDatagram>& datagrams) {
    bool sent = !datagrams.empty();
    for (const OutgoingDatagram& d : datagrams) {
        sent = link_.send(d.tag, d.bytes, destination_for(board)) && sent;
    }
    return sent;
}

}  // namespace quorin::cli
