// The two firmware transfers as state machines, driven without sockets, timers or threads: the
// tests play the board and the clock and read the actions back.
#include <gtest/gtest.h>

#include <functional>
#include <numeric>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "protocol/upload_transfer.h"
#include "res/texts.h"

namespace quorin {
namespace {

using Bytes = std::vector<std::uint8_t>;
using A = TransferAction;
using Connect = StreamTransfer::ConnectResult;

const Bytes kAccept{0x20, 0x00, 0x00};

Bytes image_of(std::size_t size) {
    Bytes image(size);
    for (std::size_t i = 0; i < size; ++i) image[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return image;
}

ImageLoad loaded(std::size_t size) {
    return {ImageLoad::Result::Ok, image_of(size), {}};
}

std::vector<A::Kind> kinds(const TransferActions& actions) {
    std::vector<A::Kind> k;
    for (const A& a : actions) k.push_back(a.kind);
    return k;
}

int count(const TransferActions& actions, A::Kind kind) {
    return static_cast<int>(std::count_if(actions.begin(), actions.end(),
                                          [kind](const A& a) { return a.kind == kind; }));
}

std::vector<std::string> messages(const TransferActions& actions) {
    std::vector<std::string> m;
    for (const A& a : actions)
        if (a.kind == A::Message) m.push_back(a.text);
    return m;
}

std::vector<std::size_t> send_lengths(const TransferActions& actions) {
    std::vector<std::size_t> n;
    for (const A& a : actions)
        if (a.kind == A::Send) n.push_back(a.bytes.size());
    return n;
}

void append(TransferActions& all, const TransferActions& more) {
    all.insert(all.end(), more.begin(), more.end());
}

std::string str(std::string_view s) {
    return std::string(s);
}

// --- acknowledged transfer ---------------------------------------------------------------------

// A transfer brought to the point where the size header is out.
struct AckFixture {
    AckTransfer m;
    TransferActions loaded_actions;
    explicit AckFixture(std::size_t size) {
        m.start();
        m.connected();
        loaded_actions = m.image_loaded(loaded(size));
    }
};

TEST(AckTransfer, FifteenHundredBytesGoInTwoBlocksWithOneStep) {
    AckTransfer m;
    EXPECT_EQ(kinds(m.start()), (std::vector<A::Kind>{A::Connect, A::ArmTimer}));
    EXPECT_EQ(m.state(), AckState::Connecting);
    EXPECT_EQ(kinds(m.connected()), (std::vector<A::Kind>{A::StopTimer, A::LoadImage}));
    EXPECT_EQ(m.state(), AckState::Connected);

    const TransferActions header = m.image_loaded(loaded(1500));
    ASSERT_EQ(kinds(header),
              (std::vector<A::Kind>{A::ProgressRange, A::ProgressStepSize, A::Send, A::ArmTimer}));
    EXPECT_EQ(header[0].value, 2);
    EXPECT_EQ(header[1].value, 1);
    EXPECT_EQ(header[2].bytes, (Bytes{0xDC, 0x05, 0x00, 0x00}));
    EXPECT_EQ(header[3].timer, uploadtimer::kAckTimeout);
    EXPECT_EQ(header[3].value, uploadtimer::kAckTimeoutMs);
    EXPECT_EQ(m.state(), AckState::SizeSent);

    const TransferActions first = m.bytes_received(kAccept);
    EXPECT_EQ(kinds(first), (std::vector<A::Kind>{A::StopTimer, A::Send, A::ArmTimer}));
    const Bytes image = image_of(1500);
    EXPECT_EQ(first[1].bytes, Bytes(image.begin(), image.begin() + 1024));
    EXPECT_EQ(m.state(), AckState::BlockSent);

    const TransferActions second = m.bytes_received(kAccept);
    EXPECT_EQ(kinds(second), (std::vector<A::Kind>{A::StopTimer, A::ProgressStep, A::Send,
                                                   A::ArmTimer, A::SentWhole}));
    EXPECT_EQ(second[2].bytes.size(), 476u);

    const TransferActions last = m.bytes_received(kAccept);
    EXPECT_EQ(kinds(last),
              (std::vector<A::Kind>{A::StopTimer, A::ProgressPos, A::Close, A::Ended}));
    EXPECT_EQ(last[1].value, 0);
    EXPECT_EQ(last[3].outcome, TransferOutcome::Succeeded);
    EXPECT_EQ(m.state(), AckState::Finished);
}

// A cooperative board: every send is accepted, the acknowledgements arrive in `pieces`-byte reads.
struct AckCase {
    const char* label;
    std::size_t size;
    std::vector<std::size_t> blocks;
    int steps;
    int range;
};

void PrintTo(const AckCase& c, std::ostream* os) {
    *os << c.label;
}

class AckSizes : public ::testing::TestWithParam<AckCase> {};

TEST_P(AckSizes, EveryByteGoesOutOnceInOrder) {
    const AckCase& c = GetParam();
    for (std::size_t piece : {std::size_t{3}, std::size_t{1}, std::size_t{2}}) {
        SCOPED_TRACE(piece);
        AckFixture f(c.size);
        TransferActions all = f.loaded_actions;
        EXPECT_EQ(all[0].value, c.range);
        EXPECT_EQ(all[2].bytes, ack_size_header(static_cast<std::uint32_t>(c.size)));
        for (int guard = 0; guard < 100 && f.m.state() != AckState::Finished; ++guard) {
            for (std::size_t at = 0; at < kAccept.size(); at += piece) {
                const std::size_t n = std::min(piece, kAccept.size() - at);
                append(all, f.m.bytes_received(std::span(kAccept).subspan(at, n)));
            }
        }
        ASSERT_EQ(f.m.state(), AckState::Finished);
        std::vector<std::size_t> lengths = send_lengths(all);
        lengths.erase(lengths.begin());  // the size header
        EXPECT_EQ(lengths, c.blocks);
        Bytes sent;
        for (const A& a : all)
            if (a.kind == A::Send && &a != &all[2])
                sent.insert(sent.end(), a.bytes.begin(), a.bytes.end());
        EXPECT_EQ(sent, image_of(c.size));
        EXPECT_EQ(count(all, A::ProgressStep), c.steps);
        EXPECT_EQ(all.back().kind, A::Ended);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, AckSizes,
                         ::testing::Values(AckCase{"empty", 0, {}, 0, 1},
                                           AckCase{"one_byte", 1, {1}, 0, 1},
                                           AckCase{"under_a_block", 1023, {1023}, 0, 1},
                                           AckCase{"one_block", 1024, {1024}, 0, 2},
                                           AckCase{"fifteen_hundred", 1500, {1024, 476}, 1, 2},
                                           AckCase{"two_blocks", 2048, {1024, 1024}, 1, 3},
                                           AckCase{"three_partial", 3000, {1024, 1024, 952}, 2, 3}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(AckTransfer, TwoAcknowledgementsInOneReadAreTakenInTurn) {
    AckFixture f(1500);
    const Bytes two{0x20, 0, 0, 0x20, 1, 0};
    const TransferActions out = f.m.bytes_received(two);
    EXPECT_EQ(send_lengths(out), (std::vector<std::size_t>{1024, 476}));
    EXPECT_EQ(f.m.state(), AckState::BlockSent);
}

TEST(AckTransfer, BytesAfterTheLastAcknowledgementAreDropped) {
    AckFixture f(10);
    const Bytes extra{0x20, 0, 0, 0x20, 1, 0, 0x20, 2, 0};
    const TransferActions out = f.m.bytes_received(extra);
    EXPECT_EQ(f.m.state(), AckState::Finished);
    EXPECT_EQ(count(out, A::Ended), 1);
    EXPECT_TRUE(f.m.bytes_received(kAccept).empty());
}

TEST(AckTransfer, RefusedConnectionFailsAfterTheThirdAttempt) {
    AckTransfer m;
    TransferActions all = m.start();
    EXPECT_TRUE(m.connect_failed().empty());
    for (int attempt = 2; attempt <= 3; ++attempt) {
        const TransferActions retry = m.timer_expired(uploadtimer::kConnectRetry);
        EXPECT_EQ(kinds(retry), (std::vector<A::Kind>{A::Close, A::Connect, A::ArmTimer}));
        EXPECT_EQ(retry[2].value, uploadtimer::kConnectRetryMs);
        EXPECT_EQ(m.connect_attempts(), attempt);
        append(all, retry);
    }
    const TransferActions fail = m.timer_expired(uploadtimer::kConnectRetry);
    EXPECT_EQ(kinds(fail), (std::vector<A::Kind>{A::Close, A::Message, A::Ended}));
    EXPECT_EQ(messages(fail), std::vector<std::string>{str(text::kConnectionFail)});
    EXPECT_EQ(fail.back().value, 0);
    EXPECT_EQ(m.state(), AckState::Idle);
    append(all, fail);
    EXPECT_EQ(count(all, A::Connect), 3);
    EXPECT_TRUE(m.timer_expired(uploadtimer::kConnectRetry).empty());
}

TEST(AckTransfer, MissingAcknowledgementTimesOut) {
    for (int blocks_acked : {0, 1}) {
        AckFixture f(3000);
        for (int i = 0; i < blocks_acked; ++i) f.m.bytes_received(kAccept);
        const TransferActions out = f.m.timer_expired(uploadtimer::kAckTimeout);
        EXPECT_EQ(kinds(out),
                  (std::vector<A::Kind>{A::Message, A::Close, A::ProgressPos, A::Ended}));
        EXPECT_EQ(messages(out), std::vector<std::string>{str(text::kAckTimeout)});
        EXPECT_EQ(f.m.state(), AckState::Idle);
    }
}

TEST(AckTransfer, RefusedAcknowledgementWaitsAnotherTimeout) {
    struct Case {
        const char* label;
        int blocks_acked;
        AckState state;
    };
    for (const Case& c :
         {Case{"size", 0, AckState::SizeSent}, Case{"block", 1, AckState::BlockSent}}) {
        SCOPED_TRACE(c.label);
        AckFixture f(3000);
        for (int i = 0; i < c.blocks_acked; ++i) f.m.bytes_received(kAccept);
        const std::uint32_t remaining = f.m.remaining();
        const TransferActions out = f.m.bytes_received(Bytes{0x21, 0, 0});
        ASSERT_EQ(kinds(out), (std::vector<A::Kind>{A::StopTimer, A::ArmTimer}));
        EXPECT_EQ(out[1].timer, uploadtimer::kAckTimeout);
        EXPECT_EQ(out[1].value, uploadtimer::kAckTimeoutMs);
        EXPECT_EQ(f.m.state(), c.state);
        EXPECT_EQ(f.m.remaining(), remaining);
        // A later accepted acknowledgement still moves the transfer on.
        EXPECT_EQ(count(f.m.bytes_received(kAccept), A::Send), 1);
    }
}

TEST(AckTransfer, BoardClosingKeepsTheStateForTheTimeout) {
    AckFixture f(3000);
    f.m.bytes_received(kAccept);
    const TransferActions closed = f.m.peer_closed();
    EXPECT_EQ(kinds(closed), (std::vector<A::Kind>{A::Log, A::ProgressPos, A::Close}));
    EXPECT_EQ(f.m.state(), AckState::BlockSent);
    EXPECT_EQ(messages(f.m.timer_expired(uploadtimer::kAckTimeout)),
              std::vector<std::string>{str(text::kAckTimeout)});
    EXPECT_TRUE(f.m.peer_closed().empty());
}

TEST(AckTransfer, AnUnusableImageEndsTheTransferWithItsMessage) {
    struct Case {
        ImageLoad::Result result;
        std::string_view message;
    };
    for (const Case& c : {Case{ImageLoad::Result::CannotOpen, text::kFileCouldNotOpen},
                          Case{ImageLoad::Result::TooLarge, text::kImageTooLarge},
                          Case{ImageLoad::Result::ReadFailed, text::kImageReadFailed}}) {
        AckTransfer m;
        m.start();
        m.connected();
        const TransferActions out = m.image_loaded({c.result, {}, {}});
        EXPECT_EQ(kinds(out), (std::vector<A::Kind>{A::Close, A::Message, A::Ended}));
        EXPECT_EQ(messages(out), std::vector<std::string>{str(c.message)});
        EXPECT_EQ(count(out, A::Send), 0);
        EXPECT_EQ(m.state(), AckState::Idle);
    }
}

TEST(AckTransfer, SocketThatCannotBeCreatedReportsItsErrorNumber) {
    AckTransfer m;
    m.start();
    const TransferActions out = m.socket_unavailable(24);
    EXPECT_EQ(messages(out), std::vector<std::string>{"Error Code: 24"});
    EXPECT_EQ(out.back().kind, A::Ended);
    EXPECT_EQ(out.back().outcome, TransferOutcome::SocketUnavailable);
    EXPECT_EQ(m.state(), AckState::Idle);
}

TEST(AckTransfer, EventsOutsideTheirStateDoNothing) {
    AckTransfer m;
    EXPECT_TRUE(m.connected().empty());
    EXPECT_TRUE(m.bytes_received(kAccept).empty());
    EXPECT_TRUE(m.image_loaded(loaded(10)).empty());
    EXPECT_TRUE(m.timer_expired(uploadtimer::kAckTimeout).empty());
    EXPECT_TRUE(m.timer_expired(uploadtimer::kConnectRetry).empty());
    m.start();
    EXPECT_TRUE(m.timer_expired(uploadtimer::kAckTimeout).empty());
    m.connected();
    EXPECT_TRUE(m.connected().empty());
}

TEST(AckTransfer, StartingAgainBeginsFromTheFirstAttempt) {
    AckFixture f(1500);
    f.m.bytes_received(Bytes{0x20});  // an incomplete acknowledgement is forgotten
    f.m.start();
    EXPECT_EQ(f.m.state(), AckState::Connecting);
    EXPECT_EQ(f.m.connect_attempts(), 1);
    f.m.connected();
    f.m.image_loaded(loaded(1500));
    EXPECT_EQ(send_lengths(f.m.bytes_received(Bytes{0x20, 0, 0})), std::vector<std::size_t>{1024});
}

// --- streamed transfer -------------------------------------------------------------------------

struct StreamRun {
    TransferActions all;
    std::vector<int> pauses;
    std::vector<Bytes> sent;  // items sent successfully, in order
    int connects = 0;
    int send_attempts = 0;
};

// Runs the worker's loop with the connection and the clock played by the test. `connect` gives
// the result of attempt n (1-based); `send` that of send attempt n.
StreamRun run_stream(ImageLoad image, const std::function<Connect(int)>& connect,
                     const std::function<bool(int)>& send) {
    StreamRun run;
    StreamTransfer m;
    TransferActions actions = m.start(std::move(image));
    for (int guard = 0; guard < 100000; ++guard) {
        append(run.all, actions);
        const A* next = nullptr;
        for (std::size_t i = 0; i < actions.size(); ++i) {
            const A::Kind k = actions[i].kind;
            if (k == A::Pause || k == A::Connect || k == A::Send) {
                EXPECT_EQ(i, actions.size() - 1) << "the worker's next step comes last";
                next = &actions[i];
            }
        }
        if (!next) break;
        const A step = *next;
        if (step.kind == A::Pause) {
            run.pauses.push_back(step.value);
            actions = m.pause_done();
        } else if (step.kind == A::Connect) {
            actions = m.connect_result(connect(++run.connects));
        } else {
            const bool ok = send(++run.send_attempts);
            if (ok) run.sent.push_back(step.bytes);
            actions = m.send_result(ok);
        }
    }
    return run;
}

const auto kConnects = [](int) { return Connect::Connected; };
const auto kSends = [](int) { return true; };

TEST(StreamTransfer, FifteenHundredBytesThenTheFinishingPhase) {
    const StreamRun run = run_stream(loaded(1500), kConnects, kSends);
    ASSERT_EQ(run.sent.size(), 3u);
    EXPECT_EQ(run.sent[0], (Bytes{0x00, 0x00, 0x05, 0xDC}));
    EXPECT_EQ(run.sent[1].size(), 1024u);
    EXPECT_EQ(run.sent[2].size(), 476u);
    EXPECT_EQ(run.all.front(), (A{A::ProgressRange, 12, 0, {}, {}, TransferOutcome::Succeeded}));
    EXPECT_EQ(count(run.all, A::ProgressStep), 2);
    EXPECT_EQ(run.pauses, (std::vector<int>{300, 100, 100, 100}));
    // The end: sent whole, closed, "closed normally", and the transfer's end (the procedure runs
    // the finishing phase from there).
    const std::vector<A> tail(run.all.end() - 4, run.all.end());
    EXPECT_EQ(kinds(tail), (std::vector<A::Kind>{A::SentWhole, A::Close, A::Log, A::Ended}));
    EXPECT_EQ(tail[2].text, str(text::kLogUploadClosedNormally));
    EXPECT_EQ(tail[3].outcome, TransferOutcome::Succeeded);
    EXPECT_EQ(count(run.all, A::Ended), 1);
}

TEST(StreamTransfer, LogLinesTellSizesAndRunningTotals) {
    const StreamRun run = run_stream(loaded(1500), kConnects, kSends);
    std::vector<std::string> logs;
    for (const A& a : run.all)
        if (a.kind == A::Log) logs.push_back(a.text);
    EXPECT_EQ(logs, (std::vector<std::string>{"sent data size: 4", " sent file size info: 1500",
                                              " 1024 bytes sent / Total bytes: 1024 sent",
                                              " 476 bytes sent / Total bytes: 1500 sent",
                                              str(text::kLogUploadClosedNormally)}));
}

TEST(StreamTransfer, PacingAndBlocksFollowTheImageSize) {
    struct Case {
        std::size_t size;
        std::size_t blocks;
        int range;
    };
    for (const Case& c : {Case{1, 1, 11}, Case{1024, 1, 12}, Case{2048, 2, 13},
                          Case{20 * 1024, 20, 31}, Case{20 * 1024 + 1, 21, 31}}) {
        SCOPED_TRACE(c.size);
        const StreamRun run = run_stream(loaded(c.size), kConnects, kSends);
        EXPECT_EQ(run.sent.size(), c.blocks + 1);  // no further read or send after the last
        EXPECT_EQ(run.all[0].value, c.range);
        Bytes image;
        for (std::size_t i = 1; i < run.sent.size(); ++i)
            image.insert(image.end(), run.sent[i].begin(), run.sent[i].end());
        EXPECT_EQ(image, image_of(c.size));
        const int paused = std::accumulate(run.pauses.begin(), run.pauses.end(), 0);
        EXPECT_EQ(paused, kStreamStartPauseMs + kStreamPauseMs * static_cast<int>(c.blocks + 1));
    }
}

TEST(StreamTransfer, EmptyOrUnopenableImageIsReportedTwice) {
    for (const ImageLoad::Result result : {ImageLoad::Result::Ok, ImageLoad::Result::CannotOpen}) {
        const StreamRun run = run_stream({result, {}, {}}, kConnects, kSends);
        EXPECT_EQ(kinds(run.all), (std::vector<A::Kind>{A::Message, A::Ended}));
        EXPECT_EQ(messages(run.all), std::vector<std::string>{str(text::kImageEmpty)});
        EXPECT_EQ(run.all[1].outcome, TransferOutcome::ImageEmpty);  // the procedure follows up
        EXPECT_EQ(run.connects, 0);
    }
}

TEST(StreamTransfer, ImageThatCannotBeSentWholeIsRefusedBeforeConnecting) {
    for (const auto& [result, message, outcome] :
         {std::tuple{ImageLoad::Result::TooLarge, text::kImageTooLarge,
                     TransferOutcome::ImageTooLarge},
          std::tuple{ImageLoad::Result::ReadFailed, text::kImageReadFailed,
                     TransferOutcome::ImageUnreadable}}) {
        const StreamRun run = run_stream({result, {}, {}}, kConnects, kSends);
        EXPECT_EQ(messages(run.all), std::vector<std::string>{str(message)});
        EXPECT_EQ(run.connects, 0);
        EXPECT_EQ(count(run.all, A::ArmTimer), 0);
        EXPECT_EQ(run.all.back().kind, A::Ended);
        EXPECT_EQ(run.all.back().outcome, outcome);
    }
}

struct FailureCase {
    const char* label;
    std::function<Connect(int)> connect;
    std::function<bool(int)> send;
    std::string message;
    std::vector<int> later_pauses;  // every pause after the first one of 300 ms
    bool progress_to_zero;
    bool closed_abnormally;
};

void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.label;
}

class StreamFailures : public ::testing::TestWithParam<FailureCase> {};

TEST_P(StreamFailures, EndWithTheirMessage) {
    const FailureCase& c = GetParam();
    const StreamRun run = run_stream(loaded(3000), c.connect, c.send);
    EXPECT_EQ(messages(run.all), std::vector<std::string>{c.message});
    std::vector<int> pauses = run.pauses;
    ASSERT_FALSE(pauses.empty());
    EXPECT_EQ(pauses.front(), kStreamStartPauseMs);
    pauses.erase(pauses.begin());
    EXPECT_EQ(pauses, c.later_pauses);
    const auto message_at = std::find_if(run.all.begin(), run.all.end(),
                                         [](const A& a) { return a.kind == A::Message; });
    const TransferActions after(message_at + 1, run.all.end());
    EXPECT_EQ(after.front().kind, A::Close);
    EXPECT_EQ(count(after, A::Close), 1);
    EXPECT_EQ(count(after, A::ProgressPos), c.progress_to_zero ? 1 : 0);
    bool abnormal = false;
    for (const A& a : after) abnormal |= a.text == text::kLogUploadClosedAbnormally;
    EXPECT_EQ(abnormal, c.closed_abnormally);
    EXPECT_EQ(run.all.back().kind, A::Ended);
    EXPECT_NE(run.all.back().outcome, TransferOutcome::Succeeded);
}

INSTANTIATE_TEST_SUITE_P(Cases, StreamFailures,
                         ::testing::Values(FailureCase{"refused_five_times",
                                                       [](int) { return Connect::Failed; },
                                                       kSends,
                                                       str(text::kStreamConnectionFailure),
                                                       {500, 500, 500, 500},
                                                       false,
                                                       false},
                                           FailureCase{
                                               "no_socket",
                                               [](int) { return Connect::SocketUnavailable; },
                                               kSends,
                                               str(text::kStreamSocketCreation),
                                               {},
                                               false,
                                               false},
                                           FailureCase{"never_connects",
                                                       [](int) { return Connect::InProgress; },
                                                       [](int) { return false; },
                                                       str(text::kDataSendError),
                                                       {100, 100, 100, 100},
                                                       false,
                                                       true},
                                           FailureCase{"block_refused",
                                                       kConnects,
                                                       [](int n) { return n < 3; },
                                                       str(text::kDataSendError),
                                                       {100, 100, 200, 200, 200, 200, 200},
                                                       true,
                                                       true}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(StreamTransfer, RetriesThatSucceedCarryOn) {
    // Fourth connection attempt succeeds; the header goes on its fifth attempt; the second block
    // on its third.
    const StreamRun run = run_stream(
        loaded(1500), [](int n) { return n < 4 ? Connect::Failed : Connect::Connected; },
        [](int n) { return n >= 5 && n != 7 && n != 8; });
    EXPECT_TRUE(messages(run.all).empty());
    EXPECT_EQ(run.connects, 4);
    ASSERT_EQ(run.sent.size(), 3u);
    EXPECT_EQ(run.sent[2].size(), 476u);
    EXPECT_EQ(run.pauses,
              (std::vector<int>{300, 500, 500, 500, 100, 100, 100, 100, 100, 100, 200, 200, 100}));
    EXPECT_EQ(count(run.all, A::ProgressStep), 2);
}

TEST(UploadWire, SizeHeadersAndNumberTexts) {
    EXPECT_EQ(ack_size_header(0x01020304), (Bytes{4, 3, 2, 1}));
    EXPECT_EQ(stream_size_header(0x01020304), (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(ack_size_header(0xFFFFFFFF), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_TRUE(image_size_fits(0xFFFFFFFFull));
    EXPECT_FALSE(image_size_fits(0x100000000ull));
    EXPECT_EQ(with_number("Error Code: %d", 10061), "Error Code: 10061");
    EXPECT_EQ(with_number("no number", 5), "no number");
}

}  // namespace
}  // namespace quorin
