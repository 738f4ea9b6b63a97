// The command line's transport: the host's IPv4 interfaces, and the two configuration sockets
// (main protocol on a port the system chooses, legacy protocol on its fixed local port) as a thin
// Qt adapter that only sends the protocol core's datagrams and hands back what arrives.
//
// One socket per protocol serves every interface: a limited-broadcast datagram is sent once per
// interface with the interface named in the datagram's packet information (IP_PKTINFO), so the
// kernel sends it out of exactly that interface. That reaches boards whatever their own address
// (a board outside the interface's subnet still takes a limited broadcast, while it would drop a
// directed one), needs no privilege (binding one socket to each device would), and keeps the
// legacy protocol's fixed local port, which only one socket can hold. Replies carry the index of
// the interface they arrived on.
#pragma once

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QUdpSocket>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "protocol/board_record.h"

namespace quorin::cli {

// One IPv4 interface of this host.
struct Interface {
    QString name;
    int index = 0;
    QHostAddress address;
    int prefix_length = 0;
    QHostAddress broadcast;  // null when the interface has none
    bool up = false;
    bool loopback = false;

    // An up interface with a broadcast address: searched by default.
    bool searchable() const { return up && !loopback && !broadcast.isNull(); }
    // True when `ip` lies in this interface's subnet.
    bool contains(const QHostAddress& ip) const;
};

// Every IPv4 address of every interface (an interface with two addresses appears twice).
std::vector<Interface> host_interfaces();

// The interface and source address by which a datagram to 255.255.255.255 would leave, found by
// connecting a UDP socket (which sends nothing) and reading its local address. nullopt with
// `error` when the system has no route for it.
struct Route {
    QString interface_name;
    QHostAddress source;
};
std::optional<Route> limited_broadcast_route(QString* error);

// True when UDP `port` can be bound on every address now (nothing else holds it).
bool udp_port_free(quint16 port);

// Where requests go. By default a limited broadcast on each searched interface; `broadcast` set
// sends to that address instead (tests aim it at 127.255.255.255), through `interface_name` when
// one is named.
struct LinkOptions {
    QHostAddress broadcast;  // null: 255.255.255.255 on each interface
    quint16 main_port = kMainPort;
    quint16 legacy_board_port = kLegacyBoardPort;
    quint16 legacy_local_port = kLegacyLocalPort;  // 0: any free port
    QString interface_name;                        // empty: every searchable interface
};

// A datagram that arrived on one of the two sockets.
struct Received {
    std::uint8_t tag = 0;  // kSearchSocketTag or kLegacySocketTag
    std::vector<std::uint8_t> bytes;
    int interface_index = 0;  // 0 when unknown
    QHostAddress sender;
};

// Where one copy of a request goes.
struct Destination {
    QHostAddress address;
    int interface_index = 0;  // 0: as the routing table decides
    QString label;            // for messages: the interface name, or the address
};

class BoardLink : public QObject {
    Q_OBJECT
  public:
    explicit BoardLink(LinkOptions options, QObject* parent = nullptr);
    ~BoardLink() override;

    // Opens both sockets. False with `error` when the main socket cannot be bound or a named
    // interface does not exist; a legacy port held by another program is only a `warning`
    // (legacy boards then cannot answer).
    bool open(QString* error, QString* warning);

    // The destinations of a search: one per searched interface, or the configured address.
    const std::vector<Destination>& destinations() const { return destinations_; }

    // Sends `bytes` on the socket of `tag` to `to`; false when the system refused it.
    bool send(std::uint8_t tag, std::span<const std::uint8_t> bytes, const Destination& to);

    // Called for every datagram read from either socket.
    void setReceiver(std::function<void(const Received&)> receiver) {
        receiver_ = std::move(receiver);
    }

    const LinkOptions& options() const { return options_; }

  private:
    void drain(QUdpSocket* socket, std::uint8_t tag);

    LinkOptions options_;
    std::unique_ptr<QUdpSocket> main_;
    std::unique_ptr<QUdpSocket> legacy_;
    std::vector<Destination> destinations_;
    std::function<void(const Received&)> receiver_;
};

}  // namespace quorin::cli
