// The site commands of quorinctl: a site file's boards compared with what answers (plan,
// audit), brought to it (apply) and back (rollback), and a site file made from what answers
// (site init). Exit statuses as every command's (fleet/site_run.h).
#pragma once

#include <QString>

#include "cli/commands.h"
#include "cli/table_out.h"

namespace quorin::cli {

struct RunOptions {
    int jobs = 16;      // set requests outstanding at most
    QString report;     // FILE.csv or FILE.json; empty: none
    QString journal;    // where the journal goes; empty: the state folder
    bool json = false;  // results on stdout as JSON
};
inline constexpr int kDefaultSetJobs = 16;
inline constexpr int kMaxSetJobs = 1024;

int site_init_command(const CommonOptions& o, const QString& ip_from, bool json, Output io);
int plan_command(const CommonOptions& o, const QString& site, const QString& out_path,
                 OutputFormat format, Output io);
int audit_command(const CommonOptions& o, const QString& site, bool json, Output io);
// `file` is a site file or a plan written by `plan --out`.
int site_apply_command(const CommonOptions& o, const QString& file, const RunOptions& r, Output io);
int rollback_command(const CommonOptions& o, const QString& journal, const RunOptions& r,
                     Output io);

// True when the text of `path` reads as a site file or a plan rather than a profile (so that
// `apply FILE` without boards takes it as a site).
bool is_site_or_plan(const QString& path);

}  // namespace quorin::cli
