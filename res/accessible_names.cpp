#include "res/accessible_names.h"

#include <string>

#include "res/resource_ids.h"
#include "res/texts.h"

namespace quorin::res {
namespace {

namespace lbl = text::label;

std::string join(std::string_view first, std::string_view second) {
    std::string out(first);
    while (!out.empty() && out.back() == ' ') out.pop_back();  // "PPPoE " and the like
    out += ' ';
    out += second;
    return out;
}

// A label that reads over several lines, as one line: line breaks and the spaces around them
// become one space.
std::string one_line(std::string_view label) {
    std::string out;
    for (char c : label) {
        if (c == '\n' || c == '\r') c = ' ';
        if (c == ' ' && !out.empty() && out.back() == ' ') continue;
        out += c;
    }
    return out;
}

std::vector<AccessibleName> make_table() {
    std::vector<AccessibleName> t;
    auto main = [&t](int id, std::string name) {
        t.push_back({IDD_QUORINCONFIGTOOL_DIALOG, id, std::move(name)});
    };

    main(IDC_BOARD_LIST, std::string(lbl::kBoardList));
    main(IDC_PRODUCT_CODE, std::string(lbl::kProductCode));
    main(IDC_FIRMWARE_VERSION, std::string(lbl::kFirmwareVersion));
    main(IDC_PPPOE_ID, join(lbl::kPppoeGroup, lbl::kPppoeId));
    main(IDC_PPPOE_PW, join(lbl::kPppoeGroup, lbl::kPppoePw));
    main(IDC_LOCAL_IP, std::string(lbl::kLocalIp));
    main(IDC_SUBNET_MASK, std::string(lbl::kSubnetMask));
    main(IDC_GATEWAY, std::string(lbl::kGateway));
    main(IDC_DNS_SERVER_IP, std::string(lbl::kDnsServerIp));
    for (std::size_t i = 0; i < kTriggerIds.size(); ++i)
        main(kTriggerIds[i],
             join(lbl::kTriggerCharacter, std::to_string(i + 1) + " " + std::string(lbl::kHex)));

    for (std::size_t page = 0; page < kChannels.size(); ++page) {
        const ChannelIds& ids = kChannels[page];
        const std::string_view channel = text::kChannelTabs[page];
        auto add = [&](int id, std::string_view label) { main(id, join(channel, label)); };
        add(ids.server, lbl::kServer);
        add(ids.client, lbl::kClient);
        add(ids.udp, lbl::kUdp);
        add(ids.raw_mode, lbl::kRawMode);
        add(ids.telnet_mode, lbl::kTelnetMode);
        add(ids.use_dns, lbl::kUseDns);
        add(ids.domain_name, lbl::kServerDomainName);
        add(ids.local_port, lbl::kLocalPort);
        add(ids.remote_port, lbl::kRemotePort);
        add(ids.remote_ip, lbl::kRemoteIp);
        add(ids.baud_rate, lbl::kBaudRate);
        add(ids.data_bits, lbl::kDataBit);
        add(ids.parity, lbl::kParity);
        add(ids.stop_bits, lbl::kStopBit);
        add(ids.flow_control, lbl::kFlowControl);
        // "Character", "Size" and "Time" say little alone: their group's title goes with them.
        add(ids.packing_char, join(lbl::kDataPackingGroup, lbl::kCharacter));
        add(ids.packing_size, join(lbl::kDataPackingGroup, lbl::kSize));
        add(ids.packing_time, join(lbl::kDataPackingGroup, lbl::kTime));
        add(ids.inactivity_time, lbl::kInactivityTime);
    }

    main(IDC_FILENAME, one_line(lbl::kFilenameToUpload));

    // The log list has no label: the window's caption names it.
    t.push_back({IDD_LOG_DIALOG, IDC_LOG_LIST, std::string(text::kLogCaption)});
    return t;
}

}  // namespace

const std::vector<AccessibleName>& accessible_names() {
    static const std::vector<AccessibleName> table = make_table();
    return table;
}

std::string_view accessible_name(int dialog, int control) {
    for (const AccessibleName& entry : accessible_names())
        if (entry.dialog == dialog && entry.control == control) return entry.name;
    return {};
}

}  // namespace quorin::res
