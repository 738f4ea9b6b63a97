#include "tools/flood/junk_flood.h"

#include <arpa/inet.h>
#include <malloc.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "protocol/board_record.h"
#include "protocol/record_codec.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QUORIN_SANITIZER_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define QUORIN_SANITIZER_HEAP 1
#endif
#endif
#ifdef QUORIN_SANITIZER_HEAP
// The sanitizers' own count of live heap bytes (their runtimes provide it; gcc ships no header).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace quorin::flood {
namespace {

constexpr std::size_t kRandomMaxBytes = 1500;
constexpr int kOversizedEvery = 16;  // one turn in this many sends an oversized datagram
constexpr int kDuplicateBoards = 4;
constexpr auto kSendTick = std::chrono::milliseconds(1);
constexpr std::uint8_t kOutsideOpcodes = 0x5A;

// Product codes of the main-protocol models, for records that look like real boards'.
constexpr std::array<std::uint8_t, 5> kMainProducts{1, 2, 3, 5, 6};

}  // namespace

std::string_view kind_name(JunkKind kind) {
    switch (kind) {
        case JunkKind::Empty:
            return "empty";
        case JunkKind::Random:
            return "random";
        case JunkKind::Oversized:
            return "oversized";
        case JunkKind::Truncated:
            return "truncated";
        case JunkKind::ForeignSearchReply:
            return "foreign-search-reply";
        case JunkKind::DuplicateSearchReply:
            return "duplicate-search-reply";
        case JunkKind::UnknownSetReply:
            return "unknown-set-reply";
        case JunkKind::UploadReply:
            return "upload-reply";
        case JunkKind::UploadComplete:
            return "upload-complete";
        case JunkKind::SearchRequest:
            return "search-request";
        case JunkKind::WrongOpcode:
            return "wrong-opcode";
        case JunkKind::LegacySearchReply:
            return "legacy-search-reply";
        case JunkKind::LegacySetReply:
            return "legacy-set-reply";
        case JunkKind::LegacyFind:
            return "legacy-find";
    }
    return "?";
}

bool kind_from_name(std::string_view name, JunkKind* kind) {
    for (int k = 0; k < kJunkKinds; ++k) {
        if (kind_name(static_cast<JunkKind>(k)) == name) {
            *kind = static_cast<JunkKind>(k);
            return true;
        }
    }
    return false;
}

std::vector<std::uint8_t> JunkGenerator::random_bytes(std::size_t count) {
    std::vector<std::uint8_t> bytes(count);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random_());
    return bytes;
}

std::array<std::uint8_t, 6> JunkGenerator::random_mac() {
    std::array<std::uint8_t, 6> mac{};
    for (auto& b : mac) b = static_cast<std::uint8_t>(random_());
    mac[0] = 0x06;  // locally administered, so that it is nobody's real board
    return mac;
}

std::vector<std::uint8_t> JunkGenerator::main_record(std::uint8_t opcode,
                                                     const std::array<std::uint8_t, 6>& mac) {
    BoardRow row;
    row.mac_address = mac;
    row.product_code = {0, kMainProducts[random_() % kMainProducts.size()]};
    row.local_ip = {127, 0, 9, static_cast<std::uint8_t>(random_())};
    row.firmware_major = 1;
    row.firmware_minor = static_cast<std::uint8_t>(random_() % 70);
    return encode_main_datagram(row, opcode, 0);
}

std::vector<std::uint8_t> JunkGenerator::legacy_record(std::string_view letters,
                                                       const std::array<std::uint8_t, 6>& mac) {
    BoardRow row;
    row.mac_address = mac;
    row.product_code = {0, 4};
    return encode_legacy_datagram(row, letters);
}

std::vector<std::uint8_t> JunkGenerator::make(JunkKind kind) {
    switch (kind) {
        case JunkKind::Empty:
            return {};
        case JunkKind::Random:
            return random_bytes(1 + random_() % kRandomMaxBytes);
        case JunkKind::Oversized: {
            auto bytes = random_bytes(kMaxUdpPayload);
            bytes[0] = OPCODE_SEARCH_REPLY;
            return bytes;
        }
        case JunkKind::Truncated: {
            auto bytes = main_record(OPCODE_SEARCH_REPLY, random_mac());
            bytes.resize(1 + random_() % (bytes.size() - 1));
            return bytes;
        }
        case JunkKind::ForeignSearchReply:
            return main_record(OPCODE_SEARCH_REPLY, random_mac());
        case JunkKind::DuplicateSearchReply: {
            const auto n = static_cast<std::uint8_t>(random_() % kDuplicateBoards);
            return main_record(OPCODE_SEARCH_REPLY, {0x06, 0xD0, 0x0B, 0x1E, 0x00, n});
        }
        case JunkKind::UnknownSetReply:
            return main_record(OPCODE_SET_REPLY, random_mac());
        case JunkKind::UploadReply:
            return main_record(OPCODE_UPLOAD_REPLY, random_mac());
        case JunkKind::UploadComplete:
            return main_record(OPCODE_UPLOAD_COMPLETE, random_mac());
        case JunkKind::SearchRequest: {
            std::vector<std::uint8_t> bytes(kMainPacketSize, 0);
            bytes[0] = OPCODE_SEARCH_REQUEST;
            bytes[1] = static_cast<std::uint8_t>(random_());
            return bytes;
        }
        case JunkKind::WrongOpcode:
            return main_record(kOutsideOpcodes, random_mac());
        case JunkKind::LegacySearchReply:
            return legacy_record(kLegacySearchReply, random_mac());
        case JunkKind::LegacySetReply:
            return legacy_record(kLegacySetReply, random_mac());
        case JunkKind::LegacyFind:
            return {'F', 'I', 'N', 'D'};
    }
    return {};
}

JunkKind JunkGenerator::next_kind() {
    const int turn = turn_++;
    if (turn % kOversizedEvery == kOversizedEvery - 1) return JunkKind::Oversized;
    auto kind = static_cast<JunkKind>(turn % kJunkKinds);
    if (kind == JunkKind::Oversized) kind = JunkKind::Random;
    return kind;
}

std::size_t live_heap_bytes() {
#ifdef QUORIN_SANITIZER_HEAP
    return __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;  // small blocks in the arenas, and blocks mapped on their own
#endif
}

FloodSender::~FloodSender() {
    stop();
    if (thread_.joinable()) thread_.join();
    if (fd_ >= 0) ::close(fd_);
}

bool FloodSender::start(std::string* error) {
    if (options_.ports.empty()) {
        if (error) *error = "no port to send to";
        return false;
    }
    fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd_ < 0) {
        if (error) *error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    thread_ = std::thread([this] { run(); });
    return true;
}

FloodReport FloodSender::wait() {
    if (thread_.joinable()) thread_.join();
    return report_;
}

void FloodSender::run() {
    using Clock = std::chrono::steady_clock;
    JunkGenerator junk(options_.seed);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);  // the only destination this sender knows

    const auto begin = Clock::now();
    const auto end = begin + std::chrono::duration_cast<Clock::duration>(
                                 std::chrono::duration<double>(options_.seconds));
    const double per_tick =
        options_.datagrams_per_second * std::chrono::duration<double>(kSendTick).count();
    double owed = 0;
    std::size_t port_turn = 0;
    std::size_t turn = 0;
    auto tick = begin;
    while (!stop_ && Clock::now() < end) {
        owed += per_tick;
        for (; owed >= 1 && !stop_; owed -= 1) {
            const JunkKind kind = options_.kinds.empty()
                                      ? junk.next_kind()
                                      : options_.kinds[turn++ % options_.kinds.size()];
            const std::vector<std::uint8_t> bytes = junk.make(kind);
            to.sin_port = htons(options_.ports[port_turn++ % options_.ports.size()]);
            const ssize_t n = ::sendto(fd_, bytes.data(), bytes.size(), 0,
                                       reinterpret_cast<const sockaddr*>(&to), sizeof to);
            if (n < 0) {
                ++report_.refused;
                continue;
            }
            ++report_.sent;
            report_.bytes += static_cast<std::uint64_t>(n);
            ++report_.by_kind[static_cast<std::size_t>(kind)];
            sent_ = report_.sent;
        }
        tick += kSendTick;
        std::this_thread::sleep_until(tick);
    }
    report_.seconds = std::chrono::duration<double>(Clock::now() - begin).count();
    finished_ = true;
}

}  // namespace quorin::flood
