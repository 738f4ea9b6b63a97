// CUploadSock: the acknowledged firmware transfer on the thread that creates it. It owns one TCP
// socket per connection attempt and carries out what the AckTransfer machine decides; socket
// notifications (connected, readable, closed) and the expiries of window timers 1 and 2 go into
// the machine. Progress, messages, log lines and the end of the transfer go to a TransferHost.
//
// Several instances may run at once (one per board); each needs its own timers, or at least
// timer identifiers 1 and 2 of its own.
#pragma once

#include <QAbstractSocket>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QString>

#include "platform/window_timers.h"
#include "protocol/upload_transfer.h"
#include "upload/transfer_host.h"

class QTcpSocket;

namespace quorin {

class CUploadSock : public QObject {
    Q_OBJECT
  public:
    CUploadSock(TransferHost& host, platform::WindowTimers& timers, QObject* parent = nullptr);
    ~CUploadSock() override;

    // Starts a transfer of the image at `image_path` to `board`:`port`; a transfer still running
    // is dropped without a word. The image is read when the connection has been made.
    void start(const QHostAddress& board, quint16 port, const QString& image_path);
    // The same with an image already read (and checked) once for several transfers.
    void start(const QHostAddress& board, quint16 port, ImageBytes image);

    // Forwards the expiry of window timer `id`; true when it was one of the transfer's (1, 2).
    bool OnTimer(int id);

    // Stops the transfer without messages: closes the connection, stops timers 1 and 2 and
    // returns to idle. For a window that closes.
    void stop();

    AckState state() const { return machine_.state(); }
    // Whether a transfer is under way (connecting, sending or awaiting an acknowledgement).
    bool busy() const;

  private:
    void OnConnect();
    void OnReceive();
    void OnClose();
    void onError(QAbstractSocket::SocketError error);

    void carryOut(const TransferActions& actions);
    void openConnection();
    void closeConnection();

    TransferHost& host_;
    platform::WindowTimers& timers_;
    AckTransfer machine_;
    QHostAddress board_;
    quint16 port_ = 0;
    QString image_path_;
    ImageBytes image_;  // set: sent instead of reading image_path_
    QPointer<QTcpSocket> socket_;
    // Advanced by start() and stop(): actions of an earlier transfer still being carried out
    // (a message box runs a nested event loop) stop there.
    quint64 generation_ = 0;
};

}  // namespace quorin
