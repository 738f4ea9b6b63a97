// fuzz-seeds: writes the seed corpora of the fuzz targets into DIR/fuzz_record_codec and
// DIR/fuzz_config_core: records of every layout, whole and cut short, and step sequences that
// walk the configuration core through a search, a setting and an upload.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "protocol/record_codec.h"
#include "tools/fuzz/core_ops.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace quorin;

BoardRow sample(std::uint8_t product, std::uint8_t id) {
    BoardRow row;
    row.mac_address = {0x02, 0x51, 0x00, product, 0x00, id};
    row.product_code = {0, product};
    row.local_ip = {127, 0, 1, id};
    row.subnet_mask = {255, 255, 255, 0};
    row.firmware_major = 1;
    row.firmware_minor = 53;
    row.ip_mode = id % 3;
    row.serial_command_method = 2;
    row.trigger_chars = {'+', '+', '+'};
    for (std::size_t i = 0; i < row.channel.size(); ++i) {
        row.channel[i].local_port = 5000 + static_cast<std::uint32_t>(i);
        row.channel[i].baud_rate = static_cast<std::uint8_t>(i);
        row.channel[i].domain_name = {'b', 'o', 'a', 'r', 'd'};
    }
    return row;
}

Bytes reply(const BoardRow& row, std::uint8_t opcode, const char* letters) {
    if (uses_legacy_protocol(row.product_code)) return encode_legacy_datagram(row, letters);
    return encode_main_datagram(row, opcode, 0);
}

void write(const std::filesystem::path& file, const Bytes& bytes) {
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// Step sequences for the core.
struct Steps {
    Bytes bytes;
    Steps& op(fuzz::CoreOp o) {
        bytes.push_back(o);
        return *this;
    }
    Steps& b(std::uint8_t v) {
        bytes.push_back(v);
        return *this;
    }
    Steps& datagram(fuzz::CoreOp o, const Bytes& d) {
        op(o).b(static_cast<std::uint8_t>(d.size())).b(static_cast<std::uint8_t>(d.size() >> 8));
        bytes.insert(bytes.end(), d.begin(), d.end());
        return *this;
    }
    Steps& state(int index) { return op(fuzz::kSetState).b(static_cast<std::uint8_t>(index)); }
};

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz-seeds DIR\n");
        return 2;
    }
    const std::filesystem::path dir(argv[1]);
    const auto codec = dir / "fuzz_record_codec";
    const auto core = dir / "fuzz_config_core";
    std::filesystem::create_directories(codec);
    std::filesystem::create_directories(core);

    for (std::uint8_t product : {1, 2, 3, 4, 5, 6, 7}) {
        const Bytes whole =
            reply(sample(product, product), OPCODE_SEARCH_REPLY, kLegacySearchReply);
        write(codec / ("product-" + std::to_string(product)), whole);
        write(codec / ("product-" + std::to_string(product) + "-cut"),
              Bytes(whole.begin(), whole.begin() + static_cast<long>(whole.size() / 2)));
    }

    constexpr int kSearch = 1, kSet = 2, kUpload = 3, kUploadComplete = 4;  // kStates indices
    const BoardRow main_board = sample(2, 1), legacy_board = sample(4, 2);
    Steps search;
    search.op(fuzz::kSendData).b(OPCODE_SEARCH_REQUEST).state(kSearch);
    search.datagram(fuzz::kSearchDatagram, reply(main_board, OPCODE_SEARCH_REPLY, ""));
    search.datagram(fuzz::kSearchDatagram, reply(main_board, OPCODE_SEARCH_REPLY, ""));
    search.datagram(fuzz::kLegacyDatagram, reply(legacy_board, 0, kLegacySearchReply));
    search.datagram(fuzz::kSearchDatagram, Bytes{OPCODE_SET_REPLY, 0});
    write(core / "search", search.bytes);

    Steps setting = search;
    setting.op(fuzz::kWorking).b(0).b(2).b(0);
    setting.op(fuzz::kSendData).b(OPCODE_SET_REQUEST).state(kSet);
    setting.datagram(fuzz::kSearchDatagram, reply(main_board, OPCODE_SET_REPLY, ""));
    setting.datagram(fuzz::kSearchDatagram, reply(main_board, OPCODE_SET_REPLY, ""));
    setting.datagram(fuzz::kSearchDatagram, reply(sample(2, 9), OPCODE_SET_REPLY, ""));
    setting.op(fuzz::kWorking).b(0).b(4).b(1);
    setting.op(fuzz::kSendData).b(OPCODE_SET_REQUEST);
    setting.datagram(fuzz::kLegacyDatagram, reply(legacy_board, 0, kLegacySetReply));
    write(core / "setting", setting.bytes);

    Steps upload = search;
    upload.op(fuzz::kWorking).b(0).b(2).b(0);
    upload.op(fuzz::kSendData).b(OPCODE_UPLOAD_REQUEST).state(kUpload);
    upload.datagram(fuzz::kSearchDatagram, reply(main_board, OPCODE_UPLOAD_REPLY, ""));
    upload.state(kUploadComplete);
    upload.datagram(fuzz::kSearchDatagram, reply(main_board, OPCODE_UPLOAD_COMPLETE, ""));
    write(core / "upload", upload.bytes);

    Steps full;  // more boards than the table holds, then the same ones again
    full.op(fuzz::kSendData).b(OPCODE_SEARCH_REQUEST).state(kSearch);
    full.op(fuzz::kBoardBurst).b(150).b(2).b(0).op(fuzz::kBoardBurst).b(60).b(4).b(1);
    full.op(fuzz::kBoardBurst).b(10).b(6).b(0);
    write(core / "table-full", full.bytes);

    Steps tags;
    for (std::uint8_t t : {1, 2, 0, 3, 1, 255}) tags.op(fuzz::kTags).b(t);
    write(core / "tag-queue", tags.bytes);
    return 0;
}
