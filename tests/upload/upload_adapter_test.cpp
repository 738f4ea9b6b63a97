// The transfers' Qt adapters without a window, as a command line would use them: real TCP on
// loopback against the board simulator, manual timers, and the instant pacer wherever the test is
// not about the worker's own timing.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QElapsedTimer>

#include <QCoreApplication>
#include <QFile>
#include <memory>
#include <utility>
#include <vector>

#include "protocol/upload_transfer.h"
#include "res/texts.h"
#include "tests/support/manual_window_timers.h"
#include "tests/support/upload_sim.h"
#include "upload/image_file.h"
#include "upload/pacer.h"
#include "upload/upload_sock.h"
#include "upload/upload_worker.h"

namespace quorin {
namespace {

using testing::ImageFiles;
using testing::UploadSimulator;
using testing::waitFor;

QString qs(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Everything a transfer tells its host, in the order told.
struct RecordingHost final : TransferHost {
    void setProgressRange(int upper) override { range = upper; }
    void setProgressStepSize(int step) override { step_size = step; }
    void stepProgress() override { ++steps; }
    void setProgressPosition(int p) override { pos = p; }
    void showMessage(const QString& text) override { messages << text; }
    void appendLog(const QString& line) override { logs << line; }
    void transferSentWhole(TransferKind) override { ++sent_whole; }
    void transferEnded(TransferKind kind, TransferOutcome outcome) override {
        ended.emplace_back(kind, outcome);
    }
    int calls() const {
        return static_cast<int>(messages.size() + logs.size() + ended.size()) + steps + sent_whole;
    }

    int range = -1, step_size = 0, steps = 0, pos = -1, sent_whole = 0;
    QStringList messages, logs;
    std::vector<std::pair<TransferKind, TransferOutcome>> ended;
};

QHostAddress address_of(const BoardRow& row) {
    return QHostAddress(QStringLiteral("%1.%2.%3.%4")
                            .arg(row.local_ip[0])
                            .arg(row.local_ip[1])
                            .arg(row.local_ip[2])
                            .arg(row.local_ip[3]));
}

// --- reading the image -------------------------------------------------------------------------

TEST(ImageFile, IsReadWholeOrRefused) {
    ImageFiles files;
    const QByteArray image = testing::test_image(1500);
    const ImageLoad ok = read_image(files.write("fw.bin", image));
    ASSERT_EQ(ok.result, ImageLoad::Result::Ok);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(ok.bytes.data()),
                         static_cast<qsizetype>(ok.bytes.size())),
              image);

    const ImageLoad empty = read_image(files.write("empty.bin", {}));
    EXPECT_EQ(empty.result, ImageLoad::Result::Ok);
    EXPECT_TRUE(empty.bytes.empty());

    EXPECT_EQ(read_image(files.path("missing.bin")).result, ImageLoad::Result::CannotOpen);
    EXPECT_EQ(read_image(files.path("")).result, ImageLoad::Result::CannotOpen);

    // A file whose length is not what its size says (the system makes it up as it is read).
    if (QFile::exists("/proc/self/status")) {
        const ImageLoad changing = read_image("/proc/self/status");
        EXPECT_EQ(changing.result, ImageLoad::Result::ReadFailed);
        EXPECT_TRUE(changing.bytes.empty());
    }

    // 4 GiB, sparse: refused from its size alone, without reading it.
    QFile huge(files.path("huge.bin"));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
    if (!huge.resize(qint64{1} << 32)) GTEST_SKIP() << "no room for a sparse 4 GiB file here";
    huge.close();
    EXPECT_EQ(read_image(huge.fileName()).result, ImageLoad::Result::TooLarge);
    QFile::remove(huge.fileName());
}

// --- acknowledged transfers ----------------------------------------------------------------------

// One board's transfer as a command line would hold it: its own timers and host.
struct AckRun {
    platform::ManualWindowTimers timers;
    RecordingHost host;
    CUploadSock sock{host, timers};
    AckRun() {
        timers.setHandler([this](int id) { sock.OnTimer(id); });
    }
};

TEST(AckUploads, SeveralBoardsAtOnceEachGetTheirOwnImage) {
    UploadSimulator sim({2, 6, 1});
    ASSERT_TRUE(sim.start());
    ImageFiles files;
    constexpr int kBoards = 3;
    std::vector<std::unique_ptr<AckRun>> runs;
    std::vector<QByteArray> images;
    for (int b = 0; b < kBoards; ++b) {
        ASSERT_TRUE(sim.requestUpload(b));
        images.push_back(testing::test_image(20 * 1024 + 100 * b, b));
        runs.push_back(std::make_unique<AckRun>());
        runs.back()->sock.start(address_of(sim.row(b)), sim.uploadPort(),
                                files.write(QStringLiteral("fw%1.bin").arg(b), images.back()));
    }
    ASSERT_TRUE(waitFor(
        [&] {
            for (const auto& r : runs)
                if (r->host.ended.empty()) return false;
            return true;
        },
        10000));
    for (int b = 0; b < kBoards; ++b) {
        SCOPED_TRACE(b);
        const AckRun& r = *runs[static_cast<std::size_t>(b)];
        EXPECT_EQ(r.host.ended, (std::vector<std::pair<TransferKind, TransferOutcome>>{
                                    {TransferKind::Acknowledged, TransferOutcome::Succeeded}}));
        EXPECT_EQ(r.sock.state(), AckState::Finished);
        EXPECT_EQ(r.host.sent_whole, 1);
        EXPECT_EQ(r.host.range, 21);
        const qsizetype blocks = (images[static_cast<std::size_t>(b)].size() + 1023) / 1024;
        EXPECT_EQ(r.host.steps, blocks - 1);
        EXPECT_EQ(r.host.pos, 0);
        EXPECT_TRUE(r.host.messages.isEmpty());
        EXPECT_FALSE(r.timers.isArmed(uploadtimer::kAckTimeout));
        ASSERT_TRUE(waitFor([&] { return sim.count("image_received", b) == 1; }));
        const QJsonObject received = sim.named("image_received", b).front();
        EXPECT_TRUE(received.value("complete").toBool());
        EXPECT_EQ(received.value("sha256").toString(),
                  testing::sha256_hex(images[static_cast<std::size_t>(b)]));
    }
}

TEST(AckUploads, BoardThatNeverListensFailsAfterThreeAttempts) {
    UploadSimulator sim({2});
    ASSERT_TRUE(sim.start());
    ImageFiles files;
    AckRun run;  // no upload request: nothing listens
    run.sock.start(address_of(sim.row(0)), sim.uploadPort(),
                   files.write("fw.bin", testing::test_image(100)));
    for (int attempt = 0; attempt < 3; ++attempt) {
        testing::settle(50);  // the refusal arrives; only the timer moves the transfer on
        ASSERT_TRUE(run.timers.fire(uploadtimer::kConnectRetry)) << attempt;
    }
    EXPECT_EQ(run.host.messages, QStringList{qs(text::kConnectionFail)});
    EXPECT_EQ(run.sock.state(), AckState::Idle);
    EXPECT_FALSE(run.sock.busy());
}

// --- streamed transfers --------------------------------------------------------------------------

struct StreamRun {
    platform::ManualWindowTimers timers;
    RecordingHost host;
    InstantPacer instant;
    UploadWorker worker{host, timers};
    StreamRun() { worker.setPacer(instant); }
};

TEST(StreamUploads, LegacyBoardGetsTheImageAtTheFixedPace) {
    UploadSimulator sim({4});
    ASSERT_TRUE(sim.start());
    ASSERT_TRUE(sim.requestUpload(0));
    ImageFiles files;
    const QByteArray image = testing::test_image(20 * 1024);
    StreamRun run;
    run.worker.start(address_of(sim.row(0)), sim.streamPort(), files.write("fw.bin", image));
    ASSERT_TRUE(waitFor([&] { return !run.host.ended.empty(); }, 10000));
    EXPECT_EQ(run.host.ended, (std::vector<std::pair<TransferKind, TransferOutcome>>{
                                  {TransferKind::Streamed, TransferOutcome::Succeeded}}));
    EXPECT_EQ(run.instant.total_ms(), 300 + 100 * (20 + 1));
    EXPECT_EQ(run.host.range, 20 + 11);
    EXPECT_EQ(run.host.steps, 20);
    EXPECT_EQ(run.host.sent_whole, 1);
    EXPECT_EQ(run.host.logs.back(), qs(text::kLogUploadClosedNormally));
    EXPECT_TRUE(run.host.messages.isEmpty());

    ASSERT_TRUE(waitFor([&] { return sim.count("image_received") == 1; }));
    EXPECT_EQ(sim.named("image_received").front().value("sha256").toString(),
              testing::sha256_hex(image));
}

TEST(StreamUploads, BoardThatNeverListensGetsFiveAttempts) {
    UploadSimulator sim({4});
    ASSERT_TRUE(sim.start());
    ImageFiles files;
    StreamRun run;
    run.worker.start(address_of(sim.row(0)), sim.streamPort(),
                     files.write("fw.bin", testing::test_image(3000)));
    ASSERT_TRUE(waitFor([&] { return !run.host.ended.empty(); }, 10000));
    EXPECT_EQ(run.host.messages, QStringList{qs(text::kStreamConnectionFailure)});
    EXPECT_EQ(run.host.ended.front().second, TransferOutcome::ConnectFailed);
    EXPECT_EQ(run.instant.waits(), (std::vector<int>{300, 500, 500, 500, 500}));
}

// A board that takes the connection and then reads nothing: once the buffers on both sides are
// full, each send attempt waits no longer than the spacing of its retries, so the transfer fails
// in about the time its five attempts take, not five times the old two-second wait.
TEST(StreamUploads, BoardThatStopsReadingFailsInTheTimeOfItsRetries) {
    const int board = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(board, 0);
    const int small = 4096;
    ASSERT_EQ(::setsockopt(board, SOL_SOCKET, SO_RCVBUF, &small, sizeof small), 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(board, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
    ASSERT_EQ(::listen(board, 1), 0);
    socklen_t length = sizeof at;
    ASSERT_EQ(::getsockname(board, reinterpret_cast<sockaddr*>(&at), &length), 0);

    ImageFiles files;
    StreamRun run;
    QElapsedTimer clock;
    clock.start();
    run.worker.start(QHostAddress(QHostAddress::LocalHost), ntohs(at.sin_port),
                     files.write("fw.bin", testing::test_image(8 * 1024 * 1024)));
    ASSERT_TRUE(waitFor([&] { return !run.host.ended.empty(); }, 30000));
    const qint64 elapsed = clock.elapsed();
    ::close(board);
    EXPECT_EQ(run.host.ended.front().second, TransferOutcome::SendFailed);
    EXPECT_EQ(run.host.messages, QStringList{qs(text::kDataSendError)});
    EXPECT_EQ(run.host.pos, 0);
    // Five attempts of at most 200 ms each (the pauses are instant here).
    EXPECT_LT(elapsed, 5 * kStreamBlockRetryMs + 3000);
}

TEST(StreamUploads, StoppingMidTransferJoinsTheWorkerAndCarriesOutNothingMore) {
    UploadSimulator sim({4});
    ASSERT_TRUE(sim.start());
    ASSERT_TRUE(sim.requestUpload(0));
    ImageFiles files;
    platform::ManualWindowTimers timers;
    RecordingHost host;
    auto worker = std::make_unique<UploadWorker>(host, timers);  // real pacing
    worker->start(address_of(sim.row(0)), sim.streamPort(),
                  files.write("fw.bin", testing::test_image(64 * 1024)));
    ASSERT_TRUE(waitFor([&] { return host.steps >= 2; }, 5000));
    worker->stop();
    EXPECT_FALSE(worker->running());
    const int calls = host.calls();
    testing::settle(300);
    EXPECT_EQ(host.calls(), calls);
    EXPECT_TRUE(host.messages.isEmpty());

    // Destroying a worker in the middle of its pacing (a window closing) ends it too.
    worker->start(address_of(sim.row(0)), sim.streamPort(),
                  files.write("fw2.bin", testing::test_image(64 * 1024)));
    worker.reset();
    testing::settle(100);
}

}  // namespace
}  // namespace quorin
