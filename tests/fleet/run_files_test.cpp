// The plan and the journal: round trips, and the refusals of what is not one, by member path.
#include <gtest/gtest.h>

#include "fleet/site_file.h"

namespace quorin::fleet {
namespace {

BoardSettings board(std::uint8_t id) {
    return {{2, 0x51, 0, 2, 0, id},
            "Quorin712P",
            "10.0.0." + std::to_string(id),
            "1.5.3",
            {{"local_ip", "10.0.0." + std::to_string(id)}, {"pppoe_id", "a\"b\\c\td\xc3\xa9"}},
            "0a1b"};
}

bool same(const BoardSettings& a, const BoardSettings& b) {
    return a.mac == b.mac && a.model == b.model && a.local_ip == b.local_ip &&
           a.firmware == b.firmware && a.values == b.values;
}

PlanFile plan() {
    PlanFile p;
    p.site = "sites/hall \"B\".yaml";
    p.created = "2024-05-01T10:00:00Z";
    p.boards.push_back({board(1), {{"local_ip", "10.0.0.1", "10.0.0.7"}, {"pppoe_id", "", "x"}}});
    p.boards.push_back({board(2), {}});
    p.missing = {{2, 0x51, 0, 2, 0, 3}};
    return p;
}

TEST(RunFiles, PlanReadsBackAsItWas) {
    const PlanFile p = plan();
    const std::string text = write_plan_json(p);
    const auto read = read_plan(text);
    ASSERT_TRUE(read.value) << read.error << "\n" << text;
    EXPECT_EQ(read.value->site, p.site);
    EXPECT_EQ(read.value->created, p.created);
    ASSERT_EQ(read.value->boards.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_TRUE(same(read.value->boards[i].current, p.boards[i].current));
        ASSERT_EQ(read.value->boards[i].changes.size(), p.boards[i].changes.size());
        for (std::size_t k = 0; k < p.boards[i].changes.size(); ++k) {
            EXPECT_EQ(read.value->boards[i].changes[k].field, p.boards[i].changes[k].field);
            EXPECT_EQ(read.value->boards[i].changes[k].now, p.boards[i].changes[k].now);
            EXPECT_EQ(read.value->boards[i].changes[k].wanted, p.boards[i].changes[k].wanted);
        }
    }
    EXPECT_EQ(read.value->missing, p.missing);
    EXPECT_TRUE(read.value->unlisted.empty());
    EXPECT_EQ(write_plan_json(*read.value), text);
    EXPECT_TRUE(looks_like_plan(text));
    EXPECT_NE(text.find("\"kind\": \"plan\""), std::string::npos);
}

TEST(RunFiles, JournalReadsBackAsItWas) {
    const Journal j{"2024-05-01T10:00:00Z", "rollback", {board(1), board(9)}};
    const std::string text = write_journal_json(j);
    const auto read = read_journal(text);
    ASSERT_TRUE(read.value) << read.error << "\n" << text;
    EXPECT_EQ(read.value->created, j.created);
    EXPECT_EQ(read.value->command, j.command);
    ASSERT_EQ(read.value->boards.size(), 2u);
    EXPECT_TRUE(same(read.value->boards[1], j.boards[1]));
    EXPECT_EQ(write_journal_json(*read.value), text);
    EXPECT_FALSE(looks_like_plan(text));
    const Journal empty{"t", "apply", {}};
    EXPECT_TRUE(read_journal(write_journal_json(empty)).value);
}

// Replaces the first `from` of `text` by `to`.
std::string edited(std::string text, const std::string& from, const std::string& to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

TEST(RunFiles, RefusesAnythingElseByMemberPath) {
    const std::string p = write_plan_json(plan());
    const std::string j = write_journal_json({"t", "apply", {board(1)}});
    struct Case {
        std::string text;
        bool is_plan;
        const char* error;
    };
    const Case cases[] = {
        {"kind: plan\n", true, "line 1: not a JSON object"},
        {edited(p, "\"kind\": \"plan\"", "\"kind\": \"journal\""), true,
         "kind: kind \"journal\" is not \"plan\""},
        {j, true, "kind: kind \"journal\" is not \"plan\""},
        {edited(p, "\"format_version\": 1", "\"format_version\": 3"), true,
         "format_version: format_version \"3\" is not one this tool reads (it reads 1)"},
        {edited(p, "\"site\"", "\"sight\""), true, "sight: unknown member \"sight\""},
        {edited(p, "\"missing\": [\"02:51:00:02:00:03\"],", ""), true,
         "top level: member \"missing\" is missing"},
        {edited(p, "\"mac\": \"02:51:00:02:00:01\"", "\"mac\": \"x\""), true,
         "boards[0].mac: \"x\" is not a MAC address (0A:1B:2C:3D:4E:5F)"},
        {edited(p, "\"now\": \"10.0.0.1\"", "\"now\": [1]"), true,
         "boards[0].changes[0].now: expected a single value, not a list or members"},
        {edited(p, "\"wanted\": \"x\"", "\"x\": \"x\""), true,
         "boards[0].changes[1].x: unknown member \"x\""},
        {edited(p, "\"pppoe_id\"", "\"local_ip\""), true,
         "boards[0].settings.local_ip: member \"local_ip\" is given twice"},
        // A name the tool never writes (one of over 1024 characters would not read back).
        {edited(j, "\"pppoe_id\"", "\"pppoe_idx\""), false,
         "boards[0].settings.pppoe_idx: unknown field \"pppoe_idx\""},
        {edited(p, "\"field\": \"local_ip\"", "\"field\": \"colour\""), true,
         "boards[0].changes[0].field: unknown field \"colour\""},
        {edited(p, "\"unlisted\": []", "\"unlisted\": [\"02:51\"]"), true,
         "unlisted[0]: \"02:51\" is not a MAC address (0A:1B:2C:3D:4E:5F)"},
        {edited(j, "\"command\": \"apply\"", "\"command\": \"plan\""), false,
         "command: command \"plan\" is neither \"apply\" nor \"rollback\""},
        {edited(j, "\"firmware\": \"1.5.3\",", ""), false,
         "boards[0]: member \"firmware\" is missing"},
        {edited(j, "\"firmware\": \"1.5.3\"", "\"firmware\": null"), false,
         "boards[0].firmware: the value is missing (write \"\" for none)"},
        {edited(j, "\"boards\": [", "\"boards\": {\"a\": ["), false, "line "},
    };
    for (const Case& c : cases) {
        const std::string error = c.is_plan ? read_plan(c.text).error : read_journal(c.text).error;
        EXPECT_EQ(error.substr(0, std::string(c.error).size()), c.error) << c.text;
    }
}

TEST(RunFiles, OnlyAJsonObjectOfKindPlanLooksLikeAPlan) {
    EXPECT_TRUE(looks_like_plan(" \n{\"kind\": \"plan\"}"));
    EXPECT_FALSE(looks_like_plan("kind: plan\n"));
    EXPECT_FALSE(looks_like_plan("{\"kind\": [\"plan\"]}"));
    EXPECT_FALSE(looks_like_plan("{\"kind\": \"plan\""));
    EXPECT_FALSE(looks_like_plan("{\"format_version\": 1, \"boards\": []}"));
}

}  // namespace
}  // namespace quorin::fleet
