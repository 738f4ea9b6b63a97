// The site file: every refusal with where it stands, in YAML and in JSON; what it accepts; the
// round trip through write_site_yaml; and the MAC, version and JSON string forms.
#include "fleet/site_file.h"

#include <gtest/gtest.h>

#include "settings/field_catalogue.h"

namespace quorin::fleet {
namespace {

// What a file says, without where it says it.
std::string contents(const SiteFile& site) {
    std::string out;
    const auto settings = [&](const std::vector<SiteSetting>& list) {
        for (const SiteSetting& s : list) out += " " + s.name + "=" + s.value;
        out += "\n";
    };
    for (const auto& [model, list] : site.defaults) {
        out += "defaults " + model;
        settings(list);
    }
    for (const SiteBoard& b : site.boards) {
        out += "board " + mac_text(b.mac) + " " + b.model;
        settings(b.settings);
    }
    for (const auto& [model, version] : site.firmware_min) out += model + ">=" + version + "\n";
    return out;
}

constexpr const char* kSite = R"(format_version: 1
defaults:
  Quorin712P:
    subnet_mask: 255.255.255.0
    channel[0].baud_rate: 9600
boards:
  - mac: 02:51:00:02:00:01
    model: Quorin712P
    settings:
      local_ip: 127.0.1.1
      channel[0].local_port: 4001
  - mac: 02-51-00-04-00-02
    settings:
      debug_mode: "on"
firmware_min:
  Quorin712P: 1.5.3
)";

TEST(SiteFile, ReadsEveryMemberInFileOrderWithWhereEachStands) {
    const auto read = read_site(kSite);
    ASSERT_TRUE(read.value) << read.error;
    const SiteFile& site = *read.value;
    EXPECT_EQ(contents(site),
              "defaults Quorin712P subnet_mask=255.255.255.0 channel[0].baud_rate=9600\n"
              "board 02:51:00:02:00:01 Quorin712P local_ip=127.0.1.1 channel[0].local_port=4001\n"
              "board 02:51:00:04:00:02  debug_mode=on\n"
              "Quorin712P>=1.5.3\n");
    EXPECT_EQ(site.boards[0].where, "line 7");
    EXPECT_EQ(site.boards[0].settings[1].where, "line 11");
    EXPECT_EQ(site.defaults[0].second[0].where, "line 4");

    const auto json = read_site(R"({"format_version": 1,
	"boards": [{"mac": "02:51:00:02:00:01", "model": "Quorin712P",
	            "settings": {"local_ip": "127.0.1.1", "channel[0].local_port": 4001}}]})");
    ASSERT_TRUE(json.value) << json.error;
    EXPECT_EQ(json.value->boards[0].where, "boards[0]");
    EXPECT_EQ(json.value->boards[0].settings[1].where, "boards[0].settings.channel[0].local_port");
    EXPECT_EQ(json.value->boards[0].settings[1].value, "4001");
}

// The site's name and the host that runs quorinctl there are read and written by both forms.
TEST(SiteFile, ItsNameAndAgentGoThroughBothForms) {
    const auto read =
        read_site("format_version: 1\nsite: plant-a\nagent: agent-a.example\nboards: []\n");
    ASSERT_TRUE(read.value) << read.error;
    EXPECT_EQ(read.value->name, "plant-a");
    EXPECT_EQ(read.value->agent, "agent-a.example");
    for (const std::string& text : {write_site_yaml(*read.value), write_site_json(*read.value)}) {
        const auto again = read_site(text);
        ASSERT_TRUE(again.value) << again.error << "\n" << text;
        EXPECT_EQ(again.value->name, "plant-a");
        EXPECT_EQ(again.value->agent, "agent-a.example");
    }
}

TEST(SiteFile, RefusesWhatItCannotTakeSayingWhere) {
    struct Case {
        const char* yaml;
        const char* yaml_where;
        const char* json;  // nullptr: the same fault has no JSON form worth its own case
        const char* json_where;
        const char* says;
    };
    const Case cases[] = {
        {"format_version: 1\nboards: [\n", "line 3", "{\"format_version\": 1,\n\"boards\": [",
         "line 2", ""},
        {"boards: []\n", "line 1", "{\"boards\": []}", "top level",
         "member \"format_version\" is missing"},
        {"format_version: 1\n", "line 1", "{\"format_version\": 1}", "top level",
         "member \"boards\" is missing"},
        {"format_version: 1\nboards: []\ncolour: red\n", "line 3",
         "{\"format_version\": 1, \"boards\": [], \"colour\": 1}", "colour",
         "unknown member \"colour\""},
        {"format_version: 1\nformat_version: 1\nboards: []\n", "line 2",
         "{\"format_version\": 1, \"format_version\": 1, \"boards\": []}", "format_version",
         "member \"format_version\" is given twice"},
        {"format_version: 2\nboards: []\n", "line 1", "{\"format_version\": 2, \"boards\": []}",
         "format_version", "format_version \"2\" is not one"},
        {"format_version: [1]\nboards: []\n", "line 1",
         "{\"format_version\": {\"a\": 1}, \"boards\": []}", "format_version",
         "expected a single value"},
        {"format_version: 1\nboards: {}\n", "line 2", "{\"format_version\": 1, \"boards\": 3}",
         "boards", "expected a list"},
        {"format_version: 1\nsite: \"\"\nboards: []\n", "line 2",
         "{\"format_version\": 1, \"agent\": \"a\\u0007b\", \"boards\": []}", "agent",
         "is not a name: one line of printable text"},
        {"format_version: 1\nboards:\n  - model: Quorin712P\n", "line 3",
         "{\"format_version\": 1, \"boards\": [{\"model\": \"Quorin712P\"}]}", "boards[0]",
         "member \"mac\" is missing"},
        {"format_version: 1\nboards:\n  - mac: 02:51:00:02:00\n", "line 3",
         "{\"format_version\": 1, \"boards\": [{\"mac\": \"02:51:00:02:00:0g\"}]}", "boards[0].mac",
         "is not a MAC address"},
        {"format_version: 1\nboards:\n  - mac: 02:51:00:02:00:01\n  - mac: 02-51-00-02-00-01\n",
         "line 4",
         "{\"format_version\": 1, \"boards\": [{\"mac\": \"02:51:00:02:00:01\"}, {\"mac\": "
         "\"02:51:00:02:00:01\"}]}",
         "boards[1].mac", "board 02:51:00:02:00:01 is listed twice"},
        {"format_version: 1\nboards:\n  - mac: 02:51:00:02:00:01\n    colour: red\n", "line 4",
         "{\"format_version\": 1, \"boards\": [{\"mac\": \"02:51:00:02:00:01\", \"colour\": 1}]}",
         "boards[0].colour", "unknown member \"colour\""},
        {"format_version: 1\nboards:\n  - mac: 02:51:00:02:00:01\n    model: Quorin9\n", "line 4",
         "{\"format_version\": 1, \"boards\": [{\"mac\": \"02:51:00:02:00:01\", \"model\": "
         "\"Quorin9\"}]}",
         "boards[0].model", "unknown model \"Quorin9\" (models: Quorin712P-T, Quorin712P,"},
        {"format_version: 1\ndefaults:\n  Quorin9: {}\nboards: []\n", "line 3",
         "{\"format_version\": 1, \"defaults\": {\"Quorin9\": {}}, \"boards\": []}",
         "defaults.Quorin9", "unknown model \"Quorin9\""},
        {"format_version: 1\nboards: []\nfirmware_min:\n  Quorin9: 1.0\n", "line 4", nullptr, "",
         "unknown model \"Quorin9\""},
        {"format_version: 1\nboards: []\nfirmware_min:\n  Quorin712P: 1..5\n", "line 4",
         "{\"format_version\": 1, \"boards\": [], \"firmware_min\": {\"Quorin712P\": \"v1\"}}",
         "firmware_min.Quorin712P", "is not a firmware version"},
        // Settings of a board of a known model, and defaults.
        {"format_version: 1\nboards:\n  - mac: 02:51:00:04:00:01\n    model: 5836KL\n"
         "    settings:\n      channel[1].local_port: 1\n",
         "line 6",
         "{\"format_version\": 1, \"boards\": [{\"mac\": \"02:51:00:04:00:01\", \"model\": "
         "\"5836KL\", \"settings\": {\"channel[1].local_port\": 1}}]}",
         "boards[0].settings.channel[1].local_port", "model 5836KL has no field \"channel[1]"},
        {"format_version: 1\ndefaults:\n  Quorin712P:\n    firmware_version: 1.5.3\nboards: []\n",
         "line 4",
         "{\"format_version\": 1, \"defaults\": {\"Quorin712P\": {\"firmware_version\": 1}}, "
         "\"boards\": []}",
         "defaults.Quorin712P.firmware_version", "field \"firmware_version\" cannot be set"},
        {"format_version: 1\ndefaults:\n  Quorin712P:\n    channel[0].baud_rate: 12345\n"
         "boards: []\n",
         "line 4", nullptr, "", "\"12345\" is not in the list of this board: 600,"},
        {"format_version: 1\ndefaults:\n  Quorin712P:\n    channel[0].local_port: 65536\n"
         "boards: []\n",
         "line 4", nullptr, "", "is not a whole number from 0 to 65535"},
        {"format_version: 1\nboards:\n  - mac: 02:51:00:02:00:01\n    model: Quorin712P\n"
         "    settings:\n      local_ip: 10.0.0\n",
         "line 6",
         "{\"format_version\": 1, \"boards\": [{\"mac\": \"02:51:00:02:00:01\", \"model\": "
         "\"Quorin712P\", \"settings\": {\"local_ip\": \"10.0.0\"}}]}",
         "boards[0].settings.local_ip", "is not an IPv4 address"},
        {"format_version: 1\nboards:\n  - mac: 02:51:00:02:00:01\n    model: Quorin712P\n"
         "    settings:\n      local_ip: [10.0.0.1]\n",
         "line 6",
         "{\"format_version\": 1, \"boards\": [{\"mac\": \"02:51:00:02:00:01\", \"model\": "
         "\"Quorin712P\", \"settings\": {\"local_ip\": null}}]}",
         "boards[0].settings.local_ip", "expected a single value|the value is missing"},
        {"format_version: 1\nboards:\n  - mac: 02:51:00:02:00:01\n    settings:\n"
         "      colour: red\n",
         "line 5",
         "{\"format_version\": 1, \"boards\": [{\"mac\": \"02:51:00:02:00:01\", \"settings\": "
         "{\"colour\": 1}}]}",
         "boards[0].settings.colour", "unknown field \"colour\""},
        // Without a model, a value no model takes.
        {"format_version: 1\nboards:\n  - mac: 02:51:00:02:00:01\n    settings:\n"
         "      channel[0].baud_rate: fast\n",
         "line 5", nullptr, "", "\"fast\" is not in the list of any model"},
        {"format_version: 1\nboards:\n  - mac: 02:51:00:02:00:01\n    settings:\n"
         "      local_ip: 10.0.0.1\n      local_ip: 10.0.0.2\n",
         "line 6", nullptr, "", "member \"local_ip\" is given twice"},
        // The same wanted address: two boards' own, or one default that two boards share.
        {"format_version: 1\nboards:\n  - mac: 02:51:00:02:00:01\n    settings:\n"
         "      local_ip: 10.0.0.1\n  - mac: 02:51:00:02:00:02\n    model: Quorin712P\n"
         "    settings:\n      local_ip: 10.0.0.001\n",
         "line 9",
         "{\"format_version\": 1, \"boards\": [{\"mac\": \"02:51:00:02:00:01\", \"settings\": "
         "{\"local_ip\": \"10.0.0.1\"}}, {\"mac\": \"02:51:00:02:00:02\", \"settings\": "
         "{\"local_ip\": \"10.0.0.1\"}}]}",
         "boards[1].settings.local_ip",
         "local_ip \"10.0.0.001\" is wanted for both 02:51:00:02:00:01 and 02:51:00:02:00:02|"
         "local_ip \"10.0.0.1\" is wanted for both"},
        {"format_version: 1\ndefaults:\n  Quorin712P:\n    local_ip: 10.0.0.9\nboards:\n"
         "  - mac: 02:51:00:02:00:01\n    model: Quorin712P\n"
         "  - mac: 02:51:00:02:00:02\n    model: Quorin712P\n",
         "line 4",
         "{\"format_version\": 1, \"defaults\": {\"Quorin712P\": {\"local_ip\": \"10.0.0.9\"}}, "
         "\"boards\": [{\"mac\": \"02:51:00:02:00:01\", \"model\": \"Quorin712P\"}, {\"mac\": "
         "\"02:51:00:02:00:02\", \"model\": \"Quorin712P\"}]}",
         "defaults.Quorin712P.local_ip", "local_ip \"10.0.0.9\" is wanted for both"},
        // Whole texts.
        {"format_version: 1\nboards: []\n---\nformat_version: 1\n", "line 4", nullptr, "",
         "more than one document"},
        // A stray comma after the text's one node (a reader that loops on it never returns).
        {"{\"format_version\": 1, \"boards\": []},", "top level", nullptr, "",
         "more than one document"},
        {"format_version: 1\nboards: []\n...\n{},\n", "line 4", nullptr, "",
         "more than one document"},
        {"format_version: \"1\\\x01\"\n", "line 1", nullptr, "", "unknown escape character: ?"},
        {"", "line 1", nullptr, "", "the text holds nothing"},
        {"- 1\n", "line 1", nullptr, "", "expected members"},
    };
    for (const Case& c : cases) {
        for (const bool json : {false, true}) {
            if (json && !c.json) continue;
            const char* text = json ? c.json : c.yaml;
            const std::string where = std::string(json ? c.json_where : c.yaml_where) + ": ";
            const auto read = read_site(text);
            EXPECT_FALSE(read.value) << text;
            EXPECT_EQ(read.error.substr(0, where.size()), where) << text << "\n" << read.error;
            // One of the alternatives, "|"-separated, which the two forms of the text word apart.
            const std::string says = c.says;
            bool found = false;
            for (std::size_t at = 0; at <= says.size();) {
                const std::size_t end = std::min(says.find('|', at), says.size());
                found = found || read.error.find(says.substr(at, end - at)) != std::string::npos;
                at = end + 1;
            }
            EXPECT_TRUE(found) << text << "\n" << read.error;
        }
    }
}

TEST(SiteFile, RefusesATextBeyondItsSizeAndNestingDeeperThanYamlCppTakes) {
    std::string big = "format_version: 1\nboards: []\n# ";
    big.resize((16u << 20) + 1, 'x');
    EXPECT_EQ(read_site(big).error, "line 1: the text is longer than 16777216 bytes");
    const std::string deep =
        "{\"boards\": " + std::string(5000, '[') + std::string(5000, ']') + "}";
    EXPECT_FALSE(read_site(deep).value);
}

// Values a board of the model takes on some firmware or with some other settings of its own.
TEST(SiteFile, TakesAValueSomeBoardOfTheModelTakes) {
    const char* values[][3] = {
        {"Quorin712P", "channel[0].baud_rate", "230400"},     // from 1.5.3 on
        {"Quorin712P", "channel[0].parity", "None"},          // with eight data bits
        {"Quorin712P", "channel[1].parity", "Odd"},           // with seven too
        {"Quorin712P", "trigger_chars[0]", "2B"},             // with the SW method
        {"Quorin712P", "pppoe_id", "user"},                   // with PPPoE addressing
        {"DAVRO2xM", "channel[0].data_mode", "Telnet mode"},  // from 1.6.2 on
        {"DAVRO2xM", "channel[0].flow_control", "RTSOnly"},
        {"Quorin712P", "debug_mode", "on"},  // disabled: follows the board
        {"BRV406H", "channel[0].baud_rate", "9600"},
    };
    for (const auto& [model, name, value] : values) {
        const std::string text = std::string("format_version: 1\ndefaults:\n  ") + model +
                                 ":\n    " + name + ": \"" + value + "\"\nboards: []\n";
        const auto read = read_site(text);
        EXPECT_TRUE(read.value) << text << read.error;
    }
}

// What `site init` writes for any board reads back as it was.
TEST(SiteFile, WrittenSiteReadsBackAsItWas) {
    SiteFile site;
    site.defaults.push_back({"Quorin712P", {{"subnet_mask", "255.255.255.0", ""}}});
    site.defaults.push_back({"BRV406H", {}});
    site.firmware_min.push_back({"Quorin712P", "1.5.3"});
    std::uint8_t id = 0;
    for (const ProductInfo& p : product_table()) {
        BoardRow row;
        row.mac_address = {0x02, 0x51, 0, p.code, 0, ++id};
        row.product_code = {0, p.code};
        row.local_ip = {10, 0, 0, id};
        row.firmware_major = 1;
        row.firmware_minor = 53;
        row.pppoe_id = {'a', '"', '\\', 'b'};
        for (auto& ch : row.channel) ch.data_bits = 1;
        SiteBoard board{row.mac_address, p.model_name, {}, ""};
        for (const settings::Field& f : settings::fields_of(row)) {
            if (f.settable()) board.settings.push_back({f.name, f.value, ""});
        }
        site.boards.push_back(board);
    }
    site.boards.push_back({{2, 0, 0, 0, 0, 9}, "", {{"channel[3].baud_rate", "230400", ""}}, ""});

    const std::string text = write_site_yaml(site);
    const auto read = read_site(text);
    ASSERT_TRUE(read.value) << read.error << "\n" << text;
    EXPECT_EQ(contents(*read.value), contents(site));
    EXPECT_EQ(write_site_yaml(*read.value), text);
    EXPECT_NE(text.find("\n      channel[0].local_port: \"0\"\n"), std::string::npos) << text;
}

TEST(SiteFile, WantedSettingsAreTheDefaultsOverlaidByTheBoardsOwn) {
    const auto site = read_site(R"(format_version: 1
defaults:
  Quorin712P: {subnet_mask: 255.0.0.0, local_ip: 10.0.0.1, gateway_ip: 10.0.0.254}
boards:
  - {mac: 02:51:00:02:00:01, settings: {dns_server_ip: 10.0.0.2, local_ip: 10.0.0.3}}
)");
    ASSERT_TRUE(site.value) << site.error;
    std::string names;
    for (const SiteSetting& s : wanted_settings(*site.value, site.value->boards[0], "Quorin712P")) {
        names += s.name + "=" + s.value + " ";
    }
    EXPECT_EQ(names,
              "subnet_mask=255.0.0.0 gateway_ip=10.0.0.254 dns_server_ip=10.0.0.2 "
              "local_ip=10.0.0.3 ");
    EXPECT_EQ(wanted_settings(*site.value, site.value->boards[0], "").size(), 2u);
}

TEST(SiteFile, MacTexts) {
    EXPECT_EQ(parse_mac("0a:1B:2c:3D:4e:5F"), (Mac{0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F}));
    EXPECT_EQ(parse_mac("0a-1b-2c-3d-4e-5f"), (Mac{0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F}));
    for (const char* bad : {"", "0a:1b:2c:3d:4e", "0a:1b:2c:3d:4e:5f:", "0a:1b-2c:3d:4e:5f",
                            "0a:1b:2c:3d:4e:5g", "0a.1b.2c.3d.4e.5f", "0a1b:2c:3d:4e:5f:6"}) {
        EXPECT_FALSE(parse_mac(bad)) << bad;
    }
}

TEST(SiteFile, VersionsCompareNumberByNumber) {
    struct Case {
        const char* a;
        const char* b;
        std::optional<int> result;
    };
    const Case cases[] = {
        {"1.5.2", "1.6", -1},
        {"1.10", "1.9", 1},
        {"1.5", "1.5.0", 0},
        {"1.05", "1.5", 0},
        {"2", "1.99.99", 1},
        {"0.0", "0", 0},
        {"99999999999999999999.1", "99999999999999999999.2", -1},
        {"1..5", "1", {}},
        {"1.", "1", {}},
        {".1", "1", {}},
        {"1.a", "1", {}},
        {"", "1", {}},
        {"1", "1 ", {}},
        {"1", "-1", {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(compare_versions(c.a, c.b), c.result) << c.a << " vs " << c.b;
        if (c.result) {
            EXPECT_EQ(compare_versions(c.b, c.a), -*c.result) << c.b << " vs " << c.a;
        }
    }
}

TEST(SiteFile, JsonStringsEscapeQuotesBackslashesAndControlCharacters) {
    std::string out = "x";
    append_json_string(out, std::string("a\"b\\c\n\x01\x7f\xc3\xa9", 10));
    EXPECT_EQ(out, "x\"a\\\"b\\\\c\\u000a\\u0001\\u007f\xc3\xa9\"");
}

}  // namespace
}  // namespace quorin::fleet
