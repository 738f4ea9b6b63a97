// libFuzzer entry for the board record codec: arbitrary bytes into both decoders, then the
// decoded rows back through the encoders. Aborts when a decoder writes a field its layout does
// not carry or when a decoded row does not survive being sent and read back.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "protocol/record_codec.h"

namespace {

using quorin::BoardRow;

void check(bool condition) {
    if (!condition) std::abort();
}

// Main layout: a row decoded from any bytes reads back the same after encoding, and the long
// header is written only for product bytes 2 and 6.
void main_reply(std::span<const std::uint8_t> datagram, bool keep_mac) {
    BoardRow row;
    row.pppoe_id.fill(0x5A);
    row.mac_address.fill(0xC3);
    quorin::decode_main_reply(datagram, row, keep_mac);
    if (keep_mac) check(row.mac_address[0] == 0xC3 && row.mac_address[5] == 0xC3);
    const std::uint8_t low = row.product_code[1];
    if (low != 2 && low != 6) {
        check(row.pppoe_id[0] == 0x5A && row.pppoe_id[31] == 0x5A);
        row.pppoe_id = {};
    }

    std::vector<std::uint8_t> packet(quorin::kMainPacketSize, 0);
    quorin::encode_main_request(row, packet);
    BoardRow back;
    back.mac_address = row.mac_address;
    quorin::decode_main_reply(packet, back);
    check(back == row);
}

// Legacy layout: the implied fields are set, codes stay in range, and the row reads back the
// same after encoding.
void legacy_reply(std::span<const std::uint8_t> datagram, bool keep_mac) {
    BoardRow row;
    row.channel[1].local_port = 0xDEADBEEF;
    quorin::decode_legacy_reply(datagram, row, keep_mac);
    check(row.product_code[0] == 0 && row.product_code[1] == 4);
    check(row.channel[0].use_dns == 1);
    check(row.channel[0].baud_rate <= 7);
    check(row.channel[0].packing_size <= 0xFF);
    check(row.channel[1].local_port == 0xDEADBEEF);

    const auto packet = quorin::encode_legacy_datagram(row, quorin::kLegacySetReply);
    BoardRow back;
    back.channel[1].local_port = 0xDEADBEEF;
    quorin::decode_legacy_reply(packet, back);
    check(back == row);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // An exact-size copy, so that the sanitizer sees any read past the end of the datagram.
    const std::vector<std::uint8_t> datagram(data, data + size);
    const bool keep_mac = size > 0 && (data[size - 1] & 1) != 0;
    main_reply(datagram, keep_mac);
    legacy_reply(datagram, keep_mac);
    return 0;
}
