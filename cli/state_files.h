// Where quorinctl keeps what it must not lose, and how it writes it: $XDG_STATE_HOME/quorinctl
// ($HOME/.local/state/quorinctl when XDG_STATE_HOME is unset, empty or relative), files made
// whole on disk before the command goes on.
#pragma once

#include <QString>
#include <string_view>

namespace quorin::cli {

// The folder for `xdg_state_home` and `home` (the environment's values; either may be empty).
QString state_dir_for(const QString& xdg_state_home, const QString& home);
QString state_dir();

// "journal-20261209T073314Z-1234.json": a name no other run of the same second takes.
QString journal_name(const QString& utc_stamp, qint64 pid);
// Where a run that names no journal of its own keeps it: state_dir()/journal_name(now, this
// process).
QString new_journal_path();

// Writes `bytes` to `path` (making its folder), flushed to the disk before it returns: the bytes
// go to a temporary file beside it, which is synced and renamed over `path`, and the folder is
// synced. False with `error` set when any step fails; no partial file is left at `path`.
bool write_durably(const QString& path, std::string_view bytes, QString* error);

// Appends `bytes` to `path` (making its folder and the file, mode 0600) in one write, synced to
// the disk before it returns. False with `error` set when it could not.
bool append_durably(const QString& path, std::string_view bytes, QString* error);

// The upload history: state_dir()/history.jsonl.
QString history_path();

// The current time in UTC: "2026-12-09T07:33:14Z" (iso) or "20261209T073314Z" (stamp).
QString utc_now_iso();
QString utc_now_stamp();

}  // namespace quorin::cli
