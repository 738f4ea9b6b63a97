// quorinctl upload: one firmware image to several boards, at most --jobs at once.
#include <sys/ioctl.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>
#include <memory>
#include <optional>
#include <set>

#include "cli/board_upload.h"
#include "cli/command_support.h"
#include "cli/commands.h"
#include "cli/state_files.h"
#include "cli/upload_view.h"
#include "fleet/history.h"
#include "platform/window_timers.h"
#include "res/cli_texts.h"
#include "settings/field_catalogue.h"
#include "upload/image_file.h"

namespace quorin::cli {
namespace {

namespace T = text::cli;

// Bars need a terminal that moves the cursor, and room for every bar below the heading lines.
constexpr int kDefaultColumns = 80;
constexpr int kLinesBesideBars = 2;

struct Terminal {
    bool bars = false;
    int columns = kDefaultColumns;
};

Terminal stdout_terminal(std::size_t bars) {
    Terminal t;
    if (::isatty(STDOUT_FILENO) == 0 || qgetenv("TERM") == "dumb") return t;
    winsize size{};
    int rows = 0;
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0) {
        if (size.ws_col > 0) t.columns = size.ws_col;
        rows = size.ws_row;
    }
    t.bars = rows == 0 || static_cast<int>(bars) + kLinesBesideBars <= rows;
    return t;
}

// The image, checked before anything goes on the wire: it must open, hold at least one byte and
// fit the transfers' 32-bit size. Prints its size and sha256 and gives the sha256; nothing after
// saying what is wrong.
std::optional<QString> check_image(const QString& path, Output io) {
    const auto refuse = [&](const QString& message) {
        io.err << "quorinctl: " << message << '\n';
        return std::optional<QString>();
    };
    const ImageLoad image = read_image(path);
    switch (image.result) {
        case ImageLoad::Result::CannotOpen: {
            QFile file(path);
            const bool opened = file.open(QIODevice::ReadOnly);
            return refuse(qs(T::kImageCannotOpen)
                              .arg(path, opened ? QStringLiteral("?") : file.errorString()));
        }
        case ImageLoad::Result::TooLarge:
            return refuse(qs(T::kImageTooLarge).arg(path).arg(QFile(path).size()));
        case ImageLoad::Result::ReadFailed:
            return refuse(qs(T::kImageChanged).arg(path));
        case ImageLoad::Result::Ok:
            break;
    }
    if (upload_refusal(upload_facts(image.bytes.size())) == UploadOutcome::ImageEmpty)
        return refuse(qs(T::kImageEmpty).arg(path));
    const QByteArray sha256 =
        QCryptographicHash::hash(
            QByteArrayView(image.bytes.data(), static_cast<qsizetype>(image.bytes.size())),
            QCryptographicHash::Sha256)
            .toHex();
    io.out
        << qs(T::kImageSummary).arg(path).arg(image.bytes.size()).arg(QString::fromLatin1(sha256))
        << '\n';
    io.out.flush();
    return QString::fromLatin1(sha256);
}

// The manifest that applies to the image: the one given, else IMAGE.json when it exists (nullopt
// without either, after saying so once). False in `ok` after saying why it cannot be used: it does
// not read, or the image is not the one it describes.
std::optional<fleet::Manifest> image_manifest(const QString& image, const QString& digest,
                                              const UploadChecks& checks, Output io, bool& ok) {
    ok = true;
    const QString beside = image + QStringLiteral(".json");
    const QString path = checks.manifest.isEmpty() ? beside : checks.manifest;
    if (checks.manifest.isEmpty() && !QFileInfo::exists(beside)) {
        io.err << "quorinctl: " << qs(T::kNoManifest).arg(image, beside) << '\n';
        return std::nullopt;
    }
    const auto refuse = [&](const QString& message) {
        io.err << "quorinctl: " << message << '\n';
        ok = false;
        return std::optional<fleet::Manifest>();
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return refuse(qs(T::kManifestUnreadable).arg(path, file.errorString()));
    const QByteArray text = file.read(static_cast<qint64>(fleet::kMaxManifestBytes) + 1);
    const auto read = fleet::read_manifest(std::string_view(text.constData(), text.size()));
    if (!read.value) return refuse(qs(T::kManifestRefused).arg(path, qs(read.error)));
    if (!fleet::digest_matches(*read.value, digest.toStdString())) {
        return refuse(qs(T::kImageNotTheManifests).arg(image, digest, qs(read.value->sha256)));
    }
    QStringList models;
    for (const std::string& m : read.value->models) models << qs(m);
    io.out << qs(T::kManifestUsed).arg(path, qs(read.value->version), models.join(", ")) << '\n';
    return read.value;
}

// A board named twice would get two transfers at once. Names alike are refused before the
// search; a MAC and an address of the same board once the search has resolved them.
QString named_twice(const std::vector<BoardName>& names) {
    std::set<QString> seen;
    for (const BoardName& n : names) {
        const QString key = n.mac ? qs(mac_text(*n.mac)) : n.ip.toString();
        if (!seen.insert(key).second) return n.text;
    }
    return {};
}

// What every history line of this run shares: when, who, where, which image.
fleet::HistoryEntry history_base(const QString& image, const QString& digest) {
    fleet::HistoryEntry e;
    e.time = utc_now_iso().toStdString();
    e.user = qEnvironmentVariable("USER").toStdString();
    e.host = QSysInfo::machineHostName().toStdString();
    e.sha256 = digest.toStdString();
    e.size = static_cast<std::uint64_t>(QFileInfo(image).size());
    return e;
}

fleet::HistoryEntry history_of(fleet::HistoryEntry e, const FoundBoard& board,
                               std::string_view result, const QString& message) {
    const auto firmware = settings::field_of(board.row, "firmware_version");
    e.mac = mac_text(board.row.mac_address);
    e.model = settings::model_label(board.row);
    e.firmware_before = firmware ? firmware->value : std::string();
    e.result = std::string(result);
    e.message = message.toStdString();
    return e;
}

// Appends the run's lines to the history; says so when it cannot (the uploads' outcome stands).
void record_history(const std::vector<fleet::HistoryEntry>& entries, Output io) {
    if (entries.empty()) return;
    std::string lines;
    for (const fleet::HistoryEntry& e : entries) lines += fleet::history_line(e);
    QString error;
    if (!append_durably(history_path(), lines, &error)) {
        io.err << "quorinctl: " << qs(T::kHistoryNotWritten).arg(error) << '\n';
    }
}

}  // namespace

int upload_command(const CommonOptions& o, const QString& image, const QStringList& boards,
                   int jobs, const UploadChecks& checks, Output io) {
    const auto names = parse_boards(boards, io);
    if (!names) return kExitUsage;
    if (const QString twice = named_twice(*names); !twice.isEmpty()) {
        io.err << "quorinctl: " << qs(T::kBoardNamedTwice).arg(twice) << '\n';
        return kExitUsage;
    }
    const auto digest = check_image(image, io);
    if (!digest) return kExitUsage;
    bool manifest_ok = true;
    const auto manifest = image_manifest(image, *digest, checks, io, manifest_ok);
    if (!manifest_ok) return kExitUsage;

    const auto resolved = find_named(o, *names, io);
    if (!resolved) return kExitFailure;
    auto& engine = resolved->engine;
    std::set<BoardEngine::Mac> macs;
    for (std::size_t i = 0; i < resolved->boards.size(); ++i) {
        if (!macs.insert(resolved->boards[i].row.mac_address).second) {
            io.err << "quorinctl: " << qs(T::kBoardNamedTwice).arg(boards[qsizetype(i)]) << '\n';
            return kExitUsage;
        }
    }

    // The manifest's verdict on every board before anything is sent: a refusal of one stops the
    // run; a board already at the version is left out.
    std::vector<FoundBoard> chosen;
    const fleet::HistoryEntry base = history_base(image, *digest);
    std::vector<fleet::HistoryEntry> history;
    if (manifest) {
        int refused = 0;
        for (const FoundBoard& b : resolved->boards) {
            const auto fw = settings::field_of(b.row, "firmware_version");
            const fleet::ManifestVerdict v =
                fleet::judge_board(*manifest, settings::model_label(b.row),
                                   fw ? fw->value : std::string(), checks.overrides);
            const QString mac = qs(mac_text(b.row.mac_address));
            if (v.kind == fleet::ManifestVerdict::Refuse) {
                ++refused;
                const std::string_view hint =
                    v.why == fleet::ManifestVerdict::ModelNotListed ? T::kHintIgnoreCompatible
                    : v.why == fleet::ManifestVerdict::Newer        ? T::kHintAllowOlder
                                                                    : std::string_view();
                io.err << "quorinctl: "
                       << qs(T::kBoardRefusedByManifest).arg(mac, qs(v.reason) + qs(hint)) << '\n';
            } else if (v.kind == fleet::ManifestVerdict::Skip) {
                io.out << qs(T::kBoardSkipped).arg(mac, qs(v.reason)) << '\n';
                history.push_back(history_of(base, b, "skipped", qs(v.reason)));
            } else {
                chosen.push_back(b);
            }
        }
        if (refused > 0) {
            io.err << "quorinctl: " << qs(T::kBoardsRefusedByManifest).arg(refused) << '\n';
            return kExitUsage;
        }
        if (chosen.empty()) {
            record_history(history, io);
            io.out << qs(T::kEveryBoardSkipped).arg(qs(manifest->version)) << '\n';
            return kExitOk;
        }
    } else {
        chosen = resolved->boards;
    }

    // One upload per board, each with its own window timers (declared first: they outlive it).
    const BoardUpload::Target target{o.upload_port, o.stream_port, image};
    std::vector<std::unique_ptr<platform::QtWindowTimers>> timers;
    std::vector<std::unique_ptr<BoardUpload>> uploads;
    std::vector<BoardUpload*> routed;
    for (const FoundBoard& b : chosen) {
        timers.push_back(std::make_unique<platform::QtWindowTimers>());
        uploads.push_back(std::make_unique<BoardUpload>(*engine, b, target, *timers.back()));
        routed.push_back(uploads.back().get());
    }
    route_to_uploads(*engine, routed);

    const Terminal terminal = stdout_terminal(uploads.size());
    UploadView view(io.out, {routed.begin(), routed.end()}, terminal.bars, terminal.columns);
    QEventLoop loop;
    std::size_t next = 0;
    int running = 0;
    std::size_t ended = 0;
    // Starts uploads until `jobs` run; quits once every upload has ended. Always called from the
    // event loop, never from inside an upload's own report.
    const auto fill = [&] {
        while (running < jobs && next < uploads.size()) {
            ++running;
            uploads[next++]->start();
        }
        if (ended == uploads.size()) loop.quit();
    };
    std::vector<bool> counted(uploads.size(), false);
    for (std::size_t i = 0; i < uploads.size(); ++i) {
        uploads[i]->setObserver([&, i] {
            view.changed(i);
            if (!uploads[i]->ended() || counted[i]) return;
            counted[i] = true;
            --running;
            ++ended;
            QMetaObject::invokeMethod(&loop, fill, Qt::QueuedConnection);
        });
    }
    QMetaObject::invokeMethod(&loop, fill, Qt::QueuedConnection);
    loop.exec();
    engine->route_by_board({});
    view.finish();

    const bool all_done = std::all_of(uploads.begin(), uploads.end(), [](const auto& u) {
        return u->phase() == BoardUpload::Phase::Done;
    });
    for (const auto& u : uploads) {
        const bool done = u->phase() == BoardUpload::Phase::Done;
        history.push_back(history_of(base, u->board(), done ? "done" : "failed",
                                     u->messages().isEmpty() ? QString() : u->messages().last()));
    }
    record_history(history, io);
    return all_done ? kExitOk : kExitFailure;
}

}  // namespace quorin::cli
