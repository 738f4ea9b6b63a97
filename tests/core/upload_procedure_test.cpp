// The upload procedure as a machine, without sockets, timers or threads. One table of upload
// scenarios runs the procedure together with the real transfer machines and a scripted board on a
// virtual clock: every way an upload can end is reached here once, and the window's and the
// command line's adapter tests only check how each face presents it.
#include "protocol/upload_procedure.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "protocol/board_record.h"
#include "res/texts.h"

namespace quorin {
namespace {

using A = UploadAction;
using T = TransferAction;
using Outcome = UploadOutcome;

constexpr Ip4 kBoardIp{127, 0, 1, 9};

// What the board does; the fields follow the simulator's fault hooks.
struct Board {
    bool legacy = false;
    Ip4 ip = kBoardIp;
    bool replies = true;                    // answers the upload request
    bool listens = true;                    // takes the firmware connection
    bool reports = true;                    // sends the upload-complete report
    std::optional<int> ack_stop_after;      // acknowledges the size and N blocks, then no more
    std::optional<std::uint8_t> ack_byte;   // acknowledges with this byte instead of 0x20
    std::optional<int> close_after_blocks;  // closes the connection after N blocks
    bool report_before_last_ack = false;    // its report overtakes its last acknowledgement
    int late_report_ms = 0;                 // reports this long after the last acknowledgement
};

struct Facts {
    std::size_t image = 2500;
    bool chosen = true;
    bool readable = true;
    bool selected = true;
    bool refuse_empty = false;  // the command line's policy
    bool request_refused = false;
    bool search_at_reply_wait = false;  // the operator presses Search while the reply is awaited
};

// The procedure, both transfers and a board, run until nothing is left to happen.
class UploadRun {
  public:
    UploadRun(const Board& board, const Facts& facts)
        : board_(board), facts_(facts), procedure_(core_) {
        core_.reset();
        core_.working.product_code = {0, static_cast<std::uint8_t>(board.legacy ? 4 : 2)};
        core_.working.local_ip = board.ip;
    }

    void go() {
        UploadStart start;
        start.image_chosen = facts_.chosen;
        start.image_readable = facts_.readable;
        start.image_size = facts_.image;
        start.board_selected = facts_.selected;
        start.refuse_empty_image = facts_.refuse_empty;
        carry(procedure_.start(start));
        // The clock: the earliest timer or board event next, until nothing is due.
        for (int guard = 0; guard < 100000 && !due_.empty(); ++guard) {
            const auto next = std::min_element(
                due_.begin(), due_.end(), [](auto& a, auto& b) { return a.second < b.second; });
            const int id = next->first;
            now_ = next->second;
            due_.erase(next);
            expire(id);
        }
    }

    std::vector<Outcome> outcomes;
    TransferOutcome transfer_outcome = TransferOutcome::Succeeded;
    std::vector<A::Kind> notices;  // UploadError, LateReport
    std::vector<std::string> messages;
    int requests = 0;
    int progress_steps = 0;
    long long ended_at = -1;
    std::vector<std::uint8_t> received;  // what the board got of the image
    static std::vector<std::uint8_t> image_of(std::size_t size) {
        std::vector<std::uint8_t> image(size);
        for (std::size_t i = 0; i < size; ++i) image[i] = static_cast<std::uint8_t>(i * 13 + 1);
        return image;
    }

    ConfigCore core_;
    Board board_;
    Facts facts_;
    UploadProcedure procedure_;
    AckTransfer ack_;
    StreamTransfer stream_;

  private:
    // Board events are kept among the timers under negative ids.
    static constexpr int kBoardReply = -1, kBoardReport = -2, kBoardAck = -3;

    void acknowledge() {
        const std::uint8_t first = board_.ack_byte.value_or(kUploadAckAccepted);
        const std::vector<std::uint8_t> ack{first, 0, 0};
        carry_transfer(ack_.bytes_received(ack));
    }

    void arm(int id, long long ms) { due_[id] = now_ + ms; }

    void expire(int id) {
        if (id == kBoardReply) {
            datagram(OPCODE_UPLOAD_REPLY);
        } else if (id == kBoardReport) {
            datagram(OPCODE_UPLOAD_COMPLETE);
        } else if (id == kBoardAck) {
            acknowledge();
        } else if (id == uploadtimer::kConnectRetry || id == uploadtimer::kAckTimeout) {
            carry_transfer(ack_.timer_expired(id));
        } else {
            carry(procedure_.timer_expired(id, board_.ip));
        }
    }

    void datagram(std::uint8_t opcode) {
        for (const Action& a :
             core_.handle_datagram(kSearchSocketTag, std::vector<std::uint8_t>{opcode})) {
            if (a.kind == Action::UploadReply) carry(procedure_.upload_reply());
            if (a.kind == Action::UploadDone) carry(procedure_.upload_done());
        }
    }

    void carry(const UploadActions& actions) {
        for (const A& a : actions) {
            switch (a.kind) {
                case A::Collect:
                    carry(procedure_.collected());
                    break;
                case A::Send:
                    ++requests;
                    if (facts_.request_refused) {
                        carry(procedure_.request_not_sent());
                        break;
                    }
                    if (facts_.search_at_reply_wait) {
                        EXPECT_FALSE(procedure_.blocks_other_exchange());
                        carry(procedure_.other_exchange());
                        core_.send_data(OPCODE_SEARCH_REQUEST);
                    }
                    if (!board_.legacy && board_.replies) arm(kBoardReply, 5);
                    break;
                case A::ArmTimer:
                    arm(a.timer, a.value);
                    break;
                case A::StopTimer:
                    due_.erase(a.timer);
                    break;
                case A::StartTransfer:
                    EXPECT_EQ(a.address, board_.ip);
                    if (a.transfer == TransferKind::Streamed) {
                        ImageLoad image{ImageLoad::Result::Ok, image_of(facts_.image), {}};
                        carry_transfer(stream_.start(std::move(image)));
                    } else {
                        carry_transfer(ack_.start());
                    }
                    break;
                case A::StopTransfer:
                    ack_ = AckTransfer{};
                    break;
                case A::ProgressStep:
                    ++progress_steps;
                    break;
                case A::UploadError:
                case A::LateReport:
                    notices.push_back(a.kind);
                    break;
                case A::Ended:
                    outcomes.push_back(a.outcome);
                    transfer_outcome = a.transfer_outcome;
                    ended_at = now_;
                    break;
                case A::ProgressPos:
                case A::Log:
                case A::RunUpload:
                case A::AgingCount:
                case A::AgingOver:
                    break;
            }
        }
    }

    void carry_transfer(const TransferActions& actions) {
        for (const T& t : actions) {
            switch (t.kind) {
                case T::Connect:
                    if (board_.legacy) {
                        carry_transfer(stream_.connect_result(
                            board_.listens ? StreamTransfer::ConnectResult::Connected
                                           : StreamTransfer::ConnectResult::Failed));
                    } else if (board_.listens) {
                        carry_transfer(ack_.connected());
                    }
                    break;
                case T::LoadImage:
                    carry_transfer(
                        ack_.image_loaded({ImageLoad::Result::Ok, image_of(facts_.image), {}}));
                    break;
                case T::Pause:
                    now_ += t.value;
                    carry_transfer(stream_.pause_done());
                    break;
                case T::Send:
                    board_takes(t.bytes);
                    break;
                case T::ArmTimer:
                    arm(t.timer, t.value);
                    break;
                case T::StopTimer:
                    due_.erase(t.timer);
                    break;
                case T::Message:
                    messages.push_back(t.text);
                    break;
                case T::SentWhole:
                    carry(procedure_.transfer_sent_whole(
                        board_.legacy ? TransferKind::Streamed : TransferKind::Acknowledged));
                    break;
                case T::Ended:
                    if (!board_.legacy && t.outcome == TransferOutcome::Succeeded &&
                        board_.reports && !board_.report_before_last_ack)
                        arm(kBoardReport, 10 + board_.late_report_ms);
                    carry(procedure_.transfer_ended(
                        board_.legacy ? TransferKind::Streamed : TransferKind::Acknowledged,
                        t.outcome));
                    break;
                default:
                    break;
            }
        }
    }

    void board_takes(const std::vector<std::uint8_t>& bytes) {
        if (board_.legacy) {
            const int item = sends_++;  // 0: the size header
            const bool closed = board_.close_after_blocks && item > *board_.close_after_blocks;
            if (item > 0 && !closed) received.insert(received.end(), bytes.begin(), bytes.end());
            carry_transfer(stream_.send_result(!closed));
            return;
        }
        const int item = sends_++;  // 0: the size header
        if (item > 0) received.insert(received.end(), bytes.begin(), bytes.end());
        if (board_.close_after_blocks && item > *board_.close_after_blocks) {
            carry_transfer(ack_.peer_closed());
            return;
        }
        if (board_.ack_stop_after && item > *board_.ack_stop_after) return;
        const bool last = item > 0 && received.size() == facts_.image;
        if (last && board_.report_before_last_ack && board_.reports) {
            arm(kBoardReport, 1);
            arm(kBoardAck, 2);
            return;
        }
        acknowledge();
    }

    std::map<int, long long> due_;
    long long now_ = 0;
    int sends_ = 0;
};

struct Scenario {
    const char* what;
    Board board;
    Facts facts;
    Outcome outcome;
    int requests;          // request datagrams sent
    bool image_whole;      // the board got the image byte for byte
    OperationState after;  // the core's state at the end
};

TEST(UploadProcedureScenarios, EveryEndIsReachedOnceAndLeavesNothingArmed) {
    using S = OperationState;
    Board main;
    Board legacy;
    legacy.legacy = true;
    const auto with = [](Board b, auto edit) {
        edit(b);
        return b;
    };
    const auto facts = [](auto edit) {
        Facts f;
        edit(f);
        return f;
    };
    const Scenario scenarios[] = {
        {"normal", main, {}, Outcome::Completed, 1, true, S::UploadCompleted},
        {"normal, legacy", legacy, {}, Outcome::Completed, 1, true, S::Idle},
        {"empty image, sent as any file", main, facts([](Facts& f) { f.image = 0; }),
         Outcome::Completed, 1, true, S::UploadCompleted},
        {"empty image, refused first", main,
         facts([](Facts& f) { f.image = 0, f.refuse_empty = true; }), Outcome::ImageEmpty, 0, true,
         S::Idle},
        {"empty image, legacy", legacy, facts([](Facts& f) { f.image = 0; }),
         Outcome::TransferFailed, 1, true, S::Idle},
        {"no image chosen", main, facts([](Facts& f) { f.chosen = false; }), Outcome::NoImage, 0,
         false, S::Idle},
        {"image unreadable", main, facts([](Facts& f) { f.readable = false; }),
         Outcome::ImageUnopenable, 0, false, S::Idle},
        {"no board selected", main, facts([](Facts& f) { f.selected = false; }), Outcome::NoBoard,
         0, false, S::Idle},
        {"request refused by the system", main, facts([](Facts& f) { f.request_refused = true; }),
         Outcome::RequestNotSent, 1, false, S::Idle},
        {"address 0.0.0.0",
         with(main, [](Board& b) { b.ip = {}; }),
         {},
         Outcome::AddressInvalid,
         1,
         false,
         S::Idle},
        {"address 0.0.0.0, legacy",
         with(legacy, [](Board& b) { b.ip = {}; }),
         {},
         Outcome::AddressInvalid,
         1,
         false,
         S::Idle},
        {"no reply",
         with(main, [](Board& b) { b.replies = false; }),
         {},
         Outcome::NoReply,
         1,
         false,
         S::Idle},
        {"no report",
         with(main, [](Board& b) { b.reports = false; }),
         {},
         Outcome::NoReport,
         1,
         true,
         S::UploadCompleteAwaited},
        {"refuses the connection",
         with(main, [](Board& b) { b.listens = false; }),
         {},
         Outcome::TransferFailed,
         1,
         false,
         S::Idle},
        {"refuses the connection, legacy",
         with(legacy, [](Board& b) { b.listens = false; }),
         {},
         Outcome::TransferFailed,
         1,
         false,
         S::Idle},
        {"bad acknowledgements",
         with(main, [](Board& b) { b.ack_byte = 0x21; }),
         {},
         Outcome::TransferFailed,
         1,
         false,
         S::Idle},
        {"stops acknowledging",
         with(main, [](Board& b) { b.ack_stop_after = 1; }),
         {},
         Outcome::TransferFailed,
         1,
         false,
         S::Idle},
        {"closes early",
         with(main, [](Board& b) { b.close_after_blocks = 1; }),
         {},
         Outcome::TransferFailed,
         1,
         false,
         S::Idle},
        {"closes early, legacy",
         with(legacy, [](Board& b) { b.close_after_blocks = 1; }),
         {},
         Outcome::TransferFailed,
         1,
         false,
         S::Idle},
        {"report before the last acknowledgement",
         with(main, [](Board& b) { b.report_before_last_ack = true; }),
         {},
         Outcome::Completed,
         1,
         true,
         S::UploadCompleted},
        {"search while the reply is awaited", main,
         facts([](Facts& f) { f.search_at_reply_wait = true; }), Outcome::Abandoned, 1, false,
         S::Search},
    };
    for (const Scenario& s : scenarios) {
        SCOPED_TRACE(s.what);
        UploadRun run(s.board, s.facts);
        run.go();
        ASSERT_EQ(run.outcomes, std::vector<Outcome>{s.outcome})
            << (run.outcomes.empty() ? "none" : to_string(run.outcomes.back()));
        EXPECT_EQ(run.requests, s.requests);
        EXPECT_EQ(run.received == UploadRun::image_of(s.facts.image), s.image_whole);
        EXPECT_EQ(run.core_.operation_state(), s.after) << to_string(run.core_.operation_state());
        EXPECT_FALSE(run.procedure_.running());
        EXPECT_FALSE(run.procedure_.any_timer_armed());
    }
}

TEST(UploadProcedureScenarios, TransferFailuresSayHowAndTheEmptyLegacyImageIsAnError) {
    struct Case {
        const char* what;
        Board board;
        TransferOutcome transfer;
        std::vector<std::string> messages;
        std::vector<A::Kind> notices;
    };
    Board legacy;
    legacy.legacy = true;
    Board refusing;
    refusing.listens = false;
    Board silent;
    silent.ack_stop_after = 0;
    const Case cases[] = {
        {"refused",
         refusing,
         TransferOutcome::ConnectFailed,
         {std::string(text::kConnectionFail)},
         {}},
        {"silent", silent, TransferOutcome::AckTimeout, {std::string(text::kAckTimeout)}, {}},
        {"empty legacy image",
         legacy,
         TransferOutcome::ImageEmpty,
         {std::string(text::kImageEmpty)},
         {A::UploadError}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Facts f;
        if (c.board.legacy) f.image = 0;
        UploadRun run(c.board, f);
        run.go();
        ASSERT_EQ(run.outcomes, std::vector<Outcome>{Outcome::TransferFailed});
        EXPECT_EQ(run.transfer_outcome, c.transfer);
        EXPECT_EQ(run.messages, c.messages);
        EXPECT_EQ(run.notices, c.notices);
    }
}

TEST(UploadProcedureScenarios, WaitsKeepTheirPeriods) {
    // Main: the reply 5 ms after the request, the transfer 2000 ms after the reply, the report
    // 10 ms after the last acknowledgement. Legacy: 1000 ms, the pace, then 11 x 500 ms.
    UploadRun main(Board{}, Facts{});
    main.go();
    EXPECT_EQ(main.ended_at, 5 + uploadtimer::kStartDelayMs + 10);
    Board legacy;
    legacy.legacy = true;
    UploadRun stream(legacy, Facts{});
    stream.go();
    const int blocks = 3;  // 2500 bytes
    EXPECT_EQ(stream.ended_at, uploadtimer::kStreamStartMs + kStreamStartPauseMs +
                                   kStreamPauseMs * (blocks + 1) +
                                   uploadtimer::kFinishStepMs * (kStreamFinishSteps + 1));
    EXPECT_EQ(stream.progress_steps, kStreamFinishSteps);  // the finishing phase's own steps
}

TEST(UploadProcedureScenarios, AReportAfterTheGuardIsToldAsALateCompletion) {
    Board late;
    late.late_report_ms = uploadtimer::kUploadGuardMs + 1000;
    UploadRun run(late, Facts{});
    run.go();
    EXPECT_EQ(run.outcomes, std::vector<Outcome>{Outcome::NoReport});
    EXPECT_EQ(run.notices, std::vector<A::Kind>{A::LateReport});
    EXPECT_EQ(run.core_.operation_state(), OperationState::UploadCompleted);
}

// --- events and actions one at a time ----------------------------------------------------------

std::vector<A::Kind> kinds(const UploadActions& actions) {
    std::vector<A::Kind> k;
    for (const A& a : actions) k.push_back(a.kind);
    return k;
}

// A main-protocol board's upload, brought to one phase or another by hand.
struct Machine {
    Machine() {
        core.reset();
        core.working.product_code = {0, 2};
        core.working.local_ip = kBoardIp;
    }
    // The command accepted and the request sent.
    void requested() {
        UploadStart facts;
        facts.image_size = 2500;
        ASSERT_EQ(kinds(procedure.start(facts)), std::vector<A::Kind>{A::Collect});
        ASSERT_EQ(kinds(procedure.collected()),
                  (std::vector<A::Kind>{A::Send, A::Log, A::ArmTimer}));
    }
    void replied() {
        requested();
        core.handle_datagram(kSearchSocketTag, std::vector<std::uint8_t>{OPCODE_UPLOAD_REPLY});
        procedure.upload_reply();
    }
    void transferring() {
        replied();
        const UploadActions start = procedure.timer_expired(uploadtimer::kStartDelay, kBoardIp);
        ASSERT_EQ(kinds(start), (std::vector<A::Kind>{A::Log, A::StartTransfer}));
    }
    ConfigCore core;
    UploadProcedure procedure{core};
};

class Procedure : public ::testing::Test, public Machine {};

TEST(ProcedureExchanges, OnlyAnAcknowledgedTransferHoldsOffOtherExchanges) {
    struct Case {
        const char* what;
        void (Machine::*reach)();
        bool blocks;
        std::vector<A::Kind> actions;
    };
    const std::vector<A::Kind> abandoned{A::StopTimer, A::Ended};
    const std::vector<A::Kind> abandoned_after_reply{A::StopTimer, A::StopTimer, A::Ended};
    const Case cases[] = {
        {"awaiting the reply", &Machine::requested, false, abandoned},
        {"after the reply", &Machine::replied, false, abandoned_after_reply},
        {"transferring", &Machine::transferring, true, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Machine m;
        (m.*c.reach)();
        EXPECT_EQ(m.procedure.blocks_other_exchange(), c.blocks);
        if (c.blocks) continue;
        const UploadActions out = m.procedure.other_exchange();
        EXPECT_EQ(kinds(out), c.actions);
        EXPECT_EQ(out.back().outcome, Outcome::Abandoned);
        EXPECT_EQ(m.core.operation_state(), OperationState::Idle);
        EXPECT_FALSE(m.procedure.any_timer_armed());
    }
}

TEST_F(Procedure, NoReportIsAcceptedBeforeTheImageHasGoneOutWhole) {
    transferring();
    core.handle_datagram(kSearchSocketTag,
                         std::vector<std::uint8_t>{OPCODE_UPLOAD_COMPLETE});  // dropped by the core
    EXPECT_TRUE(procedure.upload_done().empty());  // and by the procedure
    EXPECT_TRUE(procedure.running());
    procedure.transfer_sent_whole(TransferKind::Acknowledged);
    EXPECT_EQ(core.operation_state(), OperationState::UploadCompleteAwaited);
    const UploadActions done = procedure.upload_done();
    EXPECT_EQ(done.front().kind, A::StopTransfer);
    EXPECT_EQ(done.back().outcome, Outcome::Completed);
    // The transfer's own end comes too late to count twice.
    EXPECT_TRUE(
        procedure.transfer_ended(TransferKind::Acknowledged, TransferOutcome::Succeeded).empty());
}

TEST_F(Procedure, StrayEventsOfAnotherPhaseDoNothing) {
    EXPECT_TRUE(procedure.upload_reply().empty());
    EXPECT_TRUE(procedure.upload_done().empty());
    EXPECT_TRUE(procedure.collected().empty());
    EXPECT_TRUE(procedure.request_not_sent().empty());
    EXPECT_TRUE(
        procedure.transfer_ended(TransferKind::Streamed, TransferOutcome::Succeeded).empty());
    for (int id : {uploadtimer::kStartDelay, uploadtimer::kStreamStart, uploadtimer::kFinishStep,
                   uploadtimer::kEmptyImageError, uploadtimer::kUploadGuard,
                   uploadtimer::kAgingRestart, uploadtimer::kUploadWatch})
        EXPECT_TRUE(procedure.timer_expired(id, kBoardIp).empty()) << id;
    requested();
    EXPECT_TRUE(procedure.start({}).empty());  // one upload at a time
    EXPECT_TRUE(
        procedure.transfer_ended(TransferKind::Acknowledged, TransferOutcome::Succeeded).empty());
}

TEST_F(Procedure, AgingRestartWaitsForAnUploadThatStillRuns) {
    ASSERT_EQ(kinds(procedure.begin_aging()), (std::vector<A::Kind>{A::ArmTimer, A::AgingCount}));
    EXPECT_TRUE(procedure.begin_aging().empty());  // one series at a time
    EXPECT_EQ(kinds(procedure.timer_expired(uploadtimer::kAgingRestart)),
              std::vector<A::Kind>{A::RunUpload});
    requested();
    const UploadActions again = procedure.timer_expired(uploadtimer::kAgingRestart);
    ASSERT_EQ(kinds(again), std::vector<A::Kind>{A::ArmTimer});
    EXPECT_EQ(again[0].value, uploadtimer::kAgingRestartMs);
    // The upload fails: the series is over and its restart stopped.
    const UploadActions failed = procedure.timer_expired(uploadtimer::kUploadGuard);
    EXPECT_EQ(kinds(failed), (std::vector<A::Kind>{A::Ended, A::StopTimer, A::AgingOver}));
    EXPECT_FALSE(procedure.aging().running());
}

TEST_F(Procedure, ASeriesEndedByAnUploadStartedByHandLeavesNoRestartArmed) {
    procedure.set_aging_limit(1);
    procedure.begin_aging();
    for (int upload = 0; upload < 2; ++upload) {  // both pressed by hand, before timer 3 ran
        SCOPED_TRACE(upload);
        transferring();
        procedure.transfer_sent_whole(TransferKind::Acknowledged);
        procedure.transfer_ended(TransferKind::Acknowledged, TransferOutcome::Succeeded);
        core.handle_datagram(kSearchSocketTag, std::vector<std::uint8_t>{OPCODE_UPLOAD_COMPLETE});
        procedure.upload_done();
    }
    EXPECT_EQ(procedure.aging().phase(), AgingSeries::Phase::Over);
    EXPECT_FALSE(procedure.armed(uploadtimer::kAgingRestart));
    EXPECT_FALSE(procedure.any_timer_armed());
}

// --- rules -------------------------------------------------------------------------------------

TEST(UploadRules, TransferAddress) {
    using Ip = std::array<std::uint8_t, 4>;
    EXPECT_EQ(transfer_address(Ip{127, 0, 1, 5}), (Ip{127, 0, 1, 5}));
    EXPECT_EQ(transfer_address(Ip{0, 0, 0, 1}), (Ip{0, 0, 0, 1}));
    EXPECT_EQ(transfer_address(Ip{0, 0, 0, 0}), std::nullopt);
    EXPECT_EQ(transfer_address(std::nullopt), std::nullopt);
}

TEST(UploadRules, AgingCountsToItsLimitThenRunsOneUncountedUpload) {
    AgingSeries series(3);
    EXPECT_TRUE(series.begin());
    EXPECT_FALSE(series.begin());  // one series at a time
    for (int n = 1; n <= 3; ++n) {
        const AgingSeries::Step step = series.transfer_finished();
        EXPECT_TRUE(step.counted && step.arm_next && !step.over) << n;
        EXPECT_EQ(series.count(), n);
    }
    EXPECT_EQ(series.phase(), AgingSeries::Phase::LastUpload);
    const AgingSeries::Step last = series.transfer_finished();
    EXPECT_FALSE(last.counted || last.arm_next);
    EXPECT_TRUE(last.over);
    EXPECT_EQ(series.count(), 3);
    EXPECT_FALSE(series.failed());
    EXPECT_TRUE(series.begin());  // a new series may start once this one is over
    EXPECT_EQ(series.count(), 0);
}

TEST(UploadRules, AgingStopsAtTheFirstFailure) {
    AgingSeries series(5);
    EXPECT_FALSE(series.failed());
    series.begin();
    series.transfer_finished();
    EXPECT_TRUE(series.failed());
    EXPECT_FALSE(series.running());
    EXPECT_EQ(series.count(), 1);
    const AgingSeries::Step after = series.transfer_finished();
    EXPECT_FALSE(after.counted || after.arm_next || after.over);
    series.set_limit(0);
    EXPECT_EQ(series.limit(), 1);
}

}  // namespace
}  // namespace quorin
