// The upload history's lines: written and read back as they were, hostile texts included, and
// lines that are not entries refused.
#include "fleet/history.h"

#include <gtest/gtest.h>

namespace quorin::fleet {
namespace {

TEST(History, ALineReadsBackAsItWasWritten) {
    HistoryEntry e{"2026-12-09T13:20:00Z",
                   "o\"ps",
                   "bench\n\x1b[2J",
                   "02:51:00:02:00:00",
                   "Quorin712P",
                   "1.5.0",
                   "",
                   std::string(64, 'a'),
                   4294967295u,
                   "done",
                   "Firmware Upload COMPLETED"};
    const std::string line = history_line(e);
    ASSERT_EQ(line.back(), '\n');
    EXPECT_EQ(line.find('\n'), line.size() - 1) << "one line, whatever the texts hold";
    const auto read = read_history_line(line.substr(0, line.size() - 1));
    ASSERT_TRUE(read.value) << read.error;
    EXPECT_EQ(history_line(*read.value), line);
    EXPECT_EQ(read.value->host, e.host);
    EXPECT_EQ(read.value->size, e.size);
}

TEST(History, RefusesWhatIsNotAnEntry) {
    std::string good = history_line({});
    good.pop_back();
    const struct {
        std::string line;
        const char* says;
    } cases[] = {
        {"time: now", "not a JSON object"},
        {"{\"format_version\": 1}", "is missing"},
        {good.substr(0, good.size() - 1) + ", \"colour\": 1}", "unknown member"},
        {std::string(good).replace(good.find("\"size\": 0"), 9, "\"size\": -1"),
         "is not a size in bytes"},
        {std::string(good).replace(good.find("1"), 1, "2"), "format_version \"2\""},
    };
    for (const auto& c : cases) {
        const auto read = read_history_line(c.line);
        EXPECT_FALSE(read.value) << c.line;
        EXPECT_NE(read.error.find(c.says), std::string::npos) << c.line << "\n" << read.error;
    }
}

}  // namespace
}  // namespace quorin::fleet
