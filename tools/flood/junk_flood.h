// What a busy or hostile LAN throws at the tool's two configuration sockets: empty, random,
// truncated, oversized and valid-looking but wrong datagrams, and a sender that floods loopback
// ports with them at a steady rate. Used by the flood benchmark and the hostile-traffic test.
//
// The sender has no destination address to choose: it sends to 127.0.0.1 only.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace quorin::flood {

// The largest UDP payload over IPv4 (65,535 minus the IP and UDP headers).
inline constexpr std::size_t kMaxUdpPayload = 65507;

enum class JunkKind {
    Empty,                 // zero bytes
    Random,                // random bytes, 1 to 1500 of them
    Oversized,             // kMaxUdpPayload random bytes whose first byte is a search reply's
    Truncated,             // a search reply cut short at a random length
    ForeignSearchReply,    // a well-formed search reply from a board nobody asked (random MAC)
    DuplicateSearchReply,  // a well-formed search reply from one of four boards, again and again
    UnknownSetReply,       // a set reply from a board that is not listed
    UploadReply,           // opcode 6 nobody asked for
    UploadComplete,        // opcode 7 nobody asked for
    SearchRequest,         // another PC's search request (opcode 1)
    WrongOpcode,           // a full-length record under an opcode outside 1..7
    LegacySearchReply,     // "IMIN" from a board nobody asked (random MAC)
    LegacySetReply,        // "SETC" from a board that is not listed
    LegacyFind,            // another PC's "FIND"
};
inline constexpr int kJunkKinds = static_cast<int>(JunkKind::LegacyFind) + 1;

std::string_view kind_name(JunkKind kind);
// The kind of a name kind_name gives; false when there is none.
bool kind_from_name(std::string_view name, JunkKind* kind);

// Builds junk datagrams, deterministically from its seed.
class JunkGenerator {
  public:
    explicit JunkGenerator(std::uint32_t seed) : random_(seed) {}

    std::vector<std::uint8_t> make(JunkKind kind);
    // The kind to send next: every kind in turn, oversized ones only one turn in 16 so that they
    // do not make up most of the bytes.
    JunkKind next_kind();

  private:
    std::vector<std::uint8_t> random_bytes(std::size_t count);
    std::vector<std::uint8_t> main_record(std::uint8_t opcode,
                                          const std::array<std::uint8_t, 6>& mac);
    std::vector<std::uint8_t> legacy_record(std::string_view letters,
                                            const std::array<std::uint8_t, 6>& mac);
    std::array<std::uint8_t, 6> random_mac();

    std::mt19937 random_;
    int turn_ = 0;
};

struct FloodOptions {
    std::vector<std::uint16_t> ports;  // 127.0.0.1 ports to send to, in turn
    double seconds = 3;                // the sender stops by itself after this long
    int datagrams_per_second = 10000;
    std::uint32_t seed = 1;
    std::vector<JunkKind> kinds;  // sent in turn; empty: every kind (JunkGenerator::next_kind)
};

struct FloodReport {
    std::uint64_t sent = 0;     // datagrams the system took
    std::uint64_t refused = 0;  // sends that failed (full buffers)
    std::uint64_t bytes = 0;
    std::array<std::uint64_t, kJunkKinds> by_kind{};
    double seconds = 0;  // how long the sender ran
};

// Floods 127.0.0.1 on the given ports from a thread of its own. The thread stops by itself after
// the configured time, on stop(), or when the sender is destroyed.
class FloodSender {
  public:
    explicit FloodSender(FloodOptions options) : options_(std::move(options)) {}
    ~FloodSender();
    FloodSender(const FloodSender&) = delete;
    FloodSender& operator=(const FloodSender&) = delete;

    // Opens the socket and starts the thread; false with `error` when the socket cannot be opened
    // or no port was given.
    bool start(std::string* error);
    void stop() { stop_ = true; }
    bool finished() const { return finished_; }
    std::uint64_t sent() const { return sent_; }
    // Waits for the thread to end and returns what it sent.
    FloodReport wait();

  private:
    void run();

    FloodOptions options_;
    int fd_ = -1;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> finished_{false};
    std::atomic<std::uint64_t> sent_{0};
    FloodReport report_;  // written by the thread, read after join
};

// Bytes of heap memory in use by this process right now (the allocator's count of live blocks,
// not what the system has mapped), so that growth can be told from allocator caching; with a
// sanitizer the sanitizer's own count, which leaves out its quarantine.
std::size_t live_heap_bytes();

}  // namespace quorin::flood
