// libFuzzer entry for the readers of the files the tool takes: the input's first byte chooses the
// site file (written back as YAML or as JSON), the plan, the journal, an upload history line or a
// firmware manifest, the rest is the text. Every text is either refused with a message that says
// where and holds no control character, or accepted; what was accepted is written again, reads
// back, and writes the same text a second time. Aborts on the first broken invariant.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "fleet/history.h"
#include "fleet/manifest.h"
#include "fleet/site_file.h"
#include "tools/fuzz/fuzz_support.h"

namespace {

using namespace quorin::fleet;

// A message fit for a terminal: not empty, no control characters (a hostile value is quoted).
bool printable(const std::string& message) {
    if (message.empty()) return false;
    for (const char c : message) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f) return false;
    }
    return true;
}

template <typename T, typename Read, typename Write>
void round_trip(std::string_view text, Read read, Write write) {
    const ReadResult<T> first = read(text);
    if (!first.value) {
        if (!printable(first.error)) {
            std::fprintf(stderr, "refusal of %zu bytes:", first.error.size());
            for (const char c : first.error)
                std::fprintf(stderr, " %02x", static_cast<unsigned char>(c));
            std::fprintf(stderr, "\n");
        }
        CHECK(printable(first.error));
        return;
    }
    const std::string written = write(*first.value);
    const ReadResult<T> again = read(written);
    CHECK(again.value.has_value());
    CHECK(write(*again.value) == written);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (data[0] % 6) {
        case 0:
            round_trip<SiteFile>(text, read_site, write_site_yaml);
            break;
        case 1: {
            round_trip<SiteFile>(text, read_site, write_site_json);
            // Every board's wanted settings: each name once.
            if (const auto site = read_site(text); site.value) {
                for (const SiteBoard& b : site.value->boards) {
                    const auto wanted = wanted_settings(*site.value, b, b.model);
                    for (std::size_t i = 0; i < wanted.size(); ++i)
                        for (std::size_t j = i + 1; j < wanted.size(); ++j)
                            CHECK(wanted[i].name != wanted[j].name);
                }
            }
            break;
        }
        case 2:
            round_trip<PlanFile>(text, read_plan, write_plan_json);
            break;
        case 3:
            round_trip<Journal>(text, read_journal, write_journal_json);
            break;
        case 4: {
            // A history line, without its '\n'.
            const ReadResult<HistoryEntry> read = read_history_line(text);
            if (!read.value) {
                CHECK(printable(read.error));
                break;
            }
            std::string line = history_line(*read.value);
            line.pop_back();
            const ReadResult<HistoryEntry> again = read_history_line(line);
            CHECK(again.value.has_value());
            CHECK(history_line(*again.value) == line + '\n');
            break;
        }
        default: {
            // No writer: what is accepted holds comparable versions and a digest that matches.
            const ReadResult<Manifest> read = read_manifest(text);
            if (!read.value) {
                CHECK(printable(read.error));
                break;
            }
            CHECK(compare_versions(read.value->version, read.value->version).has_value());
            CHECK(!read.value->models.empty());
            CHECK(digest_matches(*read.value, read.value->sha256));
            break;
        }
    }
    return 0;
}
