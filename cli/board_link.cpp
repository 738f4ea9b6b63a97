#include "cli/board_link.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QNetworkProxy>
#include <cerrno>
#include <cstring>

#include "platform/socket_buffer.h"
#include "protocol/config_core.h"
#include "res/cli_texts.h"
#include "res/texts.h"
#include "settings/field_catalogue.h"

namespace quorin::cli {
namespace {

QString qs(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// Receive buffer each socket asks for, so that a burst of 200 replies is not dropped.
constexpr int kReceiveBufferBytes = 4 * 1024 * 1024;

void enlarge_receive_buffer(QUdpSocket& socket) {
    platform::request_receive_buffer(static_cast<int>(socket.socketDescriptor()),
                                     kReceiveBufferBytes);
}

std::unique_ptr<QUdpSocket> make_socket() {
    auto socket = std::make_unique<QUdpSocket>();
    socket->setProxy(QNetworkProxy::NoProxy);
    return socket;
}

}  // namespace

bool Interface::contains(const QHostAddress& ip) const {
    return ip.protocol() == QAbstractSocket::IPv4Protocol && ip.isInSubnet(address, prefix_length);
}

std::vector<Interface> host_interfaces() {
    std::vector<Interface> out;
    for (const QNetworkInterface& iface : QNetworkInterface::allInterfaces()) {
        for (const QNetworkAddressEntry& entry : iface.addressEntries()) {
            if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol) continue;
            Interface i;
            i.name = iface.name();
            i.index = iface.index();
            i.address = entry.ip();
            i.prefix_length = entry.prefixLength();
            if (iface.flags().testFlag(QNetworkInterface::CanBroadcast)) {
                i.broadcast = entry.broadcast();
            }
            i.up = iface.flags().testFlag(QNetworkInterface::IsUp);
            i.loopback = iface.flags().testFlag(QNetworkInterface::IsLoopBack);
            out.push_back(i);
        }
    }
    return out;
}

std::optional<Route> limited_broadcast_route(QString* error) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return std::nullopt;
    }
    int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(kMainPort);
    to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    // Connecting a datagram socket only chooses the route and the source address.
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        ::close(fd);
        return std::nullopt;
    }
    sockaddr_in local{};
    socklen_t length = sizeof local;
    const int got = ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length);
    ::close(fd);
    if (got != 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return std::nullopt;
    }
    Route route;
    route.source = QHostAddress(ntohl(local.sin_addr.s_addr));
    for (const Interface& i : host_interfaces()) {
        if (i.address == route.source) {
            route.interface_name = i.name;
            break;
        }
    }
    return route;
}

bool udp_port_free(quint16 port) {
    QUdpSocket probe;
    probe.setProxy(QNetworkProxy::NoProxy);
    return probe.bind(QHostAddress::AnyIPv4, port, QUdpSocket::DontShareAddress);
}

BoardLink::BoardLink(LinkOptions options, QObject* parent)
    : QObject(parent), options_(std::move(options)) {}

BoardLink::~BoardLink() = default;

bool BoardLink::open(QString* error, QString* warning) {
    // Asked of the system only when an interface is named or each one gets its own datagram.
    const bool per_interface = options_.broadcast.isNull() || !options_.interface_name.isEmpty();
    const std::vector<Interface> interfaces =
        per_interface ? host_interfaces() : std::vector<Interface>{};
    const Interface* named = nullptr;
    if (!options_.interface_name.isEmpty()) {
        for (const Interface& i : interfaces) {
            if (i.name == options_.interface_name) {
                named = &i;
                break;
            }
        }
        if (named == nullptr || !named->up) {
            *error = qs(text::cli::kNoSuchInterface)
                         .arg(qs(settings::quoted_value(options_.interface_name.toStdString())));
            return false;
        }
        if (options_.broadcast.isNull() && named->broadcast.isNull()) {
            *error = qs(text::cli::kNoBroadcastAddress)
                         .arg(qs(settings::quoted_value(options_.interface_name.toStdString())));
            return false;
        }
    }

    destinations_.clear();
    if (!options_.broadcast.isNull()) {
        destinations_.push_back({options_.broadcast, named ? named->index : 0,
                                 named ? named->name : options_.broadcast.toString()});
    } else {
        for (const Interface& i : interfaces) {
            if (named ? i.name != named->name : !i.searchable()) continue;
            bool listed = false;
            for (const Destination& d : destinations_) listed = listed || d.label == i.name;
            if (!listed) {
                destinations_.push_back({QHostAddress(QHostAddress::Broadcast), i.index, i.name});
            }
        }
    }

    main_ = make_socket();
    if (!main_->bind(QHostAddress::AnyIPv4, 0)) {
        *error = qs(text::cli::kCannotOpenSocket).arg(main_->errorString());
        return false;
    }
    enlarge_receive_buffer(*main_);
    connect(main_.get(), &QUdpSocket::readyRead, this,
            [this] { drain(main_.get(), kSearchSocketTag); });

    legacy_ = make_socket();
    if (!legacy_->bind(QHostAddress::AnyIPv4, options_.legacy_local_port,
                       QUdpSocket::DontShareAddress)) {
        *warning = qs(text::kLegacyPortBusy).arg(options_.legacy_local_port);
    } else {
        enlarge_receive_buffer(*legacy_);
    }
    connect(legacy_.get(), &QUdpSocket::readyRead, this,
            [this] { drain(legacy_.get(), kLegacySocketTag); });
    return true;
}

bool BoardLink::send(std::uint8_t tag, std::span<const std::uint8_t> bytes, const Destination& to) {
    QUdpSocket* socket = tag == kSearchSocketTag ? main_.get() : legacy_.get();
    if (socket == nullptr) return false;
    QNetworkDatagram datagram(
        QByteArray(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<qsizetype>(bytes.size())),
        to.address, tag == kSearchSocketTag ? options_.main_port : options_.legacy_board_port);
    if (to.interface_index != 0) datagram.setInterfaceIndex(static_cast<uint>(to.interface_index));
    return socket->writeDatagram(datagram) == static_cast<qint64>(bytes.size());
}

void BoardLink::drain(QUdpSocket* socket, std::uint8_t tag) {
    const qint64 limit = tag == kSearchSocketTag ? kMainPacketSize : kLegacyPacketSize;
    while (socket->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = socket->receiveDatagram(limit);
        if (!datagram.isValid()) break;
        Received r;
        r.tag = tag;
        const QByteArray data = datagram.data();
        r.bytes.assign(data.begin(), data.end());
        r.interface_index = static_cast<int>(datagram.interfaceIndex());
        r.sender = datagram.senderAddress();
        if (receiver_) receiver_(r);
    }
}

}  // namespace quorin::cli
