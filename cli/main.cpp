// quorinctl: finds, shows and configures boards from a shell, through the same protocol core and
// settings rules as the window.
//
// Arguments are parsed with CLI11: subcommands with their own --help, typed and range-checked
// options, and usage errors reported without hand-written parsing.
#include <CLI/CLI.hpp>
#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>
#include <iostream>

#include "cli/commands.h"
#include "cli/site_commands.h"
#include "res/cli_texts.h"
#include "res/version.h"
#include "settings/field_catalogue.h"

namespace {

using namespace quorin::cli;

// Adds the options every command shares; they may come before or after the command's name.
void add_common(CLI::App& app, CommonOptions& o, std::string& broadcast, std::string& interface) {
    const std::string group = "Network (defaults are the real ones; tests aim them at loopback)";
    app.add_option("--broadcast", broadcast,
                   "Send requests to ADDRESS instead of 255.255.255.255 on every interface")
        ->option_text("ADDRESS")
        ->group(group);
    app.add_option("--interface", interface, "Search and send only on interface NAME")
        ->option_text("NAME")
        ->group(group);
    app.add_option("--port", o.link.main_port, "The boards' main UDP port (34001)")
        ->option_text("PORT")
        ->check(CLI::Range(1, 65535))
        ->group(group);
    app.add_option("--legacy-port", o.link.legacy_board_port, "The boards' legacy UDP port (50002)")
        ->option_text("PORT")
        ->check(CLI::Range(1, 65535))
        ->group(group);
    app.add_option("--legacy-local-port", o.link.legacy_local_port,
                   "Our own legacy UDP port (50001; 0 for any)")
        ->option_text("PORT")
        ->check(CLI::Range(0, 65535))
        ->group(group);
    app.add_option("--upload-port", o.upload_port,
                   "The boards' TCP port for firmware uploads (34005)")
        ->option_text("PORT")
        ->check(CLI::Range(1, 65535))
        ->group(group);
    app.add_option("--stream-port", o.stream_port,
                   "The TCP port for firmware uploads to 5836KL boards (50003)")
        ->option_text("PORT")
        ->check(CLI::Range(1, 65535))
        ->group(group);
    app.add_option("--wait", o.wait_ms, "How long to wait for replies, in ms (1500)")
        ->option_text("MS")
        ->check(CLI::Range(1, 600000))
        ->group(group);
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication qt(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const Output io{out, err};

    CLI::App app{"Find, show and configure serial-to-Ethernet boards from a shell.", "quorinctl"};
    app.set_version_flag("--version", std::string("quorinctl ") + QUORIN_VERSION);
    app.require_subcommand(1);
    app.fallthrough();
    app.get_formatter()->column_width(36);

    CommonOptions o;
    std::string broadcast, interface;
    add_common(app, o, broadcast, interface);

    bool json = false, dry_run = false;
    std::string board, profile;
    std::vector<std::string> assignments, boards;

    CLI::App* search = app.add_subcommand("search", "List every board that answers a search");
    std::string format = "table";
    CLI::Option* format_option =
        search->add_option("--format", format, "table, json or csv (table)")
            ->option_text("FORMAT")
            ->check(CLI::IsMember({"table", "json", "csv"}));
    search->add_flag("--json", json, "Each board's record as JSON: --format json")
        ->excludes(format_option);
    search->add_option("--expect", o.expect, "End the search once N boards have answered")
        ->option_text("N")
        ->check(CLI::Range(1, 100000));

    CLI::App* show = app.add_subcommand("show", "Every setting of one board, with its value list");
    show->add_option("BOARD", board, "MAC or IP address")->required();
    show->add_flag("--json", json, "As JSON");

    CLI::App* set =
        app.add_subcommand("set", "Change settings of one board, then read them back and compare");
    set->add_option("BOARD", board, "MAC or IP address")->required();
    set->add_option("FIELD=VALUE", assignments, "Field names as 'quorinctl show' lists them")
        ->required();
    set->add_flag("--dry-run", dry_run, "Check and print the changes; send nothing");

    CLI::App* exp = app.add_subcommand("export", "Print a board's settings as a profile (JSON)");
    exp->add_option("BOARD", board, "MAC or IP address")->required();

    RunOptions run;
    std::string report_file, journal_out;
    CLI::App* apply = app.add_subcommand(
        "apply",
        "Bring boards to a site file or a plan (with no BOARD), or write a profile to the boards "
        "named; then read back and compare");
    apply
        ->add_option("FILE", profile,
                     "A site file, a plan written by 'quorinctl plan --out', or a profile written "
                     "by 'quorinctl export'")
        ->required();
    apply->add_option("BOARD", boards, "Profile: MAC or IP address of each board to write");
    apply->add_flag("--dry-run", dry_run, "Profile: check and print the changes; send nothing");
    apply->add_option("--jobs", run.jobs, "Site: at most N set requests outstanding (16)")
        ->option_text("N")
        ->check(CLI::Range(1, kMaxSetJobs));
    apply
        ->add_option("--report", report_file,
                     "Site: also write the results to FILE.csv or FILE.json")
        ->option_text("FILE");
    apply
        ->add_option("--journal", journal_out,
                     "Site: write the journal to FILE (default: a new file under "
                     "$XDG_STATE_HOME/quorinctl/)")
        ->option_text("FILE");
    apply->add_flag("--json", run.json, "Site: the results as JSON");

    CLI::App* diagnose = app.add_subcommand(
        "diagnose", "Explain why boards may not be found: interfaces, routes, ports, addresses");

    std::string image;
    int jobs = kDefaultUploadJobs;
    CLI::App* upload =
        app.add_subcommand("upload", "Upload a firmware image to boards, several at once");
    upload->add_option("IMAGE", image, "The firmware image file (.bin)")->required();
    upload->add_option("BOARD", boards, "MAC or IP address")->required();
    upload->add_option("--jobs", jobs, "At most N boards at once (4)")
        ->option_text("N")
        ->check(CLI::Range(1, kMaxUploadJobs));
    UploadChecks upload_checks;
    std::string manifest;
    upload
        ->add_option("--manifest", manifest,
                     "The image's manifest (default: IMAGE.json beside it, when there is one)")
        ->option_text("FILE");
    upload->add_flag("--ignore-compatible", upload_checks.overrides.ignore_compatible,
                     "Upload to boards of models the manifest does not list");
    upload->add_flag("--reinstall", upload_checks.overrides.reinstall,
                     "Upload to boards already at the manifest's version");
    upload->add_flag("--allow-older", upload_checks.overrides.allow_older,
                     "Upload to boards newer than the manifest's version");
    UploadRollout upload_rollout;
    std::string upload_order = "named";
    upload
        ->add_option("--canary", upload_rollout.canary,
                     "Upgrade and verify the first K boards before the others start; a failure "
                     "among them stops the run")
        ->option_text("K")
        ->check(CLI::NonNegativeNumber);
    upload
        ->add_option("--max-failures", upload_rollout.max_failures,
                     "After F failures no new board starts (0: no limit)")
        ->option_text("F")
        ->check(CLI::NonNegativeNumber);
    upload
        ->add_option("--order", upload_order,
                     "Upgrade the boards as named, by MAC or by IP address (named)")
        ->option_text("named|mac|ip")
        ->check(CLI::IsMember({"named", "mac", "ip"}));
    upload
        ->add_option("--verify-timeout", upload_rollout.verify_timeout_s,
                     "Seconds an upgraded board has to answer a search again (120)")
        ->option_text("S")
        ->check(CLI::Range(1, 86400));
    upload->add_flag("--json", upload_rollout.json, "Print the results as JSON");
    upload->add_flag("--dry-run", upload_rollout.dry_run,
                     "Check the image and judge every board against its manifest; send nothing");

    CLI::App* site = app.add_subcommand("site", "Site files");
    site->require_subcommand(1);
    std::string ip_from;
    CLI::App* init = site->add_subcommand(
        "init", "Print a site file (YAML) for every board that answers a search");
    init->add_option("--ip-from", ip_from,
                     "Give the boards, ordered by MAC, consecutive addresses from this one")
        ->option_text("A.B.C.D");
    init->add_flag("--json", json, "As JSON");

    std::string site_file, out_file;
    CLI::App* plan = app.add_subcommand(
        "plan", "Compare boards with a site file: what apply would change, who did not answer");
    plan->add_option("SITE", site_file, "The site file (YAML or JSON)")->required();
    plan->add_option("--out", out_file, "Write the plan, with every board's settings, to FILE")
        ->option_text("FILE");
    plan->add_option("--format", format, "table, json or csv")
        ->check(CLI::IsMember({"table", "json", "csv"}));
    plan->add_flag("--json", json, "Same as --format json");

    CLI::App* audit = app.add_subcommand(
        "audit", "Check boards against a site file: differences, firmware, boards missing");
    audit->add_option("SITE", site_file, "The site file (YAML or JSON)")->required();
    audit->add_flag("--json", json, "As JSON");

    std::string journal_file;
    CLI::App* rollback = app.add_subcommand(
        "rollback", "Write every board of a journal back to the settings it recorded");
    rollback->add_option("JOURNAL", journal_file, "A journal written by apply or rollback")
        ->required();
    rollback->add_option("--jobs", run.jobs, "At most N set requests outstanding (16)")
        ->option_text("N")
        ->check(CLI::Range(1, kMaxSetJobs));
    rollback->add_option("--report", report_file, "Also write the results to FILE.csv or FILE.json")
        ->option_text("FILE");
    rollback->add_option("--journal", journal_out, "Write this run's own journal to FILE")
        ->option_text("FILE");
    rollback->add_flag("--json", run.json, "The results as JSON");

    std::string history_board;
    CLI::App* history =
        app.add_subcommand("history", "The upload history: every board, or one by its MAC");
    history->add_option("BOARD", history_board, "A board's MAC address");
    history->add_option("--format", format, "table, json or csv (table)")
        ->check(CLI::IsMember({"table", "json", "csv"}));
    history->add_flag("--json", json, "Same as --format json");

    app.footer(
        "Exit status: 0 success, nothing to change or compliant; 1 failure; 2 bad input (nothing "
        "sent); 3 changes pending (plan) or findings (audit); 4 partial (some boards done, others "
        "failed or not reached); 130 interrupted.");

    for (CLI::App* command :
         {search, show, set, exp, apply, diagnose, upload, init, plan, audit, rollback}) {
        command->footer(
            "Also takes --wait MS and the network options (--broadcast, --interface, --port, "
            "--legacy-port, --legacy-local-port, --upload-port, --stream-port): see quorinctl "
            "--help.");
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int status = app.exit(e, std::cout, std::cerr);
        return status == 0 ? kExitOk : kExitUsage;
    }

    if (!broadcast.empty()) {
        o.link.broadcast = QHostAddress(QString::fromStdString(broadcast));
        if (o.link.broadcast.protocol() != QAbstractSocket::IPv4Protocol) {
            const std::string_view message = quorin::text::cli::kBadBroadcast;
            err << "quorinctl: "
                << QString::fromUtf8(message.data(), static_cast<qsizetype>(message.size()))
                       .arg(QString::fromStdString(quorin::settings::quoted_value(broadcast)))
                << '\n';
            return kExitUsage;
        }
    }
    o.link.interface_name = QString::fromStdString(interface);

    const auto qlist = [](const std::vector<std::string>& v) {
        QStringList l;
        for (const std::string& s : v) l << QString::fromStdString(s);
        return l;
    };
    const QString b = QString::fromStdString(board);
    run.report = QString::fromStdString(report_file);
    run.journal = QString::fromStdString(journal_out);
    if (*search) {
        return search_command(o, json ? OutputFormat::Json : *output_format(format), io);
    }
    if (*show) return show_command(o, b, json, io);
    if (*set) return set_command(o, b, qlist(assignments), dry_run, io);
    if (*exp) return export_command(o, b, io);
    if (*apply) {
        const QString file = QString::fromStdString(profile);
        if (boards.empty() && is_site_or_plan(file)) return site_apply_command(o, file, run, io);
        if (boards.empty()) {
            err << "quorinctl: apply: a profile needs at least one BOARD\n";
            return kExitUsage;
        }
        return apply_command(o, file, qlist(boards), dry_run, io);
    }
    if (*init) return site_init_command(o, QString::fromStdString(ip_from), json, io);
    if (*plan) {
        const OutputFormat f = json ? OutputFormat::Json : *output_format(format);
        return plan_command(o, QString::fromStdString(site_file), QString::fromStdString(out_file),
                            f, io);
    }
    if (*history) {
        return history_command(QString::fromStdString(history_board),
                               json ? OutputFormat::Json : *output_format(format), io);
    }
    if (*audit) return audit_command(o, QString::fromStdString(site_file), json, io);
    if (*rollback) return rollback_command(o, QString::fromStdString(journal_file), run, io);
    if (*diagnose) return diagnose_command(o, io);
    if (*upload) {
        upload_checks.manifest = QString::fromStdString(manifest);
        upload_rollout.order = upload_order == "mac"  ? quorin::fleet::RolloutOrder::Mac
                               : upload_order == "ip" ? quorin::fleet::RolloutOrder::Ip
                                                      : quorin::fleet::RolloutOrder::Named;
        return upload_command(o, QString::fromStdString(image), qlist(boards), jobs, upload_checks,
                              upload_rollout, io);
    }
    return kExitUsage;
}
