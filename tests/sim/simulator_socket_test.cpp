// The simulator through real sockets on loopback: a test socket on 127.0.0.1 plays the tool's
// configuration sockets and its two firmware transfers; every port is chosen by the system.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTcpServer>
#include <map>
#include <set>

#include "sim/board_json.h"
#include "sim_test_support.h"

namespace quorin::sim {
namespace {

using namespace testing;

QByteArray search_request() {
    QByteArray d(402, 0);
    d[0] = 1;
    d[1] = 0x73;
    return d;
}

std::string mac_of(const QByteArray& datagram, int offset) {
    std::array<std::uint8_t, 6> mac{};
    for (int i = 0; i < 6 && offset + i < datagram.size(); ++i) {
        mac[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(datagram[offset + i]);
    }
    return mac_address_text(mac);
}

std::span<const std::uint8_t> bytes_of(const QByteArray& d) {
    return {reinterpret_cast<const std::uint8_t*>(d.data()), static_cast<std::size_t>(d.size())};
}

class SimulatorOnLoopback : public ::testing::Test {
  protected:
    void start(std::vector<SimBoard> boards, const SimConfig& config = loopback_config()) {
        sim = std::make_unique<BoardSimulator>(std::move(boards));
        recorder = std::make_unique<EventRecorder>(*sim);
        QString error;
        ASSERT_TRUE(sim->start(config, &error)) << error.toStdString();
        ASSERT_NE(sim->mainPort(), 0);
        ASSERT_NE(sim->legacyPort(), 0);
    }
    const SimBoard& board(int i) const { return sim->boards()[static_cast<std::size_t>(i)]; }

    // Sends an upload request for board `i` and waits until it listens; returns its port.
    quint16 request_upload(int i) {
        if (board(i).legacy()) {
            tool.send(legacy_request("FIRS", board(i).row), sim->legacyPort());
        } else {
            tool.send(main_request(OPCODE_UPLOAD_REQUEST, board(i).row, board(i).layout().length),
                      sim->mainPort());
        }
        wait_until([&] { return sim->uploadListenPort(i) != 0; }, 2000);
        return sim->uploadListenPort(i);
    }

    // The settings board `i` reports to a search of its protocol; nullopt when it does not
    // answer within `ms`.
    std::optional<BoardRow> search_board(int i, int ms) {
        const bool legacy = board(i).legacy();
        tool.send(legacy ? QByteArray("FIND") : search_request(),
                  legacy ? sim->legacyPort() : sim->mainPort());
        const std::string mac = mac_address_text(board(i).row.mac_address);
        std::optional<BoardRow> found;
        wait_until(
            [&] {
                while (!found && tool.socket.hasPendingDatagrams()) {
                    const QByteArray r = tool.socket.receiveDatagram().data();
                    const bool reply = legacy ? r.startsWith("IMIN") : r.startsWith('\x02');
                    if (!reply || mac_of(r, legacy ? 4 : 2) != mac) continue;
                    BoardRow row;
                    if (legacy) {
                        read_legacy_record(bytes_of(r), row);
                    } else {
                        read_main_record(bytes_of(r), board(i).layout(), row);
                    }
                    found = row;
                }
                return found.has_value();
            },
            ms);
        return found;
    }

    UdpPeer tool;
    std::unique_ptr<BoardSimulator> sim;
    std::unique_ptr<EventRecorder> recorder;
};

TEST_F(SimulatorOnLoopback, SearchRepliesInEachModelsLayout) {
    start(make_boards({"0001", "0002", "0003", "0004", "0005", "0006", "0107"}));
    tool.send(search_request(), sim->mainPort());
    const auto replies = tool.receive(6, 2000, 100);

    std::map<std::string, qsizetype> length_by_product;
    for (const QByteArray& r : replies) {
        ASSERT_GE(r.size(), 10);
        EXPECT_EQ(r[0], 2);
        const std::array<std::uint8_t, 2> code{static_cast<std::uint8_t>(r[8]),
                                               static_cast<std::uint8_t>(r[9])};
        length_by_product[product_code_string(code)] = r.size();
    }
    EXPECT_EQ(replies.size(), 6u);
    EXPECT_EQ(length_by_product, (std::map<std::string, qsizetype>{{"0001", 226},
                                                                   {"0002", 402},
                                                                   {"0003", 290},
                                                                   {"0005", 290},
                                                                   {"0006", 402},
                                                                   {"0107", 290}}));

    tool.send(QByteArray("FIND"), sim->legacyPort());
    const auto imin = tool.receive(1, 2000, 100);
    ASSERT_EQ(imin.size(), 1u);
    EXPECT_EQ(imin[0].size(), 120);
    EXPECT_EQ(imin[0].left(4), "IMIN");
    EXPECT_EQ(mac_of(imin[0], 4), mac_address_text(board(3).row.mac_address));

    // The log names the request and every reply, with the tool's address and port.
    const auto received = recorder->named("datagram_received");
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].value("from").toString(), "127.0.0.1");
    EXPECT_EQ(received[0].value("port").toInt(), tool.socket.localPort());
    EXPECT_EQ(received[0].value("opcode").toInt(), 1);
    EXPECT_EQ(received[0].value("length").toInt(), 402);
    EXPECT_EQ(received[1].value("opcode").toString(), "FIND");
    const auto sent = recorder->named("reply_sent");
    ASSERT_EQ(sent.size(), 7u);
    for (const auto& e : sent) {
        EXPECT_EQ(e.value("to").toString(), "127.0.0.1");
        EXPECT_EQ(e.value("port").toInt(), tool.socket.localPort());
        EXPECT_EQ(e.value("kind").toString(), "search_reply");
    }
}

TEST_F(SimulatorOnLoopback, TwoHundredFiftyBoardsAllAnswerOneSearch) {
    std::vector<std::string> codes;
    for (const char* code : {"0001", "0002", "0003", "0005", "0006"})
        codes.insert(codes.end(), 50, code);
    start(make_boards(codes));
    QElapsedTimer clock;
    clock.start();
    tool.send(search_request(), sim->mainPort());
    const auto replies = tool.receive(250, 5000);
    const qint64 ms = clock.elapsed();
    std::set<std::string> macs;
    for (const QByteArray& r : replies) macs.insert(mac_of(r, 2));
    EXPECT_EQ(replies.size(), 250u);
    EXPECT_EQ(macs.size(), 250u);
    EXPECT_EQ(recorder->count("reply_sent"), 250);
    EXPECT_EQ(recorder->count("send_failed"), 0);
    RecordProperty("search_ms", static_cast<int>(ms));
}

TEST_F(SimulatorOnLoopback, SetIsAppliedEchoedAndLoggedByFieldName) {
    start(make_boards({"0003", "0002"}));
    const BoardRow before = board(1).row;
    BoardRow wanted = before;
    wanted.local_ip = {10, 1, 1, 50};
    wanted.ip_mode = 2;
    wanted.pppoe_id = {'n', 'e', 'w'};
    wanted.channel[3].remote_port = 4321;
    for (auto& c : wanted.channel) c.connection_status = 0;  // the tool always sends 0

    tool.send(main_request(OPCODE_SET_REQUEST, wanted, 402), sim->mainPort());
    const auto replies = tool.receive(1, 2000);
    ASSERT_EQ(replies.size(), 1u);
    ASSERT_EQ(replies[0].size(), 402);
    EXPECT_EQ(replies[0][0], OPCODE_SET_REPLY);
    BoardRow echoed;
    read_main_record(bytes_of(replies[0]), board_layout({0, 2}), echoed);
    BoardRow expected = wanted;
    for (int i = 0; i < 4; ++i)
        expected.channel[i].connection_status = before.channel[i].connection_status;
    EXPECT_EQ(echoed, expected);
    EXPECT_EQ(board(1).row, expected);
    EXPECT_EQ(board(0).row, make_boards({"0003"})[0].row);

    const auto applied = recorder->named("settings_applied");
    ASSERT_EQ(applied.size(), 1u);
    EXPECT_EQ(applied[0].value("board").toInt(), 1);
    EXPECT_EQ(applied[0].value("request").toString(), "set");
    const QJsonObject settings = applied[0].value("settings").toObject();
    EXPECT_EQ(settings.value("local_ip").toString(), "10.1.1.50");
    EXPECT_EQ(settings.value("pppoe_id").toString(), "new");
    EXPECT_EQ(settings.value("channel").toArray()[3].toObject().value("remote_port").toInt(), 4321);
    const QJsonArray changed = applied[0].value("changed").toArray();
    EXPECT_TRUE(changed.contains("local_ip"));
    EXPECT_TRUE(changed.contains("channel[3].remote_port"));
    EXPECT_FALSE(changed.contains("channel[0].connection_status"));

    // The next search shows the settings now in force.
    tool.send(search_request(), sim->mainPort());
    const auto found = tool.receive(2, 2000);
    ASSERT_EQ(found.size(), 2u);
    for (const QByteArray& r : found) {
        if (r.size() == 402) {
            EXPECT_EQ(static_cast<std::uint8_t>(r[10]), 10);
        }
    }
}

TEST_F(SimulatorOnLoopback, LegacySetIsAppliedAndEchoed) {
    start(make_boards({"0004"}));
    BoardRow wanted = board(0).row;
    wanted.local_ip = {172, 16, 0, 9};
    wanted.channel[0].baud_rate = 5;
    wanted.channel[0].packing_size = 200;
    tool.send(legacy_request("SETT", wanted), sim->legacyPort());
    const auto replies = tool.receive(1, 2000);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].size(), 120);
    EXPECT_EQ(replies[0].left(4), "SETC");
    EXPECT_EQ(static_cast<std::uint8_t>(replies[0][10]), 172);
    EXPECT_EQ(static_cast<std::uint8_t>(replies[0][33]), 232) << "baud code 5 as its wire byte";
    EXPECT_EQ(static_cast<std::uint8_t>(replies[0][42]), 200);
    const auto applied = recorder->named("settings_applied");
    ASSERT_EQ(applied.size(), 1u);
    EXPECT_EQ(applied[0].value("request").toString(), "SETT");
    EXPECT_EQ(applied[0].value("settings").toObject().value("local_ip").toString(), "172.16.0.9");
}

TEST_F(SimulatorOnLoopback, AcknowledgedTransferArrivesIntact) {
    start(make_boards({"0003", "0006"}));
    const quint16 port = request_upload(1);
    const auto reply = tool.receive(1, 2000);
    ASSERT_EQ(reply.size(), 1u);
    EXPECT_EQ(reply[0][0], OPCODE_UPLOAD_REPLY);
    ASSERT_NE(port, 0);
    const auto listening = recorder->named("upload_listening");
    ASSERT_EQ(listening.size(), 1u);
    EXPECT_EQ(listening[0].value("address").toString(), "127.0.1.2") << "the board's own address";
    EXPECT_FALSE(listening[0].value("shared").toBool());

    const QByteArray image = test_image(2500);
    const AckedRun run = run_acked_transfer(board_ip(board(1)), port, image);
    ASSERT_TRUE(run.connected);
    EXPECT_TRUE(run.finished);
    const std::vector<QByteArray> expected_acks = {
        QByteArray("\x20\x00\x00", 3), QByteArray("\x20\x01\x00", 3), QByteArray("\x20\x02\x00", 3),
        QByteArray("\x20\x03\x00", 3)};
    EXPECT_EQ(run.acks, expected_acks);
    EXPECT_EQ(run.blocks_sent, (std::vector<int>{1024, 1024, 452}));

    // The board reports completion to the address and port the request came from.
    const auto complete = tool.receive(1, 2000);
    ASSERT_EQ(complete.size(), 1u);
    EXPECT_EQ(complete[0].size(), 402);
    EXPECT_EQ(complete[0][0], OPCODE_UPLOAD_COMPLETE);
    EXPECT_EQ(mac_of(complete[0], 2), mac_address_text(board(1).row.mac_address));

    const auto images = recorder->named("image_received");
    ASSERT_EQ(images.size(), 1u);
    EXPECT_TRUE(images[0].value("complete").toBool());
    EXPECT_EQ(images[0].value("kind").toString(), "acknowledged");
    EXPECT_EQ(images[0].value("size").toInt(), 2500);
    EXPECT_EQ(images[0].value("declared_size").toInt(), 2500);
    EXPECT_EQ(images[0].value("blocks").toInt(), 3);
    EXPECT_EQ(images[0].value("sha256").toString(), sha256_hex(image));
    std::vector<int> ack_lengths;
    for (const auto& e : recorder->named("ack_sent"))
        ack_lengths.push_back(e.value("length").toInt());
    EXPECT_EQ(ack_lengths, (std::vector<int>{4, 1024, 1024, 452}));
    EXPECT_EQ(sim->uploadListenPort(1), 0) << "one connection per request";
}

TEST_F(SimulatorOnLoopback, StreamedTransferArrivesIntact) {
    start(make_boards({"0002", "0004"}));
    const quint16 port = request_upload(1);
    ASSERT_NE(port, 0);
    const QByteArray image = test_image(5000, 3);
    const StreamedRun run = run_streamed_transfer(board_ip(board(1)), port, image);
    ASSERT_TRUE(run.connected);
    EXPECT_TRUE(run.closed_by_board);
    wait_until([&] { return recorder->count("image_received") == 1; }, 2000);
    const auto images = recorder->named("image_received");
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].value("kind").toString(), "streamed");
    EXPECT_TRUE(images[0].value("complete").toBool());
    EXPECT_EQ(images[0].value("size").toInt(), 5000);
    EXPECT_EQ(images[0].value("sha256").toString(), sha256_hex(image));
    EXPECT_TRUE(tool.receive(1, 300).empty()) << "no reply in the legacy protocol";
}

TEST_F(SimulatorOnLoopback, SearchFaultsAreVisibleOnTheWire) {
    auto boards = make_boards({"0002", "0003", "0005", "0006", "0001"});
    boards[0].faults.search_twice = true;
    boards[1].faults.reply_delay_ms = 400;
    boards[2].faults.truncate_reply = 100;
    boards[3].faults.wrong_opcode = 4;
    start(std::move(boards));

    QElapsedTimer clock;
    clock.start();
    tool.send(search_request(), sim->mainPort());
    std::vector<std::pair<QByteArray, qint64>> arrivals;
    wait_until(
        [&] {
            while (tool.socket.hasPendingDatagrams()) {
                arrivals.emplace_back(tool.socket.receiveDatagram().data(), clock.elapsed());
            }
            return arrivals.size() >= 7;
        },
        3000);
    ASSERT_EQ(arrivals.size(), 7u);
    std::map<std::string, std::vector<std::pair<int, qsizetype>>> by_mac;  // opcode, length
    for (const auto& [d, t] : arrivals) by_mac[mac_of(d, 2)].emplace_back(d[0], d.size());
    auto mac = [&](int i) { return mac_address_text(board(i).row.mac_address); };

    EXPECT_EQ(by_mac[mac(0)], (std::vector<std::pair<int, qsizetype>>{{2, 402}, {2, 402}}));
    EXPECT_EQ(by_mac[mac(2)], (std::vector<std::pair<int, qsizetype>>{{2, 100}}));
    EXPECT_EQ(by_mac[mac(3)], (std::vector<std::pair<int, qsizetype>>{{2, 402}, {4, 402}}));
    EXPECT_EQ(by_mac[mac(4)], (std::vector<std::pair<int, qsizetype>>{{2, 226}}));
    // The late board comes last, at least its delay after the search.
    EXPECT_EQ(mac_of(arrivals.back().first, 2), mac(1));
    EXPECT_GE(arrivals.back().second, 380);
    EXPECT_LT(arrivals[5].second, 300);

    for (const char* fault : {"search_twice", "reply_delay_ms", "truncate_reply", "wrong_opcode"}) {
        EXPECT_EQ(recorder->faults(fault).size(), 1u) << fault;
    }
}

TEST_F(SimulatorOnLoopback, StopAcknowledgingAfterNBlocks) {
    auto boards = make_boards({"0002"});
    boards[0].faults.ack_stop_after = 1;
    start(std::move(boards));
    const quint16 port = request_upload(0);
    const AckedRun run = run_acked_transfer(board_ip(board(0)), port, test_image(3000), 700);
    EXPECT_EQ(run.acks.size(), 2u) << "size and block 1";
    EXPECT_EQ(run.blocks_sent, (std::vector<int>{1024, 1024}));
    EXPECT_FALSE(run.finished);
    EXPECT_EQ(recorder->faults("ack_stop_after").size(), 1u);
}

TEST_F(SimulatorOnLoopback, AcknowledgeWithAnotherByte) {
    auto boards = make_boards({"0005"});
    boards[0].faults.ack_byte = 0x21;
    start(std::move(boards));
    const quint16 port = request_upload(0);
    const AckedRun run = run_acked_transfer(board_ip(board(0)), port, test_image(1500), 500);
    ASSERT_EQ(run.acks.size(), 1u);
    EXPECT_EQ(run.acks[0], QByteArray("\x21\x00\x00", 3));
    EXPECT_TRUE(run.blocks_sent.empty()) << "a tool sends nothing on a rejected acknowledgement";
    EXPECT_EQ(recorder->faults("ack_byte").size(), 1u);
}

TEST_F(SimulatorOnLoopback, RefuseTheFirmwareConnection) {
    auto boards = make_boards({"0001"});
    boards[0].faults.refuse_upload = true;
    start(std::move(boards));
    tool.send(main_request(OPCODE_UPLOAD_REQUEST, board(0).row, 226), sim->mainPort());
    const auto reply = tool.receive(1, 2000);
    ASSERT_EQ(reply.size(), 1u);
    EXPECT_EQ(reply[0][0], OPCODE_UPLOAD_REPLY);
    EXPECT_EQ(sim->uploadListenPort(0), 0);
    EXPECT_EQ(recorder->count("upload_listening"), 0);
    EXPECT_EQ(recorder->faults("refuse_upload").size(), 1u);

    // Nothing listens at the board's address: a connection is refused.
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress(QHostAddress::LocalHost), 0));
    const quint16 free_port = probe.serverPort();
    probe.close();
    const AckedRun run = run_acked_transfer(board_ip(board(0)), free_port, test_image(10));
    EXPECT_FALSE(run.connected);
    EXPECT_EQ(run.error, QAbstractSocket::ConnectionRefusedError);
}

TEST_F(SimulatorOnLoopback, CloseMidTransferAfterNBlocks) {
    auto boards = make_boards({"0006", "0004"});
    boards[0].faults.close_after_blocks = 2;
    boards[1].faults.close_after_blocks = 1;
    SimConfig config = loopback_config();
    config.installs = FirmwareBytes{1, 62};
    config.reboot_ms = 100;
    start(std::move(boards), config);

    const AckedRun run =
        run_acked_transfer(board_ip(board(0)), request_upload(0), test_image(5000));
    EXPECT_EQ(run.acks.size(), 2u) << "size and block 1; block 2 is not acknowledged";
    EXPECT_EQ(run.blocks_sent.size(), 2u);
    EXPECT_TRUE(run.closed_by_board);

    const StreamedRun streamed =
        run_streamed_transfer(board_ip(board(1)), request_upload(1), test_image(5000));
    EXPECT_TRUE(streamed.closed_by_board);

    wait_until([&] { return recorder->count("image_received") == 2; }, 2000);
    const auto images = recorder->named("image_received");
    ASSERT_EQ(images.size(), 2u);
    EXPECT_FALSE(images[0].value("complete").toBool());
    EXPECT_EQ(images[0].value("size").toInt(), 2048);
    EXPECT_EQ(images[0].value("reason").toString(), "closed_by_board");
    EXPECT_FALSE(images[1].value("complete").toBool());
    EXPECT_EQ(images[1].value("size").toInt(), 1024);
    EXPECT_EQ(recorder->faults("close_after_blocks").size(), 2u);
    EXPECT_TRUE(tool.receive(2, 500).size() == 1u) << "only the upload reply, no completion report";

    // An incomplete image installs nothing: no reboot, the boards answer with what they had.
    EXPECT_EQ(recorder->count("reboot_started"), 0);
    for (int i = 0; i < 2; ++i) {
        const auto row = search_board(i, 1000);
        ASSERT_TRUE(row) << i;
        EXPECT_EQ(row->firmware_minor, make_boards({"0006", "0004"})[i].row.firmware_minor);
    }
}

// A board that took a whole image is silent while it reboots, then answers with the installed
// version, or as its upgrade hooks say.
TEST_F(SimulatorOnLoopback, BoardsRebootAfterAWholeImage) {
    struct Case {
        const char* product;
        std::vector<const char*> hooks;
        const char* firmware;  // answered with after the reboot; "" when it never answers again
        std::uint32_t local_port;
    } const cases[] = {
        {"0002", {}, "1.6.2", 5000},
        {"0004", {}, "1.6.2", 5000},
        {"0003", {"upgrade_keeps_version"}, "1.5.0", 5000},
        {"0004", {"upgrade_changes_settings"}, "1.6.2", 5001},
        {"0001", {"upgrade_never_returns", "no_upload_complete"}, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.product) + " " + (c.hooks.empty() ? "" : c.hooks[0]));
        auto boards = make_boards({c.product});
        for (const char* hook : c.hooks) {
            ASSERT_TRUE(set_fault(boards[0].faults, hook, "", nullptr));
        }
        SimConfig config = loopback_config();
        config.installs = FirmwareBytes{1, 62};
        config.reboot_ms = 300;
        start(std::move(boards), config);
        const quint16 port = request_upload(0);
        const bool legacy = board(0).legacy();
        if (legacy) {
            ASSERT_TRUE(
                run_streamed_transfer(board_ip(board(0)), port, test_image(2100)).connected);
        } else {
            ASSERT_TRUE(run_acked_transfer(board_ip(board(0)), port, test_image(2100)).finished);
        }
        ASSERT_TRUE(wait_until([&] { return recorder->count("reboot_started") == 1; }, 2000));
        const auto started = recorder->named("reboot_started")[0];
        const qint64 after_image = started.value("t_ms").toInteger() -
                                   recorder->named("image_received")[0].value("t_ms").toInteger();
        // Acknowledged: once the report is out (or would be), --complete-delay after the image.
        EXPECT_TRUE(legacy ? after_image < 45 : after_image >= 45) << after_image;

        EXPECT_FALSE(search_board(0, 150));
        EXPECT_EQ(recorder->named("datagram_ignored").back().value("reason").toString(),
                  "rebooting");
        const bool returns = *c.firmware != 0;
        EXPECT_EQ(wait_until([&] { return recorder->count("reboot_ended") == 1; }, 700), returns);
        const auto row = search_board(0, 300);
        ASSERT_EQ(row.has_value(), returns);
        for (const char* hook : c.hooks) EXPECT_EQ(recorder->faults(hook).size(), 1u);
        if (!row) continue;
        EXPECT_EQ(firmware_text(row->firmware_major, row->firmware_minor), c.firmware);
        EXPECT_EQ(row->channel[0].local_port, c.local_port);
        EXPECT_EQ(started.value("firmware").toString(), c.firmware);
        EXPECT_GE(recorder->named("reboot_ended")[0].value("t_ms").toInteger() -
                      started.value("t_ms").toInteger(),
                  295);
    }
}

TEST_F(SimulatorOnLoopback, NeverSendTheUploadCompleteReport) {
    auto boards = make_boards({"0003"});
    boards[0].faults.no_upload_complete = true;
    start(std::move(boards));
    const quint16 port = request_upload(0);
    ASSERT_EQ(tool.receive(1, 2000).size(), 1u);  // the upload reply
    const AckedRun run = run_acked_transfer(board_ip(board(0)), port, test_image(2048));
    EXPECT_TRUE(run.finished);
    EXPECT_TRUE(tool.receive(1, 600).empty());
    EXPECT_EQ(recorder->faults("no_upload_complete").size(), 1u);
    const auto images = recorder->named("image_received");
    ASSERT_EQ(images.size(), 1u);
    EXPECT_TRUE(images[0].value("complete").toBool());
}

// Boards whose address the host does not have take their connection on a shared wildcard
// listener, which gives it to the one board waiting.
TEST_F(SimulatorOnLoopback, BoardsWithoutALocalAddressShareAWildcardListener) {
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::AnyIPv4, 0));
    SimConfig config = loopback_config();
    config.upload_port = probe.serverPort();
    probe.close();
    start(make_boards({"0002", "0002"}, {198, 51, 100, 0}), config);

    const quint16 port = request_upload(1);
    ASSERT_EQ(port, config.upload_port);
    const auto listening = recorder->named("upload_listening");
    ASSERT_EQ(listening.size(), 1u);
    EXPECT_TRUE(listening[0].value("shared").toBool());
    const QByteArray image = test_image(1300);
    const AckedRun run = run_acked_transfer(QHostAddress(QHostAddress::LocalHost), port, image);
    EXPECT_TRUE(run.finished);
    const auto images = recorder->named("image_received");
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].value("board").toInt(), 1);
    EXPECT_EQ(images[0].value("sha256").toString(), sha256_hex(image));
}

// Once a shared listener holds the port, boards whose address the host has wait on it too, and
// each connection goes to the board whose address it was made to.
TEST_F(SimulatorOnLoopback, SharedListenerDispatchesByLocalAddress) {
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::AnyIPv4, 0));
    SimConfig config = loopback_config();
    config.upload_port = probe.serverPort();
    probe.close();
    auto boards = make_boards({"0003", "0005"}, {198, 51, 100, 0});
    boards[1].row.local_ip = {127, 0, 1, 77};
    start(std::move(boards), config);

    ASSERT_EQ(request_upload(0), config.upload_port);
    ASSERT_EQ(request_upload(1), config.upload_port);
    const auto listening = recorder->named("upload_listening");
    ASSERT_EQ(listening.size(), 2u);
    EXPECT_TRUE(listening[1].value("shared").toBool());

    const QByteArray second = test_image(700, 1);
    EXPECT_TRUE(
        run_acked_transfer(QHostAddress(QStringLiteral("127.0.1.77")), config.upload_port, second)
            .finished);
    const QByteArray first = test_image(900, 2);
    EXPECT_TRUE(run_acked_transfer(QHostAddress(QHostAddress::LocalHost), config.upload_port, first)
                    .finished);
    const auto images = recorder->named("image_received");
    ASSERT_EQ(images.size(), 2u);
    EXPECT_EQ(images[0].value("board").toInt(), 1);
    EXPECT_EQ(images[0].value("sha256").toString(), sha256_hex(second));
    EXPECT_EQ(images[1].value("board").toInt(), 0);
    EXPECT_EQ(images[1].value("sha256").toString(), sha256_hex(first));
}

TEST_F(SimulatorOnLoopback, IdleListenerTimesOut) {
    SimConfig config = loopback_config();
    config.upload_timeout_ms = 200;
    start(make_boards({"0002"}), config);
    ASSERT_NE(request_upload(0), 0);
    EXPECT_TRUE(wait_until([&] { return recorder->count("upload_timeout") == 1; }, 2000));
    EXPECT_EQ(sim->uploadListenPort(0), 0);
}

TEST_F(SimulatorOnLoopback, StoppedSimulatorAnswersNothing) {
    start(make_boards({"0002"}));
    const quint16 port = sim->mainPort();
    sim->stop();
    EXPECT_FALSE(sim->running());
    EXPECT_EQ(recorder->count("stopped"), 1);
    tool.send(search_request(), port);
    EXPECT_TRUE(tool.receive(1, 300).empty());
}

// Several simulators can hold the same UDP port; a search to the loopback broadcast address
// reaches all of them.
TEST(SimulatorStart, SimulatorsShareAPortForBroadcasts) {
    QUdpSocket finder;
    ASSERT_TRUE(finder.bind(QHostAddress::AnyIPv4, 0, QAbstractSocket::DontShareAddress));
    const quint16 port = finder.localPort();
    finder.close();
    SimConfig config = loopback_config();
    config.bind_address = QHostAddress::AnyIPv4;  // broadcasts reach only wildcard sockets
    config.main_port = port;
    BoardSimulator first(make_boards({"0002"}));
    BoardSimulator second(make_boards({"0003", "0001"}));
    QString error;
    ASSERT_TRUE(first.start(config, &error)) << error.toStdString();
    ASSERT_TRUE(second.start(config, &error)) << error.toStdString();

    UdpPeer tool;
    QByteArray search(402, 0);
    search[0] = 1;
    tool.socket.writeDatagram(search, QHostAddress(QStringLiteral("127.255.255.255")), port);
    std::multiset<qsizetype> lengths;
    for (const QByteArray& r : tool.receive(3, 2000, 100)) lengths.insert(r.size());
    EXPECT_EQ(lengths, (std::multiset<qsizetype>{226, 290, 402}));
}

TEST(SimulatorStart, ReportsAPortItCannotBind) {
    QUdpSocket holder;
    ASSERT_TRUE(
        holder.bind(QHostAddress(QHostAddress::LocalHost), 0, QAbstractSocket::DontShareAddress));
    SimConfig config = loopback_config();
    config.main_port = holder.localPort();
    BoardSimulator sim(make_boards({"0002"}));
    QString error;
    EXPECT_FALSE(sim.start(config, &error));
    EXPECT_TRUE(error.contains(QString::number(holder.localPort()))) << error.toStdString();
    EXPECT_FALSE(sim.running());
}

}  // namespace
}  // namespace quorin::sim
