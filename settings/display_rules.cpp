#include "settings/display_rules.h"

#include <algorithm>
#include <charconv>

#include "protocol/board_record.h"
#include "res/texts.h"

namespace quorin::display {

namespace {

// The enum's order follows the product codes 1 to 6.
constexpr std::uint8_t code_of(Model model) {
    return static_cast<std::uint8_t>(model);
}

constexpr ModelView kUnknownView{"", 4, 1};

constexpr ChannelChange enable(int channels) {
    return {Change::Enable, channels};
}
constexpr ChannelChange disable(int channels) {
    return {Change::Disable, channels};
}
constexpr ChannelChange keep() {
    return {};
}

constexpr std::string_view kDebug = text::kDebugModeCaption;
constexpr std::string_view kDdns = text::kDdnsEnableCaption;

// Columns of the enabling table, one per model.
constexpr ModelEnabling kEnablingPT{.parity = keep(),
                                    .serial = disable(3),
                                    .udp_and_use_dns = disable(3),
                                    .domain = disable(3),
                                    .command_method = Change::Disable,
                                    .pppoe_radio = Change::Disable,
                                    .debug_mode = Change::Disable,
                                    .debug_caption = kDebug,
                                    .stop_bits_by_firmware = false,
                                    .data_mode_by_firmware = false};
constexpr ModelEnabling kEnablingP{.parity = enable(4),
                                   .serial = enable(4),
                                   .udp_and_use_dns = enable(4),
                                   .domain = enable(4),
                                   .command_method = Change::Enable,
                                   .pppoe_radio = Change::Enable,
                                   .debug_mode = Change::Disable,
                                   .debug_caption = kDebug,
                                   .stop_bits_by_firmware = false,
                                   .data_mode_by_firmware = false};
constexpr ModelEnabling kEnablingPDAndKL{.parity = enable(1),
                                         .serial = enable(1),
                                         .udp_and_use_dns = disable(1),
                                         .domain = enable(1),
                                         .command_method = Change::Enable,
                                         .pppoe_radio = Change::Disable,
                                         .debug_mode = Change::Disable,
                                         .debug_caption = kDebug,
                                         .stop_bits_by_firmware = false,
                                         .data_mode_by_firmware = false};
constexpr ModelEnabling kEnablingBRV{.parity = disable(1),
                                     .serial = disable(1),
                                     .udp_and_use_dns = disable(1),
                                     .domain = disable(1),
                                     .command_method = Change::Disable,
                                     .pppoe_radio = Change::Disable,
                                     .debug_mode = Change::Enable,
                                     .debug_caption = kDdns,
                                     .stop_bits_by_firmware = false,
                                     .data_mode_by_firmware = false};
constexpr ModelEnabling kEnablingDAVRO{.parity = enable(4),
                                       .serial = enable(4),
                                       .udp_and_use_dns = enable(4),
                                       .domain = enable(4),
                                       .command_method = Change::Enable,
                                       .pppoe_radio = Change::Enable,
                                       .debug_mode = Change::Disable,
                                       .debug_caption = kDebug,
                                       .stop_bits_by_firmware = true,
                                       .data_mode_by_firmware = true};
// Any other product code: the model changes nothing.
constexpr ModelEnabling kEnablingUnknown{};

// Two hexadecimal digits of `value` from `digits` (upper or lower case). Listing many boards
// formats thousands of bytes: a table, not a formatted print.
std::string hex_byte(std::uint8_t value, const char (&digits)[17]) {
    return {digits[value >> 4], digits[value & 0x0F]};
}
constexpr char kUpperDigits[] = "0123456789ABCDEF";
constexpr char kLowerDigits[] = "0123456789abcdef";

}  // namespace

Model model_of(const std::array<std::uint8_t, 2>& product_code) {
    if (product_code[0] != 0 || !find_product(product_code[1])) return Model::Unknown;
    return static_cast<Model>(product_code[1]);
}

ModelView model_view(Model model) {
    if (model == Model::Unknown) return kUnknownView;
    const auto product = find_product(code_of(model));
    const std::string_view name = product ? product->model_name : "";
    switch (model) {
        case Model::Quorin712PT:
            return {name, 3, 3};
        case Model::Quorin712P:
        case Model::DAVRO2xM:
            return {name, 4, 4};
        case Model::Quorin712PD:
        case Model::K5836KL:
        case Model::BRV406H:
            return {name, 1, 1};
        case Model::Unknown:
            break;
    }
    return kUnknownView;
}

FirmwareVersion firmware_version(std::uint8_t major, std::uint8_t minor) {
    FirmwareVersion v;
    v.text = std::to_string(major) + ".";
    if (minor > 10) {
        v.text += std::to_string(minor / 10) + "." + std::to_string(minor % 10);
        v.number = major * 100 + minor;
    } else {
        v.text += std::to_string(minor) + ".0";
        v.number = major * 100 + minor * 10;
    }
    return v;
}

std::vector<std::string_view> baud_list(int version_number) {
    const std::size_t entries =
        version_number >= kTenBaudRatesFrom ? text::kBaudRates.size() : text::kBaudRates.size() - 1;
    return {text::kBaudRates.begin(), text::kBaudRates.begin() + entries};
}

int baud_index(std::uint8_t code, int version_number) {
    if (version_number >= kTenBaudRatesFrom) {
        if (code == 9) return 0;
        if (code == 8) return 9;
        return 8 - code;  // negative from code 10 on: no selection
    }
    return code < 8 ? 7 - code : 8;
}

std::vector<std::string_view> parity_list(std::uint8_t data_bits) {
    if (data_bits == 0) return {text::kParity[1], text::kParity[2]};
    return {text::kParity.begin(), text::kParity.end()};
}

int parity_index(std::uint8_t data_bits, std::uint8_t parity) {
    return data_bits == 0 ? parity - 1 : parity;
}

std::vector<std::string_view> parity_list_for_index(int data_bits_index) {
    return parity_list(data_bits_index == 0 ? 0 : 1);
}

std::vector<std::string_view> flow_list(Model model, int version_number) {
    const bool rts_only = model == Model::DAVRO2xM && version_number > kRtsOnlyAbove;
    const std::size_t entries =
        rts_only ? text::kFlowControl.size() : text::kFlowControl.size() - 1;
    return {text::kFlowControl.begin(), text::kFlowControl.begin() + entries};
}

int hidden_channel_selection(int kept, int board_index, int list_size) {
    if (list_size <= 0) return -1;
    if (kept >= 0 && kept < list_size) return kept;
    return std::clamp(board_index, 0, list_size - 1);
}

std::string domain_text(const std::array<std::uint8_t, 32>& bytes) {
    std::string out;
    for (std::uint8_t b : bytes)
        if (b != 0) out.push_back(static_cast<char>(b));
    return out;
}

std::string pppoe_text(const std::array<std::uint8_t, 32>& bytes) {
    std::string out;
    for (std::uint8_t b : bytes) {
        if (b == 0) break;
        out.push_back(static_cast<char>(b));
    }
    return out;
}

std::string hex_upper(std::uint8_t value) {
    return hex_byte(value, kUpperDigits);
}
std::string hex_lower(std::uint8_t value) {
    return hex_byte(value, kLowerDigits);
}

std::string dotted(const std::array<std::uint8_t, 4>& octets) {
    char text[16];  // "255.255.255.255"
    char* end = text;
    for (std::size_t i = 0; i < octets.size(); ++i) {
        if (i != 0) *end++ = '.';
        end = std::to_chars(end, text + sizeof text, octets[i]).ptr;
    }
    return std::string(text, end);
}

const ModelEnabling& model_enabling(Model model) {
    switch (model) {
        case Model::Quorin712PT:
            return kEnablingPT;
        case Model::Quorin712P:
            return kEnablingP;
        case Model::Quorin712PD:
        case Model::K5836KL:
            return kEnablingPDAndKL;
        case Model::BRV406H:
            return kEnablingBRV;
        case Model::DAVRO2xM:
            return kEnablingDAVRO;
        case Model::Unknown:
            break;
    }
    return kEnablingUnknown;
}

}  // namespace quorin::display
