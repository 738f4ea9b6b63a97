#include "fleet/board_table.h"

#include <algorithm>
#include <map>

#include "res/fleet_texts.h"
#include "settings/field_catalogue.h"

namespace quorin::fleet {
namespace {

namespace msg = text::fleet;

std::string lower(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
}

std::string field_text(const BoardRow& row, const char* name) {
    const auto f = settings::field_of(row, name);
    return f ? f->value : std::string();
}

}  // namespace

std::string status_text(const BoardStatus& status) {
    switch (status.kind) {
        case BoardStatus::Found:
            return std::string(msg::kStatusFound);
        case BoardStatus::Changed:
            return std::string(msg::kStatusChanged);
        case BoardStatus::Upgrading:
            return settings::fill(msg::kStatusUpgrading, {std::to_string(status.percent)});
        case BoardStatus::Verified:
            return std::string(msg::kStatusVerified);
        case BoardStatus::Failed:
            return settings::fill(msg::kStatusFailed, {status.reason});
    }
    return {};
}

BoardStatus status_after_apply(BoardResult result, const std::string& message) {
    switch (result) {
        case BoardResult::Unchanged:
            return {BoardStatus::Found, 0, {}};
        case BoardResult::Verified:
            return {BoardStatus::Changed, 0, {}};
        case BoardResult::Failed:
        case BoardResult::NotReached:
        case BoardResult::NotStarted:
            break;
    }
    return {BoardStatus::Failed, 0, message.empty() ? std::string(result_name(result)) : message};
}

std::optional<BoardStatus> status_after_rollout(RolloutResult result, const std::string& reason) {
    switch (result) {
        case RolloutResult::Pending:
        case RolloutResult::NotStarted:
            return std::nullopt;
        case RolloutResult::Verified:
            return BoardStatus{BoardStatus::Verified, 100, {}};
        case RolloutResult::OtherFirmware:
        case RolloutResult::SettingsChanged:
        case RolloutResult::NotBack:
        case RolloutResult::Failed:
        case RolloutResult::Interrupted:
        case RolloutResult::Unverified:
            break;
    }
    return BoardStatus{BoardStatus::Failed, 0,
                       reason.empty() ? std::string(rollout_result_name(result)) : reason};
}

void BoardTable::set_boards(std::vector<BoardListing> boards) {
    std::map<Mac, BoardStatus> kept;
    for (std::size_t i = 0; i < boards_.size(); ++i)
        kept[boards_[i].row.mac_address] = statuses_[i];
    boards_ = std::move(boards);
    cells_.clear();
    statuses_.clear();
    index_.clear();
    for (const BoardListing& b : boards_) {
        const BoardRow& r = b.row;
        cells_.push_back({mac_text(r.mac_address), settings::model_label(r),
                          field_text(r, "local_ip"), field_text(r, "subnet_mask"),
                          field_text(r, "gateway_ip"), field_text(r, "firmware_version"),
                          field_text(r, "ip_mode"), b.interface});
        const auto it = kept.find(r.mac_address);
        statuses_.push_back(it != kept.end() ? it->second : BoardStatus{});
        index_.emplace(r.mac_address, index_.size());
    }
    std::erase_if(selected_, [&](const Mac& m) { return !index_.contains(m); });
    if (anchor_ && !index_.contains(*anchor_)) anchor_.reset();
    arrange();
}

void BoardTable::sort(BoardColumn column, bool ascending) {
    sort_column_ = column;
    ascending_ = ascending;
    arrange();
}

void BoardTable::set_filter(std::string text) {
    filter_ = lower(std::move(text));
    arrange();
}

std::string BoardTable::text_of(std::size_t board, BoardColumn column) const {
    if (column == BoardColumn::Status) return status_text(statuses_[board]);
    return cells_[board][static_cast<std::size_t>(column)];
}

std::string BoardTable::cell(std::size_t row, BoardColumn column) const {
    return text_of(shown_[row], column);
}

bool BoardTable::before(std::size_t a, std::size_t b) const {
    const BoardRow& x = boards_[a].row;
    const BoardRow& y = boards_[b].row;
    int order = 0;
    switch (sort_column_) {
        case BoardColumn::Mac:
            break;
        case BoardColumn::Ip:
            order = x.local_ip < y.local_ip ? -1 : (y.local_ip < x.local_ip ? 1 : 0);
            break;
        case BoardColumn::Mask:
            order = x.subnet_mask < y.subnet_mask ? -1 : (y.subnet_mask < x.subnet_mask ? 1 : 0);
            break;
        case BoardColumn::Gateway:
            order = x.gateway_ip < y.gateway_ip ? -1 : (y.gateway_ip < x.gateway_ip ? 1 : 0);
            break;
        case BoardColumn::Firmware:
            order = compare_versions(text_of(a, sort_column_), text_of(b, sort_column_))
                        .value_or(text_of(a, sort_column_).compare(text_of(b, sort_column_)));
            break;
        default:
            order = text_of(a, sort_column_).compare(text_of(b, sort_column_));
            break;
    }
    if (order == 0) order = x.mac_address < y.mac_address ? -1 : (y.mac_address < x.mac_address);
    return ascending_ ? order < 0 : order > 0;
}

void BoardTable::arrange() {
    shown_.clear();
    for (std::size_t i = 0; i < boards_.size(); ++i) {
        bool match = filter_.empty();
        for (int c = 0; c < kBoardColumns && !match; ++c)
            match =
                lower(text_of(i, static_cast<BoardColumn>(c))).find(filter_) != std::string::npos;
        if (match) shown_.push_back(i);
    }
    std::stable_sort(shown_.begin(), shown_.end(),
                     [this](std::size_t a, std::size_t b) { return before(a, b); });
    row_at_.assign(boards_.size(), kNotShown);
    for (std::size_t r = 0; r < shown_.size(); ++r) row_at_[shown_[r]] = r;
}

std::optional<std::size_t> BoardTable::row_of(const Mac& mac) const {
    const auto it = index_.find(mac);
    if (it == index_.end() || row_at_[it->second] == kNotShown) return std::nullopt;
    return row_at_[it->second];
}

void BoardTable::pick(std::size_t row, Pick how) {
    if (row >= shown_.size()) return;
    const Mac mac = boards_[shown_[row]].row.mac_address;
    switch (how) {
        case Pick::Only:
            selected_ = {mac};
            anchor_ = mac;
            break;
        case Pick::Toggle:
            if (!selected_.erase(mac)) selected_.insert(mac);
            anchor_ = mac;
            break;
        case Pick::Range: {
            const auto from = anchor_ ? row_of(*anchor_) : std::nullopt;
            const std::size_t first = std::min(from.value_or(row), row);
            const std::size_t last = std::max(from.value_or(row), row);
            selected_.clear();
            for (std::size_t r = first; r <= last; ++r)
                selected_.insert(boards_[shown_[r]].row.mac_address);
            if (!anchor_) anchor_ = mac;
            break;
        }
    }
}

void BoardTable::select_all() {
    for (std::size_t i : shown_) selected_.insert(boards_[i].row.mac_address);
}

void BoardTable::clear_selection() {
    selected_.clear();
}

bool BoardTable::selected(std::size_t row) const {
    return selected_.contains(boards_[shown_[row]].row.mac_address);
}

std::vector<Mac> BoardTable::selection() const {
    std::vector<Mac> out;
    for (std::size_t i : shown_) {
        if (selected_.contains(boards_[i].row.mac_address))
            out.push_back(boards_[i].row.mac_address);
    }
    return out;
}

void BoardTable::set_status(const Mac& mac, BoardStatus status) {
    const auto it = index_.find(mac);
    if (it == index_.end()) return;
    statuses_[it->second] = std::move(status);
    if (!filter_.empty() || sort_column_ == BoardColumn::Status) arrange();
}

BoardStatus BoardTable::status_of(const Mac& mac) const {
    const auto it = index_.find(mac);
    return it == index_.end() ? BoardStatus{} : statuses_[it->second];
}

}  // namespace quorin::fleet
