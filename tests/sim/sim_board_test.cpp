// Board lists, addresses, default settings, the short specifications of the command line and the
// JSON form of boards.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <set>

#include "sim/board_json.h"
#include "sim/sim_board.h"

namespace quorin::sim {
namespace {

std::array<std::uint8_t, 4> ip(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
    return {a, b, c, d};
}

TEST(BoardAddress, EachBoardItsOwnAddress254PerBlock) {
    struct Case {
        std::array<std::uint8_t, 4> base;
        int index;
        std::array<std::uint8_t, 4> expected;
    } const cases[] = {
        {ip(127, 0, 1, 0), 0, ip(127, 0, 1, 1)},       {ip(127, 0, 1, 0), 253, ip(127, 0, 1, 254)},
        {ip(127, 0, 1, 0), 254, ip(127, 0, 2, 1)},     {ip(127, 0, 1, 0), 300, ip(127, 0, 2, 47)},
        {ip(10, 99, 0, 0), 5, ip(10, 99, 0, 6)},       {ip(127, 0, 255, 0), 254, ip(127, 1, 0, 1)},
        {ip(10, 213, 1, 0), 199, ip(10, 213, 1, 200)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(board_address(c.base, c.index), c.expected)
            << ipv4_text(c.base) << " + " << c.index;
    }
}

TEST(DefaultBoards, MacsAndAddressesAreUnique) {
    std::set<std::array<std::uint8_t, 6>> macs;
    std::set<std::array<std::uint8_t, 4>> ips;
    const auto codes = parse_board_list("all:150,0107:50,0104:20", nullptr).value();
    for (std::size_t i = 0; i < codes.size(); ++i) {
        const int index = static_cast<int>(i);
        const BoardRow row =
            default_board_row(codes[i], index, board_address({127, 0, 1, 0}, index));
        macs.insert(row.mac_address);
        ips.insert(row.local_ip);
        EXPECT_EQ(row.product_code, codes[i]);
    }
    EXPECT_EQ(macs.size(), codes.size());
    EXPECT_EQ(ips.size(), codes.size());
}

TEST(DefaultBoards, SettingsAreVariedAndValid) {
    std::set<int> ip_modes, versions, operation_modes, bauds;
    for (const char* text : {"0001", "0002", "0003", "0004", "0005", "0006", "0107"}) {
        const auto product = parse_product_code(text).value();
        const BoardLayout layout = board_layout(product);
        for (int index = 0; index < 40; ++index) {
            SCOPED_TRACE(std::string(text) + " #" + std::to_string(index));
            const BoardRow row = default_board_row(product, index, {127, 0, 1, 1});
            ip_modes.insert(row.ip_mode);
            const int minor = row.firmware_minor;
            versions.insert(row.firmware_major * 100 + (minor > 10 ? minor : minor * 10));
            EXPECT_LE(row.ip_mode, 2);
            EXPECT_LE(row.serial_command_method, 2);
            for (int c = 0; c < kChannelBlocks; ++c) {
                const ChannelBlock& ch = row.channel[c];
                if (c >= layout.channel_records) {
                    EXPECT_EQ(ch, ChannelBlock{}) << "channel " << c << " is not carried";
                    continue;
                }
                operation_modes.insert(ch.operation_mode);
                bauds.insert(ch.baud_rate);
                EXPECT_LE(ch.flow_control, 3);
                EXPECT_LE(ch.stop_bits, 3);
                if (ch.data_bits == 0) {
                    EXPECT_TRUE(ch.parity == 1 || ch.parity == 2) << "7 bits need odd or even";
                }
                if (layout.protocol == BoardProtocol::Legacy) {
                    EXPECT_LT(ch.baud_rate, 8);
                    EXPECT_LE(ch.packing_size, 255u);
                }
            }
        }
    }
    EXPECT_EQ(ip_modes, (std::set<int>{0, 1, 2}));
    EXPECT_TRUE(versions.count(150) && versions.count(153)) << "both sides of the 153 boundary";
    EXPECT_EQ(operation_modes, (std::set<int>{0, 1, 2}));
    EXPECT_GE(bauds.size(), 9u);
}

TEST(BoardSpec, Expands) {
    struct Case {
        const char* text;
        std::vector<std::string> expected;  // product code texts
    } const cases[] = {
        {"0002:3", {"0002", "0002", "0002"}},
        {"all:1", {"0001", "0002", "0003", "0004", "0005", "0006"}},
        {"all:2",
         {"0001", "0001", "0002", "0002", "0003", "0003", "0004", "0004", "0005", "0005", "0006",
          "0006"}},
        {"0107:1", {"0107"}},
        {"0004", {"0004"}},
        {"all", {"0001", "0002", "0003", "0004", "0005", "0006"}},
        {"0002:1, 0004:2", {"0002", "0004", "0004"}},
        {"0006:0", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::string error;
        const auto codes = parse_board_list(c.text, &error);
        ASSERT_TRUE(codes) << error;
        std::vector<std::string> texts;
        for (const auto& code : *codes) texts.push_back(product_code_string(code));
        EXPECT_EQ(texts, c.expected);
    }
    EXPECT_EQ(parse_board_list("0002:40", nullptr)->size(), 40u);
}

TEST(BoardSpec, RejectsMalformedItems) {
    for (const char* text : {"zz:1", "0002:-1", "0002:x", "00020:1", "002:1", "0002:99999"}) {
        std::string error;
        EXPECT_FALSE(parse_board_list(text, &error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

TEST(FaultRule, TargetsIndexesAndRanges) {
    std::string error;
    const auto rule = parse_fault_rule("0,3-5:reply_delay_ms=250", &error);
    ASSERT_TRUE(rule) << error;
    EXPECT_EQ(rule->indexes, (std::vector<int>{0, 3, 4, 5}));
    EXPECT_EQ(rule->name, "reply_delay_ms");
    EXPECT_EQ(rule->value, "250");
    const auto all = parse_fault_rule("all:search_twice", &error);
    ASSERT_TRUE(all) << error;
    EXPECT_TRUE(all->all);
}

TEST(FaultRule, RejectsMalformedItems) {
    for (const char* text :
         {"search_twice", "1:bogus", "x:search_twice", "5-3:search_twice", "1:reply_delay_ms=abc",
          "1:ack_byte=256", "1:search_twice=maybe", "1:truncate_reply"}) {
        std::string error;
        EXPECT_FALSE(parse_fault_rule(text, &error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

TEST(FaultRule, EveryHookCanBeSet) {
    struct Case {
        const char* name;
        const char* value;
        FaultConfig expected;
    };
    auto with = [](auto set) {
        FaultConfig f;
        set(f);
        return f;
    };
    const Case cases[] = {
        {"search_twice", "", with([](FaultConfig& f) { f.search_twice = true; })},
        {"reply_delay_ms", "400", with([](FaultConfig& f) { f.reply_delay_ms = 400; })},
        {"truncate_reply", "100", with([](FaultConfig& f) { f.truncate_reply = 100; })},
        {"wrong_opcode", "4", with([](FaultConfig& f) { f.wrong_opcode = 4; })},
        {"ack_stop_after", "2", with([](FaultConfig& f) { f.ack_stop_after = 2; })},
        {"ack_byte", "0x21", with([](FaultConfig& f) { f.ack_byte = 0x21; })},
        {"refuse_upload", "true", with([](FaultConfig& f) { f.refuse_upload = true; })},
        {"ignore_set", "", with([](FaultConfig& f) { f.ignore_set = true; })},
        {"close_after_blocks", "3", with([](FaultConfig& f) { f.close_after_blocks = 3; })},
        {"no_upload_complete", "1", with([](FaultConfig& f) { f.no_upload_complete = true; })},
        {"upgrade_keeps_version", "", with([](FaultConfig& f) { f.upgrade_keeps_version = true; })},
        {"upgrade_changes_settings", "true",
         with([](FaultConfig& f) { f.upgrade_changes_settings = true; })},
        {"upgrade_never_returns", "1",
         with([](FaultConfig& f) { f.upgrade_never_returns = true; })},
    };
    ASSERT_EQ(std::size(cases), fault_names().size());
    for (const auto& c : cases) {
        FaultConfig f;
        std::string error;
        EXPECT_TRUE(set_fault(f, c.name, c.value, &error)) << c.name << ": " << error;
        EXPECT_EQ(f, c.expected) << c.name;
        EXPECT_TRUE(f.any());
    }
}

TEST(FirmwareText, ReadsBackTheBytesOfAVersionText) {
    struct Case {
        const char* text;
        FirmwareBytes bytes;
    } const cases[] = {{"1.6.2", {1, 62}},  {"1.5.0", {1, 5}},    {"2.1.0", {2, 1}},
                       {"1.1.1", {1, 11}},  {"0.0.0", {0, 0}},    {"1.2.0", {1, 2}},
                       {"1.10.0", {1, 10}}, {"1.20.0", {1, 200}}, {"255.25.5", {255, 255}}};
    for (const auto& c : cases) {
        EXPECT_EQ(parse_firmware_text(c.text), c.bytes) << c.text;
        EXPECT_EQ(firmware_text(c.bytes), c.text);
    }
    for (const char* text : {"1.0.5", "1.26.0", "1.25.6", "256.1.0", "01.5.0", "1.05.0", "1.5",
                             "1.5.0.0", " 1.5.0", "-1.5.0", "x", ""}) {
        EXPECT_FALSE(parse_firmware_text(text)) << '"' << text << '"';
    }
}

TEST(BoardJson, RowUsesTheRecordsFieldNames) {
    const BoardRow row = default_board_row({0, 2}, 4, {127, 0, 1, 5});
    const QJsonObject o = row_to_json(row);
    EXPECT_EQ(o.value("mac_address").toString(), "02:51:00:02:00:04");
    EXPECT_EQ(o.value("product_code").toString(), "0002");
    EXPECT_EQ(o.value("local_ip").toString(), "127.0.1.5");
    EXPECT_EQ(o.value("gateway_ip").toString(), "127.0.1.254");
    EXPECT_EQ(o.value("trigger_chars").toString(), "2b2b2b");
    EXPECT_EQ(o.value("pppoe_id").toString(), "user004");
    EXPECT_EQ(o.value("ip_mode").toInt(), 2);
    const QJsonArray channels = o.value("channel").toArray();
    ASSERT_EQ(channels.size(), 4);
    EXPECT_EQ(channels[0].toObject().value("local_port").toInt(), 5000);
    EXPECT_EQ(channels[1].toObject().value("local_port").toInt(), 5001);
    EXPECT_TRUE(channels[3].toObject().contains("data_mode"));
}

TEST(BoardJson, BoardsFileRoundTrip) {
    std::vector<SimBoard> boards;
    const auto codes = parse_board_list("all:2,0107:1", nullptr).value();
    for (std::size_t i = 0; i < codes.size(); ++i) {
        const int index = static_cast<int>(i);
        boards.push_back(
            {default_board_row(codes[i], index, board_address({10, 99, 0, 0}, index)), {}});
    }
    boards[1].faults.search_twice = true;
    boards[2].faults.ack_byte = 0x21;
    boards[3].faults.close_after_blocks = 0;
    boards[4].row.channel[0].domain_name = {'x', 0, 'y'};  // bytes after the terminator go

    QString error;
    const auto back = boards_from_json(QJsonDocument::fromJson(boards_to_json(boards).toJson()),
                                       {127, 0, 1, 0}, 0, &error);
    ASSERT_TRUE(back) << error.toStdString();
    ASSERT_EQ(back->size(), boards.size());
    boards[4].row.channel[0].domain_name = {'x'};
    for (std::size_t i = 0; i < boards.size(); ++i) {
        EXPECT_EQ((*back)[i].row, boards[i].row) << i;
        EXPECT_EQ((*back)[i].faults, boards[i].faults) << i;
    }
}

TEST(BoardJson, EntriesOverrideDefaults) {
    const char* json = R"({"boards": [
        {"product_code": "0002", "count": 2, "faults": {"reply_delay_ms": 100}},
        {"product_code": "0004", "local_ip": "10.1.2.3", "mac_address": "AA:BB:CC:DD:EE:01",
         "channel": [{"baud_rate": 3}], "pppoe_id": "bob"}
    ]})";
    QString error;
    const auto boards = boards_from_json(QJsonDocument::fromJson(json), {127, 0, 1, 0}, 10, &error);
    ASSERT_TRUE(boards) << error.toStdString();
    ASSERT_EQ(boards->size(), 3u);
    EXPECT_EQ((*boards)[0].row.local_ip, ip(127, 0, 1, 11));  // numbered from first_index 10
    EXPECT_EQ((*boards)[1].row.local_ip, ip(127, 0, 1, 12));
    EXPECT_EQ((*boards)[1].faults.reply_delay_ms, 100);
    const BoardRow& legacy = (*boards)[2].row;
    const BoardRow defaults = default_board_row({0, 4}, 12, ip(127, 0, 1, 13));
    EXPECT_EQ(legacy.local_ip, ip(10, 1, 2, 3));
    EXPECT_EQ(legacy.mac_address,
              (std::array<std::uint8_t, 6>{0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0x01}));
    EXPECT_EQ(legacy.channel[0].baud_rate, 3);
    EXPECT_EQ(legacy.channel[0].remote_port, defaults.channel[0].remote_port);
    EXPECT_EQ(legacy.pppoe_id[0], 'b');
}

TEST(BoardJson, RejectsWhatItCannotTake) {
    const char* cases[] = {
        R"([{"local_ip": "1.2.3.4"}])",                           // no product code
        R"([{"product_code": "0002", "local_ipp": "1.2.3.4"}])",  // misspelt field
        R"([{"product_code": "0002", "local_ip": "1.2.3"}])",     // bad address
        R"([{"product_code": "0002", "ip_mode": 256}])",          // out of range
        R"([{"product_code": "0002", "ip_mode": "1"}])",          // wrong form
        R"([{"product_code": "0002", "count": 2, "local_ip": "1.2.3.4"}])",
        R"([{"product_code": "0002", "channel": [{"bogus": 1}]}])",
        R"([{"product_code": "0002", "channel": [{}, {}, {}, {}, {}]}])",
        R"([{"product_code": "0002", "faults": {"nope": true}}])",
        R"([{"product_code": "0002", "pppoe_id": "0123456789012345678901234567890123"}])",
        R"({"boards": 3})",
    };
    for (const char* json : cases) {
        QString error;
        EXPECT_FALSE(boards_from_json(QJsonDocument::fromJson(json), {127, 0, 1, 0}, 0, &error))
            << json;
        EXPECT_FALSE(error.isEmpty()) << json;
    }
}

TEST(BoardJson, ChangedFieldsNameWhatDiffers) {
    const BoardRow before = default_board_row({0, 6}, 0, {127, 0, 1, 1});
    BoardRow after = before;
    after.local_ip = {10, 0, 0, 9};
    after.channel[2].baud_rate = static_cast<std::uint8_t>(before.channel[2].baud_rate + 1);
    EXPECT_EQ(changed_fields(before, after), (QJsonArray{"local_ip", "channel[2].baud_rate"}));
    EXPECT_TRUE(changed_fields(before, before).isEmpty());
}

}  // namespace
}  // namespace quorin::sim
