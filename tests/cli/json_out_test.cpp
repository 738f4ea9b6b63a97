// JSON strings as the listing writes them: texts that need no escape copied whole, the others
// escaped, and a text longer than the buffer split across it without a byte lost.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QTextStream>
#include <string>

#include "cli/json_out.h"

namespace quorin::cli {
namespace {

std::string written(const std::string& text) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QTextStream out(&buffer);
    {
        JsonOut json(out);
        json.string(text);
    }
    return buffer.data().toStdString();
}

TEST(JsonOut, StringsAreQuotedAndEscapedWhereNeeded) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "\"\""},
        {"channel[0].baud_rate", "\"channel[0].baud_rate\""},
        {"Qu\xc3\xb6rin", "\"Qu\xc3\xb6rin\""},
        {"say \"hi\"", "\"say \\\"hi\\\"\""},
        {"back\\slash", "\"back\\\\slash\""},
        {"tab\there\nnew\rcr", "\"tab\\there\\nnew\\rcr\""},
        {std::string("nul\0x", 5), "\"nul\\u0000x\""},
        {"\x1f", "\"\\u001f\""},
    };
    for (const auto& [text, json] : cases) EXPECT_EQ(written(text), json) << text;
}

TEST(JsonOut, TextsLongerThanTheBufferArriveWhole) {
    const std::string plain(kJsonChunkBytes * 2 + 17, 'a');
    EXPECT_EQ(written(plain), "\"" + plain + "\"");
    std::string quoted(kJsonChunkBytes + 5, 'b');
    quoted[kJsonChunkBytes] = '"';
    std::string expected = "\"" + quoted + "\"";
    expected.replace(kJsonChunkBytes + 1, 1, "\\\"");
    EXPECT_EQ(written(quoted), expected);
}

}  // namespace
}  // namespace quorin::cli
