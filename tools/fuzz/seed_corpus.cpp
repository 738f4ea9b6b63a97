// fuzz-seeds: writes the seed corpora of the fuzz targets into DIR/fuzz_record_codec,
// DIR/fuzz_config_core and DIR/fuzz_upload_procedure: records of every layout, whole and cut
// short, step sequences that walk the configuration core through a search, a setting and an
// upload, and event sequences that take the upload procedure through its common ends.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "protocol/record_codec.h"
#include "tools/fuzz/core_ops.h"
#include "tools/fuzz/upload_ops.h"

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

// Event sequences for the upload procedure.
struct Events {
    Bytes bytes;
    Events& op(fuzz::UploadOp o) {
        bytes.push_back(o);
        return *this;
    }
    Events& b(std::uint8_t v) {
        bytes.push_back(v);
        return *this;
    }
    Events& start(std::uint8_t facts = 0) { return op(fuzz::kStart).b(facts).b(0); }
    Events& datagram(std::uint8_t kind) { return op(fuzz::kDatagram).b(kind); }
    // Timer `id`, which must be armed, with the board at its address.
    Events& timer(int id) {
        std::uint8_t index = 0;
        while (fuzz::kTimerIds[index] != id) ++index;
        return op(fuzz::kTimer).b(index);
    }
    Events& ack(fuzz::AckEvent e) { return op(fuzz::kAckEvent).b(e); }
    Events& stream(fuzz::StreamEvent e) { return op(fuzz::kStreamEvent).b(e); }
    // The board's reply, the start delay, the connection and the image read (2500 bytes: the size
    // header and three blocks to acknowledge).
    Events& main_transfer_begins() {
        datagram(fuzz::kDatagramReply).timer(uploadtimer::kStartDelay);
        ack(fuzz::kAckConnected).ack(fuzz::kAckImageLoaded).b(0);
        return *this;
    }
    Events& accepts(int n) {
        for (int i = 0; i < n; ++i) ack(fuzz::kAckAccept);
        return *this;
    }
    Events& main_cycle() {
        return main_transfer_begins().accepts(4).datagram(fuzz::kDatagramReport);
    }
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
    const auto upload_dir = dir / "fuzz_upload_procedure";
    std::filesystem::create_directories(upload_dir);

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

    Events main_upload;
    main_upload.start().main_cycle();
    write(upload_dir / "main", main_upload.bytes);

    Events legacy_upload;  // the size header and three blocks, each followed by a pause
    legacy_upload.start(fuzz::kFactLegacy).timer(uploadtimer::kStreamStart);
    legacy_upload.stream(fuzz::kStreamPauseDone).stream(fuzz::kStreamConnected);
    for (int item = 0; item < 4; ++item)
        legacy_upload.stream(fuzz::kStreamSent).stream(fuzz::kStreamPauseDone);
    for (int step = 0; step <= kStreamFinishSteps; ++step)
        legacy_upload.timer(uploadtimer::kFinishStep);
    write(upload_dir / "legacy", legacy_upload.bytes);

    Events no_reply;  // the guard ends the wait; the reply that comes later is dropped
    no_reply.start().timer(uploadtimer::kUploadGuard).datagram(fuzz::kDatagramReply);
    write(upload_dir / "no-reply", no_reply.bytes);

    Events overtaken;  // the report overtakes the last acknowledgement, which follows it
    overtaken.start().main_transfer_begins().accepts(3).datagram(fuzz::kDatagramReport);
    overtaken.accepts(1);
    write(upload_dir / "report-before-last-ack", overtaken.bytes);

    Events late;  // no report within the guard, then the report
    late.start().main_transfer_begins().accepts(4).timer(uploadtimer::kUploadGuard);
    late.datagram(fuzz::kDatagramReport);
    write(upload_dir / "late-report", late.bytes);

    Events search_wait;  // a search abandons the wait; the board's answers to it are dropped
    search_wait.start().op(fuzz::kOtherExchange).b(0);
    search_wait.datagram(fuzz::kDatagramReply).datagram(fuzz::kDatagramReport);
    write(upload_dir / "search-during-wait", search_wait.bytes);

    Events aging;  // two counted cycles and the last, uncounted upload
    aging.op(fuzz::kAgingLimit).b(1).op(fuzz::kBeginAging);
    for (int upload = 0; upload < 3; ++upload) aging.timer(uploadtimer::kAgingRestart).main_cycle();
    write(upload_dir / "aging-2", aging.bytes);
    return 0;
}
