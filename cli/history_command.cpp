// quorinctl history: the upload history, every board or one, as a table, CSV or JSON.
#include <QFile>

#include "cli/command_support.h"
#include "cli/commands.h"
#include "cli/json_out.h"
#include "cli/state_files.h"
#include "fleet/history.h"
#include "res/cli_texts.h"

namespace quorin::cli {
namespace {

namespace T = text::cli;

constexpr int kDigestShown = 12;  // of the image's sha256 in the table

}  // namespace

int history_command(const QString& board, OutputFormat format, Output io) {
    std::optional<fleet::Mac> only;
    if (!board.isEmpty()) {
        only = fleet::parse_mac(board.toStdString());
        if (!only) {
            io.err << "quorinctl: " << qs(T::kNotAMac).arg(board) << '\n';
            return kExitUsage;
        }
    }
    const QString path = history_path();
    std::vector<std::pair<std::string, fleet::HistoryEntry>> entries;  // line, entry
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        int number = 0;
        while (!file.atEnd()) {
            std::string line = file.readLine().toStdString();
            ++number;
            while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
            if (line.empty()) continue;
            auto read = fleet::read_history_line(line);
            if (!read.value) {
                io.err << "quorinctl: "
                       << qs(T::kHistoryLineSkipped).arg(path).arg(number).arg(qs(read.error))
                       << '\n';
                continue;
            }
            if (only && fleet::parse_mac(read.value->mac) != only) continue;
            entries.emplace_back(std::move(line), std::move(*read.value));
        }
    }
    if (format == OutputFormat::Json) {
        JsonOut json(io.out);
        json.raw("{\"format_version\": 1, \"entries\": [");
        for (std::size_t i = 0; i < entries.size(); ++i) {
            json.raw(i == 0 ? "\n  " : ",\n  ");
            json.raw(entries[i].first);  // as the history holds it: one object, already JSON
        }
        json.raw(entries.empty() ? "]}\n" : "\n]}\n");
        json.flush();
        return kExitOk;
    }
    std::vector<QStringList> rows{qs(T::kHistoryHeading).split('|')};
    for (const auto& [line, e] : entries) {
        const QString digest = qs(e.sha256).left(kDigestShown);
        rows.push_back({qs(e.time), qs(e.mac), qs(e.model), qs(e.firmware_before),
                        qs(e.firmware_after), qs(e.result),
                        qs(T::kHistoryImage).arg(digest).arg(e.size), qs(e.message)});
    }
    print_rows(io.out, format, rows, stdout_styling());
    return kExitOk;
}

}  // namespace quorin::cli
