// The Boards window's controller and model without a window: against the board simulator on
// loopback, each result of an apply and of a rollout as the row's status, and what the model
// tells its views when a status moves.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>

#include "boards/board_model.h"
#include "boards/fleet_controller.h"
#include "fleet/history.h"
#include "tests/cli/cli_support.h"
#include "tests/support/loopback.h"
#include "tests/support/test_image.h"

namespace quorin::boards {
namespace {

using quorin::testing::waitFor;

class FleetControllerTest : public cli::testing::UploadSimulatorTest {
  protected:
    void open(const QString& boards, const QStringList& extra = {}) {
        start_boards(boards, QStringList{"--reboot-ms", "200"} + extra);
        qputenv("XDG_STATE_HOME", dir_.filePath(QStringLiteral("state")).toUtf8());
        cli::CommonOptions o;
        o.link.broadcast = QHostAddress(QStringLiteral("127.255.255.255"));
        o.link.main_port = sim_.main_port;
        o.link.legacy_board_port = sim_.legacy_port;
        o.link.legacy_local_port = 0;
        o.wait_ms = 400;
        o.upload_port = upload_port_;
        o.stream_port = stream_port_;
        controller_ = std::make_unique<FleetController>(o);
        QString error;
        ASSERT_TRUE(controller_->open(&error)) << error.toStdString();
        search();
    }
    void search() {
        controller_->search();
        ASSERT_TRUE(waitFor([&] { return !controller_->busy(); }, 5000));
    }
    void idle(int ms) {
        ASSERT_TRUE(waitFor([&] { return !controller_->busy(); }, ms));
    }
    std::string status(int board) const {
        const Mac mac{0x02, 0x51, 0x00, code_, 0x00, static_cast<std::uint8_t>(board)};
        return fleet::status_text(controller_->table().status_of(mac));
    }

    int applied() const { return cli::testing::count_events(events_, "settings_applied"); }

    std::unique_ptr<FleetController> controller_;
    std::uint8_t code_ = 0x02;
};

TEST_F(FleetControllerTest, EachResultOfAnApplyIsItsRowsStatus) {
    // Board 1 takes no set request; board 2 is of another model than the profile's.
    open("0002:2,0003:1", {"--fault", "1:ignore_set"});
    fleet::BoardTable& t = controller_->table();
    ASSERT_EQ(t.rows(), 3u);
    EXPECT_EQ(t.cell(0, fleet::BoardColumn::Interface), "lo");  // the replies came in on it
    t.select_all();
    const ApplyPlan plan = controller_->plan_apply(file(
        "p.json", R"({"model": "Quorin712P", "settings": {"channel[0].baud_rate": "19200"}})"));
    ASSERT_TRUE(plan.error.isEmpty()) << plan.error.toStdString();
    EXPECT_EQ(plan.changing(), 2u);
    QString error;
    ASSERT_TRUE(controller_->apply(plan, &error)) << error.toStdString();
    EXPECT_TRUE(controller_->busy());
    EXPECT_FALSE(controller_->apply(plan, &error));  // one run at a time
    idle(8000);
    EXPECT_EQ(status(0), "changed");
    EXPECT_EQ(status(1).rfind("failed: no set reply", 0), 0u) << status(1);
    code_ = 0x03;
    EXPECT_EQ(status(2), "failed: a Quorin712PD, the file is for a Quorin712P");
    EXPECT_EQ(applied(), 1);
    // The journal holds every board the run was to change, as it was.
    QFile journal_file(controller_->journal_path());
    ASSERT_TRUE(journal_file.open(QIODevice::ReadOnly));
    const auto journal_read = fleet::read_journal(journal_file.readAll().toStdString());
    ASSERT_TRUE(journal_read.value) << journal_read.error;
    ASSERT_EQ(journal_read.value->boards.size(), 2u);
    EXPECT_EQ(journal_read.value->command, "apply");
    EXPECT_EQ(journal_read.value->boards[1].mac, (Mac{0x02, 0x51, 0x00, 0x02, 0x00, 0x01}));

    // The same profile again: the board that took it is unchanged and keeps its status; nothing
    // is sent to it, and no journal is written for a run that changes nothing.
    code_ = 0x02;
    t.clear_selection();
    t.pick(*t.row_of({0x02, 0x51, 0x00, 0x02, 0x00, 0x00}), fleet::BoardTable::Pick::Only);
    const QString journal = controller_->journal_path();
    const ApplyPlan again = controller_->plan_apply(plan.source);
    EXPECT_EQ(again.changing(), 0u);
    ASSERT_TRUE(controller_->apply(again, &error));
    idle(5000);
    EXPECT_EQ(status(0), "found");
    EXPECT_EQ(applied(), 1);
    EXPECT_EQ(controller_->journal_path(), journal);
}

TEST_F(FleetControllerTest, StopDuringAnApplySendsNoFurtherSet) {
    open("0002:6", {"--fault", "0:ignore_set", "--fault", "1:ignore_set", "--fault", "2:ignore_set",
                    "--fault", "3:ignore_set"});
    controller_->table().select_all();
    const ApplyPlan plan = controller_->plan_apply(file(
        "p.json", R"({"model": "Quorin712P", "settings": {"channel[0].baud_rate": "19200"}})"));
    QString error;
    ASSERT_TRUE(controller_->apply(plan, &error));
    // Four set requests at once, each unanswered for the wait: the other two are still queued.
    quorin::testing::settle(100);
    controller_->stop();
    EXPECT_TRUE(controller_->stopping());
    idle(8000);
    for (int b : {4, 5}) EXPECT_EQ(status(b), "failed: not_started") << b;
    EXPECT_EQ(status(0).rfind("failed: no set reply", 0), 0u) << status(0);
}

TEST_F(FleetControllerTest, EachResultOfARolloutIsItsRowsStatus) {
    // Firmware 1.5.0, 1.5.2, 1.5.3, 2.1.0 (newer than the image: refused), 1.6.0.
    open("0002:5", {"--installs", "1.6.2", "--fault", "1:upgrade_keeps_version", "--fault",
                    "2:upgrade_changes_settings", "--fault", "4:refuse_upload"});
    controller_->table().select_all();
    const QByteArray bytes = quorin::testing::test_image(2000);
    const QString image = file("fw.bin", bytes);
    file("fw.bin.json", QStringLiteral("{\"format_version\": 1, \"version\": \"1.6.2\", "
                                       "\"models\": [\"Quorin712P\"], \"sha256\": \"%1\"}")
                            .arg(quorin::testing::sha256_hex(bytes))
                            .toUtf8());
    const UpgradePlan plan = controller_->plan_upgrade(image);
    ASSERT_TRUE(plan.error.isEmpty()) << plan.error.toStdString();
    ASSERT_EQ(plan.upgrading(), 4u);
    QSignalSpy changed(controller_.get(), &FleetController::statusChanged);
    controller_->upgrade(plan, {4, 0, 0, 3});
    idle(20000);
    EXPECT_EQ(status(0), "verified");
    EXPECT_EQ(status(1).rfind("failed: ", 0), 0u) << status(1);
    EXPECT_NE(status(1).find("1.5.2"), std::string::npos) << status(1);  // still the old one
    EXPECT_NE(status(2).find("channel[0].local_port"), std::string::npos) << status(2);
    EXPECT_EQ(status(3), "found");
    EXPECT_EQ(status(4).rfind("failed: ", 0), 0u) << status(4);
    EXPECT_GT(changed.size(), 4);  // progress on the way, not only the ends
    EXPECT_TRUE(controller_->cut_off().empty());
    // The upload history has a line per board that was sent the image, as quorinctl keeps it.
    QFile history(dir_.filePath("state/quorinctl/history.jsonl"));
    ASSERT_TRUE(history.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = history.readAll().split('\n');
    EXPECT_EQ(lines.size(), 5);  // and the empty rest after the last newline
    for (const QByteArray& line : lines.first(4)) {
        const auto entry = fleet::read_history_line(std::string_view(line.data(), line.size()));
        ASSERT_TRUE(entry.value) << line.toStdString();
        EXPECT_EQ(entry.value->sha256, quorin::testing::sha256_hex(bytes).toStdString());
    }
}

TEST_F(FleetControllerTest, AnImageOrManifestThatCannotBeUsedSendsNothing) {
    open("0002:1");
    controller_->table().select_all();
    EXPECT_FALSE(controller_->plan_upgrade(dir_.filePath("missing.bin")).error.isEmpty());
    const QString image = file("fw.bin", quorin::testing::test_image(100));
    file("fw.bin.json", R"({"format_version": 1, "version": "1.6.2", "models": ["Quorin712P"],
                            "sha256": "0000000000000000000000000000000000000000000000000000000000000000"})");
    const UpgradePlan plan = controller_->plan_upgrade(image);
    EXPECT_TRUE(plan.error.contains("sha256")) << plan.error.toStdString();
    controller_->upgrade(plan, {});
    EXPECT_FALSE(controller_->busy());
    EXPECT_EQ(upload_requests(), 0);
}

TEST(BoardModel, AStatusThatMovesNoRowRepaintsItsCellAloneOtherwiseTheRowsAreArrangedAgain) {
    FleetController c({});
    BoardModel model(c);
    std::vector<fleet::BoardListing> boards;
    for (std::uint8_t i = 0; i < 3; ++i) {
        fleet::BoardListing b;
        b.row.mac_address = {0x02, 0x51, 0x00, 0x02, 0x00, i};
        b.row.product_code = {0, 2};
        boards.push_back(b);
    }
    c.table().set_boards(boards);
    emit c.boardsChanged();
    ASSERT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.headerData(8, Qt::Horizontal, Qt::DisplayRole), "Status");
    EXPECT_EQ(model.index(1, 0).data(Qt::AccessibleTextRole), "02:51:00:02:00:01");

    QSignalSpy cells(&model, &BoardModel::dataChanged);
    QSignalSpy arranged(&model, &BoardModel::rowsArranged);
    const Mac second = boards[1].row.mac_address;
    c.table().set_status(second, {fleet::BoardStatus::Upgrading, 40, {}});
    emit c.statusChanged(second);
    EXPECT_EQ(cells.size(), 1);
    EXPECT_EQ(arranged.size(), 0);
    EXPECT_EQ(model.index(1, 8).data(BoardModel::kPercentRole), 40);
    EXPECT_EQ(model.index(1, 7).data(BoardModel::kPercentRole), -1);
    EXPECT_EQ(model.index(0, 8).data(BoardModel::kPercentRole), -1);

    // Sorted by status, a board whose status changes may move: the rows are arranged again.
    model.sort(8, Qt::DescendingOrder);
    arranged.clear();
    c.table().set_status(boards[0].row.mac_address, {fleet::BoardStatus::Verified, 100, {}});
    emit c.statusChanged(boards[0].row.mac_address);
    EXPECT_EQ(arranged.size(), 1);
    EXPECT_EQ(model.index(0, 8).data(Qt::DisplayRole), "verified");
    model.setFilter("upgrading");
    EXPECT_EQ(model.rowCount(), 1);
}

TEST(FleetController, ExportsTheRowsShownAsCsvAndJson) {
    FleetController c({});
    fleet::BoardListing b;
    b.row.mac_address = {0x02, 0x51, 0x00, 0x02, 0x00, 0x07};
    b.row.product_code = {0, 2};
    b.interface = "eth,0";
    c.table().set_boards({b});
    c.table().set_status(b.row.mac_address, {fleet::BoardStatus::Failed, 0, "no \"reply\""});
    const QStringList csv = c.export_text(false).split("\r\n", Qt::SkipEmptyParts);  // RFC 4180
    ASSERT_EQ(csv.size(), 2);
    EXPECT_EQ(csv[0].toStdString(),
              "mac,model,local_ip,subnet_mask,gateway,firmware,ip_mode,interface,status");
    EXPECT_TRUE(csv[1].startsWith("02:51:00:02:00:07,Quorin712P,")) << csv[1].toStdString();
    EXPECT_TRUE(csv[1].endsWith(R"(,"eth,0","failed: no ""reply""")")) << csv[1].toStdString();
    const QJsonObject json = QJsonDocument::fromJson(c.export_text(true).toUtf8()).object();
    EXPECT_EQ(json.value("format_version"), 1);
    const QJsonObject row = json.value("boards").toArray().at(0).toObject();
    EXPECT_EQ(row.value("mac"), "02:51:00:02:00:07");
    EXPECT_EQ(row.value("status"), "failed: no \"reply\"");
    c.table().set_filter("nothing shows this");
    EXPECT_TRUE(QJsonDocument::fromJson(c.export_text(true).toUtf8())
                    .object()
                    .value("boards")
                    .toArray()
                    .isEmpty());
}

}  // namespace
}  // namespace quorin::boards
