// The board simulator in this process for firmware upload tests: boards on 127.0.1.x, firmware
// listeners on TCP ports that were free a moment ago (so that tests can run side by side), the
// event log kept for the test to read, and image files to upload.
#pragma once

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonObject>
#include <QNetworkProxy>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <memory>
#include <vector>

#include "protocol/config_core.h"
#include "sim/board_simulator.h"
#include "sim/sim_board.h"
#include "tests/support/loopback.h"
#include "tests/support/test_image.h"

namespace quorin::testing {

class UploadSimulator {
  public:
    // Boards of the given products at 127.0.1.1, 127.0.1.2, ... A board reports the end of an
    // upload `complete_delay_ms` after its last acknowledgement, as a board writing its flash
    // would: the tool takes the report only once it has seen that acknowledgement.
    explicit UploadSimulator(const std::vector<std::uint8_t>& products,
                             int complete_delay_ms = 100) {
        std::vector<sim::SimBoard> boards;
        for (std::size_t i = 0; i < products.size(); ++i) {
            const int index = static_cast<int>(i);
            sim::SimBoard b;
            b.row = sim::default_board_row({0, products[i]}, index,
                                           sim::board_address({127, 0, 1, 0}, index));
            boards.push_back(b);
        }
        boards_ = std::move(boards);
        config_.main_port = 0;
        config_.legacy_port = 0;
        config_.complete_delay_ms = complete_delay_ms;
        // These tests are of the uploads themselves: a board takes the next request at once,
        // without the silence of a restart.
        config_.reboot_ms = 0;
    }

    sim::FaultConfig& faults(int board) {
        return boards_.at(static_cast<std::size_t>(board)).faults;
    }
    const BoardRow& row(int board) const { return boards_.at(static_cast<std::size_t>(board)).row; }

    // Binds the simulator; false when a port was taken meanwhile.
    bool start() {
        config_.upload_port = free_tcp_port();
        config_.stream_port = free_tcp_port();
        sim_ = std::make_unique<sim::BoardSimulator>(boards_);
        QObject::connect(sim_.get(), &sim::BoardSimulator::event,
                         [this](const QJsonObject& e) { events_.push_back(e); });
        QString error;
        const bool ok =
            config_.upload_port != 0 && config_.stream_port != 0 && sim_->start(config_, &error);
        if (!ok) ADD_FAILURE() << error.toStdString();
        return ok;
    }

    quint16 mainPort() const { return sim_->mainPort(); }
    quint16 legacyPort() const { return sim_->legacyPort(); }
    quint16 uploadPort() const { return config_.upload_port; }
    quint16 streamPort() const { return config_.stream_port; }
    sim::BoardSimulator& simulator() { return *sim_; }

    std::vector<QJsonObject> named(const char* name, int board = -1) const {
        std::vector<QJsonObject> found;
        for (const QJsonObject& e : events_) {
            if (e.value("event").toString() != QLatin1String(name)) continue;
            if (board >= 0 && e.value("board").toInt(-1) != board) continue;
            found.push_back(e);
        }
        return found;
    }
    std::size_t count(const char* name, int board = -1) const { return named(name, board).size(); }

    // Sends board `board` the upload request of its protocol, as the tool would, and waits until
    // it listens for the firmware connection.
    bool requestUpload(int board) {
        ConfigCore core;
        core.working = row(board);
        const std::size_t before = count("upload_listening", board);
        QUdpSocket socket;
        socket.setProxy(QNetworkProxy::NoProxy);
        for (const OutgoingDatagram& d : core.send_data(OPCODE_UPLOAD_REQUEST)) {
            const QByteArray bytes(reinterpret_cast<const char*>(d.bytes.data()),
                                   static_cast<qsizetype>(d.bytes.size()));
            socket.writeDatagram(bytes, QHostAddress::LocalHost,
                                 d.tag == kSearchSocketTag ? mainPort() : legacyPort());
        }
        return waitFor([&] { return count("upload_listening", board) > before; });
    }

  private:
    std::vector<sim::SimBoard> boards_;
    sim::SimConfig config_;
    std::unique_ptr<sim::BoardSimulator> sim_;
    std::vector<QJsonObject> events_;
};

// Image files in a temporary folder that lives as long as this object.
class ImageFiles {
  public:
    QString write(const QString& name, const QByteArray& bytes) {
        const QString path = dir_.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
            ADD_FAILURE() << "cannot write " << path.toStdString();
        }
        return path;
    }
    QString path(const QString& name) const { return dir_.filePath(name); }

  private:
    QTemporaryDir dir_;
};

}  // namespace quorin::testing
