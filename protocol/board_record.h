// The board record: one board's settings as the tool keeps them in memory, the product-code
// table and the wire constants shared by both protocols. Pure C++, no I/O.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace quorin {

// One serial channel of a board. 16-bit wire values are widened to 32 bits here and narrowed
// back (low bits) when sent.
struct ChannelBlock {
    std::uint8_t operation_mode = 0;          // 0 server, 1 client, 2 neither
    std::uint8_t connection_status = 0;       // 0 not connected, other values connected
    std::uint8_t use_dns = 0;                 // 0 off, 1 reach the peer by domain_name
    std::uint8_t udp = 0;                     // 0 TCP, 1 UDP
    std::array<std::uint8_t, 4> remote_ip{};  // first octet first
    std::uint32_t local_port = 0;
    std::uint32_t remote_port = 0;
    std::array<std::uint8_t, 32> domain_name{};  // text up to the first zero byte
    std::uint8_t baud_rate = 0;                  // baud-rate code, meaning depends on firmware
    std::uint8_t data_bits = 0;                  // 0 seven bits, 1 eight bits
    std::uint8_t parity = 0;                     // 0 None, 1 Odd, 2 Even
    std::uint8_t stop_bits = 0;                  // 0 "0.5", 1 "1", 2 "1.5", 3 "2"
    std::uint8_t flow_control = 0;               // 0 None, 1 Xon/Xoff, 2 CTS/RTS, 3 RTSOnly
    std::uint8_t packing_char = 0;
    std::uint32_t packing_size = 0;
    std::uint32_t packing_time = 0;
    std::uint32_t inactivity_time = 0;
    std::uint8_t reserved = 0;
    std::uint8_t data_mode = 0;  // 0 raw, 1 telnet

    friend bool operator==(const ChannelBlock&, const ChannelBlock&) = default;
};

inline constexpr int kChannelBlocks = 4;

// One board record in memory: a row of the board table, or the working record. Always holds four
// channel blocks, whatever the product carries on the wire.
struct BoardRow {
    std::array<std::uint8_t, 6> mac_address{};
    std::array<std::uint8_t, 2> product_code{};  // high byte first
    std::array<std::uint8_t, 4> local_ip{};
    std::array<std::uint8_t, 4> subnet_mask{};
    std::array<std::uint8_t, 4> gateway_ip{};
    std::uint8_t firmware_major = 0;
    std::uint8_t firmware_minor = 0;
    std::uint8_t debug_mode = 0;             // 0 off, 1 on
    std::uint8_t ip_mode = 0;                // 0 static, 1 DHCP, 2 PPPoE
    std::uint8_t serial_command_method = 0;  // 0 disabled, 1 HW, 2 SW
    std::array<std::uint8_t, 3> trigger_chars{};
    std::array<std::uint8_t, 4> dns_server_ip{};
    std::array<std::uint8_t, 6> reserved_block{};
    std::uint32_t reserved_word = 0;
    std::array<std::uint8_t, 32> pppoe_id{};
    std::array<std::uint8_t, 32> pppoe_password{};
    std::array<std::uint8_t, 32> reserved_text{};
    std::array<ChannelBlock, kChannelBlocks> channel{};

    friend bool operator==(const BoardRow&, const BoardRow&) = default;
};

enum class WireProtocol { Main, Legacy };

// How a main-layout record is laid out: where the channel records start and how many follow.
struct MainLayout {
    bool long_header = false;
    std::size_t channel_offset = 34;
    int channel_records = 4;
    std::size_t record_length = 290;
};

// One entry of the product-code table, selected by the second product-code byte.
struct ProductInfo {
    std::uint8_t code = 0;  // second byte of product_code
    const char* model_name = "";
    WireProtocol protocol = WireProtocol::Main;
    int channels = 0;
    std::size_t record_length = 0;
};

// The six known products; a code outside this table has no model name.
const std::array<ProductInfo, 6>& product_table();

// The product whose second code byte is `code`, or nullopt for a code outside the table.
std::optional<ProductInfo> find_product(std::uint8_t code);

// The product code whose model name equals `name` exactly, or nullopt.
std::optional<std::array<std::uint8_t, 2>> product_code_for_model(const std::string& name);

// Model name for a full product code: empty unless the first byte is 0 and the second is in
// the table.
std::string model_name(const std::array<std::uint8_t, 2>& product_code);

// "0A:1B:2C:3D:4E:5F": six upper-case hex pairs joined by ':'.
std::string mac_text(const std::array<std::uint8_t, 6>& mac);

// "0001": both product-code bytes as lower-case hex pairs, high byte first.
std::string product_code_text(const std::array<std::uint8_t, 2>& product_code);

// Wire constants.
inline constexpr std::uint16_t kMainPort = 34001;          // boards listen for the main protocol
inline constexpr std::uint16_t kLegacyBoardPort = 50002;   // boards listen for the legacy protocol
inline constexpr std::uint16_t kLegacyLocalPort = 50001;   // the tool's legacy socket
inline constexpr std::uint16_t kAckUploadPort = 34005;     // acknowledged firmware transfer
inline constexpr std::uint16_t kStreamUploadPort = 50003;  // streamed firmware transfer
inline constexpr std::size_t kMainPacketSize = 402;        // search socket buffer and read limit
inline constexpr std::size_t kLegacyPacketSize = 120;      // legacy record and read limit
inline constexpr std::size_t kShortHeaderLength = 34;
inline constexpr std::size_t kLongHeaderLength = 146;
inline constexpr std::size_t kMainChannelRecordLength = 64;

// Main-protocol opcodes (byte 0 of a datagram).
inline constexpr std::uint8_t OPCODE_SEARCH_REQUEST = 1;
inline constexpr std::uint8_t OPCODE_SEARCH_REPLY = 2;
inline constexpr std::uint8_t OPCODE_SET_REQUEST = 3;
inline constexpr std::uint8_t OPCODE_SET_REPLY = 4;
inline constexpr std::uint8_t OPCODE_UPLOAD_REQUEST = 5;
inline constexpr std::uint8_t OPCODE_UPLOAD_REPLY = 6;
inline constexpr std::uint8_t OPCODE_UPLOAD_COMPLETE = 7;

// Legacy-protocol opcodes (the first four bytes of a datagram).
inline constexpr char kLegacyFind[] = "FIND";
inline constexpr char kLegacySearchReply[] = "IMIN";
inline constexpr char kLegacySet[] = "SETT";
inline constexpr char kLegacySetReply[] = "SETC";
inline constexpr char kLegacyUpload[] = "FIRS";

}  // namespace quorin
