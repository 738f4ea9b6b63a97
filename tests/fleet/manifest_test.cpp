// The firmware manifest: what it takes, what it refuses (saying where), and its verdict on a
// board by model and version.
#include "fleet/manifest.h"

#include <gtest/gtest.h>

#include <string>

namespace quorin::fleet {
namespace {

const std::string kDigest(64, 'a');

std::string manifest_text(const std::string& members) {
    return "{\"format_version\": 1, \"version\": \"1.6.2\", \"models\": [\"Quorin712P\", "
           "\"DAVRO2xM\"], \"sha256\": \"" +
           kDigest + "\"" + members + "}";
}

TEST(Manifest, ReadsItsMembersAndTheDigestInEitherCase) {
    const auto read = read_manifest(manifest_text(", \"min_from\": \"1.5.0\""));
    ASSERT_TRUE(read.value) << read.error;
    EXPECT_EQ(read.value->version, "1.6.2");
    EXPECT_EQ(read.value->models, (std::vector<std::string>{"Quorin712P", "DAVRO2xM"}));
    EXPECT_EQ(read.value->min_from, "1.5.0");
    EXPECT_TRUE(digest_matches(*read.value, std::string(64, 'A')));
    EXPECT_FALSE(digest_matches(*read.value, std::string(63, 'a')));
    EXPECT_FALSE(digest_matches(*read.value, std::string(64, 'b')));
}

TEST(Manifest, RefusesWhatItCannotTakeSayingWhere) {
    const struct {
        std::string text;
        std::string error;
    } cases[] = {
        {"version: 1.6.2\n", "line 1: not a JSON object"},
        {manifest_text(", \"colour\": 1"), "colour: unknown member \"colour\""},
        {"{\"format_version\": 1, \"version\": \"1.6.2\", \"models\": [\"Quorin712P\"]}",
         "top level: member \"sha256\" is missing"},
        {"{\"format_version\": 2, \"version\": \"1.6.2\", \"models\": [\"Quorin712P\"], "
         "\"sha256\": \"" +
             kDigest + "\"}",
         "format_version: format_version \"2\" is not one this tool reads"},
        {"{\"format_version\": 1, \"version\": \"1.6\", \"models\": [\"Toaster\"], "
         "\"sha256\": \"" +
             kDigest + "\"}",
         "models[0]: unknown model \"Toaster\""},
        {"{\"format_version\": 1, \"version\": \"1.6\", \"models\": [], \"sha256\": \"" + kDigest +
             "\"}",
         "models: the manifest lists no model"},
        {"{\"format_version\": 1, \"version\": \"1.x\", \"models\": [\"Quorin712P\"], "
         "\"sha256\": \"" +
             kDigest + "\"}",
         "version: \"1.x\" is not a firmware version"},
        {"{\"format_version\": 1, \"version\": \"1.6\", \"models\": [\"Quorin712P\"], "
         "\"sha256\": \"abc\"}",
         "sha256: \"abc\" is not a SHA-256 digest"},
        {manifest_text(", \"min_from\": \"1.7\""), "min_from: min_from \"1.7\" is above"},
    };
    for (const auto& c : cases) {
        const auto read = read_manifest(c.text);
        EXPECT_FALSE(read.value) << c.text;
        EXPECT_EQ(read.error.substr(0, c.error.size()), c.error) << c.text;
    }
}

TEST(Manifest, JudgesABoardByItsModelAndVersion) {
    const Manifest m{"1.6.2", {"Quorin712P", "DAVRO2xM"}, kDigest, "1.5.0"};
    using V = ManifestVerdict;
    const ManifestOverrides none, ignore{true, false, false}, reinstall{false, true, false},
        older{false, false, true};
    const struct {
        const char* model;
        const char* firmware;
        ManifestOverrides overrides;
        V::Kind kind;
        const char* says;
    } cases[] = {
        {"Quorin712P", "1.5.3", none, V::Upload, ""},
        {"DAVRO2xM", "1.5", none, V::Upload, ""},  // 1.5 is 1.5.0
        {"BRV406H", "1.5.3", none, V::Refuse, "model BRV406H is not among the models of image"},
        {"BRV406H", "1.5.3", ignore, V::Upload, ""},
        {"Quorin712P", "1.6.2", none, V::Skip, "already at 1.6.2"},
        {"Quorin712P", "1.6.2.0", none, V::Skip, "already at 1.6.2"},
        {"Quorin712P", "1.6.2", reinstall, V::Upload, ""},
        {"Quorin712P", "1.10", none, V::Refuse, "its firmware 1.10 is newer than the image's"},
        {"Quorin712P", "1.10", older, V::Upload, ""},
        {"Quorin712P", "1.4.9", none, V::Refuse, "it needs an intermediate image first"},
        {"Quorin712P", "1.4.9", older, V::Refuse, "below 1.5.0"},
        {"Quorin712P", "", none, V::Refuse, "cannot be compared"},
    };
    for (const auto& c : cases) {
        const ManifestVerdict v = judge_board(m, c.model, c.firmware, c.overrides);
        EXPECT_EQ(v.kind, c.kind) << c.model << " " << c.firmware << ": " << v.reason;
        EXPECT_NE(v.reason.find(c.says), std::string::npos) << v.reason;
    }
}

}  // namespace
}  // namespace quorin::fleet
