// A configuration socket: a UDP socket with the broadcast option on and no proxy, tagged 1
// (search socket) or 2 (legacy socket). It forwards each readable datagram to the application
// object, which queues the tag and dispatches; a burst is read in short turns from the event
// loop, so that the window stays responsive whatever the LAN sends.
#pragma once

#include <QHostAddress>
#include <QUdpSocket>
#include <cstdint>
#include <functional>
#include <vector>

namespace quorin {

class CConfigSock : public QUdpSocket {
    Q_OBJECT
  public:
    // One turn of reading ends after this many datagrams or this long, whichever comes first;
    // the next turn comes after the event loop has run once (input, paint, timers).
    static constexpr int kDatagramsPerTurn = 256;
    static constexpr int kTurnBudgetMs = 4;

    CConfigSock(std::uint8_t tag, std::function<void(std::uint8_t)> on_readable,
                QObject* parent = nullptr);

    std::uint8_t tag() const { return tag_; }

    // Binds to `address`:`port` (0 = any free port). `exclusive` refuses to share the port with
    // another program. Returns false when the bind fails; the socket can still send then.
    bool Create(const QHostAddress& address, quint16 port, bool exclusive);

    // Turns the broadcast option on.
    void EnableBroadcast();

    // Asks for a receive buffer of `bytes` and returns what the system granted (0 when unknown).
    // Uses the privileged request where allowed so that the system maximum does not cap it.
    int SetReceiveBuffer(int bytes);

    // Reads one waiting datagram, at most `max_bytes` of it (the rest is discarded). Returns false
    // when nothing could be read (also when nothing was waiting).
    bool ReceiveDatagram(std::size_t max_bytes, std::vector<std::uint8_t>& out);

    // Sends to `address`:`port`; returns the count the system reports (-1 on an error).
    qint64 SendTo(const std::vector<std::uint8_t>& bytes, const QHostAddress& address,
                  quint16 port);

    // Datagrams read from this socket so far.
    std::uint64_t datagramsRead() const { return datagrams_read_; }

  private:
    void OnReceive();
    void ScheduleTurn();
    void ReadTurn();

    std::uint8_t tag_;
    std::function<void(std::uint8_t)> on_readable_;
    bool turn_scheduled_ = false;
    std::uint64_t datagrams_read_ = 0;
};

}  // namespace quorin
