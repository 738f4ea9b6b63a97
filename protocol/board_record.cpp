// The product-code table and the text forms of the identity fields.
#include "protocol/board_record.h"

#include <algorithm>

namespace quorin {
namespace {

// The six products the tool knows, by the second byte of their product code. The first byte is 0
// for every one of them.
constexpr std::array<ProductInfo, 6> kProducts{{
    {1, "Quorin712P-T", WireProtocol::Main, 3, 226},
    {2, "Quorin712P", WireProtocol::Main, 4, 402},
    {3, "Quorin712PD", WireProtocol::Main, 4, 290},
    {4, "5836KL", WireProtocol::Legacy, 1, 120},
    {5, "BRV406H", WireProtocol::Main, 4, 290},
    {6, "DAVRO2xM", WireProtocol::Main, 4, 402},
}};

// Appends `byte` as two hex digits from `digits` (upper- or lower-case alphabet).
void append_hex(std::string& out, std::uint8_t byte, const char* digits) {
    out.push_back(digits[byte >> 4]);
    out.push_back(digits[byte & 0x0F]);
}

constexpr const char* kUpperHex = "0123456789ABCDEF";
constexpr const char* kLowerHex = "0123456789abcdef";

}  // namespace

const std::array<ProductInfo, 6>& product_table() {
    return kProducts;
}

std::optional<ProductInfo> find_product(std::uint8_t code) {
    const auto it = std::find_if(kProducts.begin(), kProducts.end(),
                                 [code](const ProductInfo& p) { return p.code == code; });
    if (it == kProducts.end()) return std::nullopt;
    return *it;
}

std::optional<std::array<std::uint8_t, 2>> product_code_for_model(const std::string& name) {
    for (const ProductInfo& p : kProducts) {
        if (name == p.model_name) return std::array<std::uint8_t, 2>{0, p.code};
    }
    return std::nullopt;
}

std::string model_name(const std::array<std::uint8_t, 2>& product_code) {
    if (product_code[0] != 0) return {};
    const auto product = find_product(product_code[1]);
    return product ? std::string(product->model_name) : std::string();
}

std::string mac_text(const std::array<std::uint8_t, 6>& mac) {
    std::string text;
    text.reserve(17);
    for (std::size_t i = 0; i < mac.size(); ++i) {
        if (i != 0) text.push_back(':');
        append_hex(text, mac[i], kUpperHex);
    }
    return text;
}

std::string product_code_text(const std::array<std::uint8_t, 2>& product_code) {
    std::string text;
    text.reserve(4);
    append_hex(text, product_code[0], kLowerHex);
    append_hex(text, product_code[1], kLowerHex);
    return text;
}

}  // namespace quorin
