// quorinctl upload: one firmware image to several boards, at most --jobs at once.
#include <sys/ioctl.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QEventLoop>
#include <QFile>
#include <memory>
#include <set>

#include "cli/board_upload.h"
#include "cli/command_support.h"
#include "cli/commands.h"
#include "cli/upload_view.h"
#include "platform/window_timers.h"
#include "res/cli_texts.h"
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
// fit the transfers' 32-bit size. Prints its size and sha256; false after saying what is wrong.
bool check_image(const QString& path, Output io) {
    const auto refuse = [&](const QString& message) {
        io.err << "quorinctl: " << message << '\n';
        return false;
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
    return true;
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

}  // namespace

int upload_command(const CommonOptions& o, const QString& image, const QStringList& boards,
                   int jobs, Output io) {
    const auto names = parse_boards(boards, io);
    if (!names) return kExitUsage;
    if (const QString twice = named_twice(*names); !twice.isEmpty()) {
        io.err << "quorinctl: " << qs(T::kBoardNamedTwice).arg(twice) << '\n';
        return kExitUsage;
    }
    if (!check_image(image, io)) return kExitUsage;

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

    // One upload per board, each with its own window timers (declared first: they outlive it).
    const BoardUpload::Target target{o.upload_port, o.stream_port, image};
    std::vector<std::unique_ptr<platform::QtWindowTimers>> timers;
    std::vector<std::unique_ptr<BoardUpload>> uploads;
    std::vector<BoardUpload*> routed;
    for (const FoundBoard& b : resolved->boards) {
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
    return all_done ? kExitOk : kExitFailure;
}

}  // namespace quorin::cli
