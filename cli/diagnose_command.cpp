// quorinctl diagnose: why boards may not be found. The interfaces, the route a limited broadcast
// takes (asked of the routing table; nothing is sent for it), whether the legacy port is free,
// the replies of a search on each interface, boards outside every subnet and boards sharing an
// address.
#include <QHostAddress>
#include <algorithm>
#include <map>
#include <set>

#include "cli/board_engine.h"
#include "cli/board_link.h"
#include "cli/command_support.h"
#include "cli/commands.h"
#include "res/cli_texts.h"

namespace quorin::cli {

namespace T = text::cli;

int diagnose_command(const CommonOptions& o, Output io) {
    int findings = 0;
    const auto finding = [&](const QString& text) {
        ++findings;
        io.out << "  ! " << text << '\n';
    };
    const std::vector<Interface> interfaces = host_interfaces();

    io.out << qs(T::kDiagInterfaces) << '\n';
    std::set<QString> searchable;
    for (const Interface& i : interfaces) {
        QString state = !i.up                  ? qs(T::kDiagDown)
                        : i.loopback           ? qs(T::kDiagLoopback)
                        : i.broadcast.isNull() ? qs(T::kDiagNoBroadcast)
                                               : qs(T::kDiagBroadcast).arg(i.broadcast.toString());
        if (i.searchable()) searchable.insert(i.name);
        io.out << "  " << i.name << "  " << i.address.toString() << '/' << i.prefix_length << "  "
               << state << '\n';
    }

    QString route_error;
    const auto route = limited_broadcast_route(&route_error);
    if (!route) {
        io.out << qs(T::kDiagNoRoute).arg(route_error) << '\n';
        finding(qs(T::kFindNoRoute));
    } else {
        const QString via =
            route->interface_name.isEmpty() ? QStringLiteral("?") : route->interface_name;
        io.out << qs(T::kDiagRoute).arg(via, route->source.toString()) << '\n';
        if (searchable.size() > 1) {
            QStringList others;
            for (const QString& name : searchable) {
                if (name != via) others << name;
            }
            finding(qs(T::kFindOneInterface).arg(via, others.join(QStringLiteral(", "))));
        }
    }

    const quint16 legacy = o.link.legacy_local_port;
    if (legacy != 0) {
        if (udp_port_free(legacy)) {
            io.out << qs(T::kDiagPortFree).arg(legacy) << '\n';
        } else {
            io.out << qs(T::kDiagPortHeld).arg(legacy) << '\n';
            finding(qs(T::kFindPortHeld).arg(legacy));
        }
    }

    auto engine = open_engine(o, io);
    if (!engine) return kExitFailure;
    const SearchResult r = engine->search(o.wait_ms);
    print_notes(r, io);
    io.out << qs(T::kDiagSearch).arg(o.wait_ms) << '\n';
    for (const Destination& d : engine->destinations()) {
        const int replies = r.replies.count(d.label) ? r.replies.at(d.label) : 0;
        io.out << "  " << d.label << ": " << qs(T::kDiagReplies).arg(replies) << '\n';
        if (replies == 0) finding(qs(T::kFindNoReplies).arg(d.label));
    }
    for (const auto& reply : r.replies) {
        const QString& label = reply.first;
        const bool listed =
            std::any_of(engine->destinations().begin(), engine->destinations().end(),
                        [&](const Destination& d) { return d.label == label; });
        if (!listed)
            io.out << "  " << label << ": " << qs(T::kDiagReplies).arg(reply.second) << '\n';
    }
    io.out << qs(T::kDiagBoards).arg(r.boards.size()) << '\n';

    std::map<QString, QStringList> by_address;
    for (const FoundBoard& b : r.boards) {
        const QHostAddress ip = address_of(b.row.local_ip);
        by_address[ip.toString()] << mac_of(b.row);
        const bool inside = std::any_of(interfaces.begin(), interfaces.end(),
                                        [&](const Interface& i) { return i.contains(ip); });
        if (!inside)
            finding(qs(T::kFindOutsideSubnet).arg(mac_of(b.row), ip.toString(), b.interface));
    }
    for (const auto& [ip, macs] : by_address) {
        if (macs.size() > 1)
            finding(qs(T::kFindSharedAddress).arg(macs.join(QStringLiteral(", ")), ip));
    }
    io.out << (findings == 0 ? qs(T::kDiagNoProblem) : qs(T::kDiagProblems).arg(findings)) << '\n';
    return findings == 0 ? kExitOk : kExitFailure;
}

}  // namespace quorin::cli
