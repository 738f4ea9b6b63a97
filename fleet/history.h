// The upload history: one JSON object a line (JSON Lines), appended for every board an upload
// run uploaded to or skipped, read back by `quorinctl history`. Pure C++; the command line owns
// the file.
//
//   {"format_version": 1, "time": "2026-12-09T13:20:00Z", "user": "ops", "host": "bench",
//    "mac": "02:51:00:02:00:00", "model": "Quorin712P", "firmware_before": "1.5.0",
//    "firmware_after": "", "sha256": "...", "size": 2000, "result": "done", "message": "..."}
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "fleet/site_file.h"

namespace quorin::fleet {

struct HistoryEntry {
    std::string time;  // ISO 8601 UTC
    std::string user;
    std::string host;
    std::string mac;  // "02:51:00:02:00:00"
    std::string model;
    std::string firmware_before;  // as the board reported it before the upload
    std::string firmware_after;   // as it reported it after; empty when not read again
    std::string sha256;           // of the image
    std::uint64_t size = 0;       // of the image, in bytes
    std::string result;           // "done", "failed" or "skipped"
    std::string message;          // the board's or the tool's words for the result
};

// The entry as one line, '\n' included.
std::string history_line(const HistoryEntry& entry);

// One line of the file (without its '\n'); refuses anything but an entry of format_version 1.
ReadResult<HistoryEntry> read_history_line(std::string_view line);

}  // namespace quorin::fleet
