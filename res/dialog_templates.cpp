// The three dialog templates of the tool. Rectangles are in dialog units; the platform layer maps
// them to pixels with the dialog font. Control order is creation order, which is also the order
// in which the keyboard focus moves with Tab.
#include "res/dialog_template.h"
#include "res/resource_ids.h"
#include "res/texts.h"

namespace quorin::res {
namespace {

namespace lbl = text::label;
using K = ControlKind;

constexpr std::uint32_t kTab = kTabStop;
constexpr std::uint32_t kFirstOfGroup = kGroup | kTabStop;

ControlTemplate ctl(int id, ControlKind kind, std::string_view text, int x, int y, int w, int h,
                    std::uint32_t style = kNone, int page = 0) {
    return ControlTemplate{id, kind, text, x, y, w, h, style, page};
}

ControlTemplate label(std::string_view text, int x, int y, int w, int h = 8) {
    return ctl(kNoId, K::Static, text, x, y, w, h);
}

ControlTemplate group_box(std::string_view text, int x, int y, int w, int h) {
    return ctl(kNoId, K::GroupBox, text, x, y, w, h);
}

// The labels and group boxes of the channel area. They carry no identifier and belong to no
// page; every page gets its own copy at the same position, so they show whichever page is up.
void add_channel_labels(std::vector<ControlTemplate>& c) {
    c.push_back(group_box(lbl::kOperationModeGroup, 98, 184, 80, 23));
    c.push_back(label(lbl::kStatus, 229, 191, 24));
    c.push_back(group_box(lbl::kDataModeGroup, 357, 184, 108, 25));
    c.push_back(group_box(lbl::kDnsModeGroup, 95, 211, 120, 58));
    c.push_back(label(lbl::kServerDomainName, 101, 237, 100));
    c.push_back(group_box(lbl::kRemoteConnectionGroup, 219, 211, 246, 56));
    c.push_back(label(lbl::kLocalPort, 225, 226, 40));
    c.push_back(label(lbl::kRemotePort, 322, 226, 44));
    c.push_back(label(lbl::kRemoteIp, 225, 248, 66));
    c.push_back(group_box(lbl::kSerialGroup, 96, 271, 369, 29));
    c.push_back(label(lbl::kBaudRate, 99, 284, 35));
    c.push_back(label(lbl::kDataBit, 185, 284, 27));
    c.push_back(label(lbl::kParity, 241, 284, 19));
    c.push_back(label(lbl::kStopBit, 302, 284, 27));
    c.push_back(label(lbl::kFlowControl, 365, 284, 44));
    c.push_back(group_box(lbl::kDataPackingGroup, 96, 304, 226, 29));
    c.push_back(label(lbl::kCharacter, 101, 318, 37));
    c.push_back(label(lbl::kSize, 167, 318, 19));
    c.push_back(label(lbl::kTime, 236, 318, 21));
    c.push_back(group_box(lbl::kDisconnectGroup, 330, 303, 134, 30));
    c.push_back(label(lbl::kInactivityTime, 336, 318, 57));
}

// The 20 controls of channel page `page` (1 to 4), all pages at the same positions. Server and
// Client form one choice, Raw mode and Telnet mode another; the control after each choice starts
// a new group so that the choice ends there.
void add_channel_page(std::vector<ControlTemplate>& c, int page) {
    const ChannelIds& ids = kChannels[static_cast<std::size_t>(page - 1)];
    auto add = [&](int id, ControlKind kind, std::string_view text, int x, int y, int w, int h,
                   std::uint32_t style) {
        c.push_back(ctl(id, kind, text, x, y, w, h, style, page));
    };
    add(ids.server, K::RadioButton, lbl::kServer, 102, 194, 34, 10, kFirstOfGroup);
    add(ids.client, K::RadioButton, lbl::kClient, 139, 194, 34, 10, kTab);
    // Wide enough for "Not Connected" in the fallback font as well.
    add(ids.status, K::SunkenStatic, "", 255, 190, 54, 10, kGroup);
    add(ids.udp, K::CheckBox, lbl::kUdp, 314, 189, 32, 10, kFirstOfGroup);
    add(ids.raw_mode, K::RadioButton, lbl::kRawMode, 360, 195, 48, 10, kFirstOfGroup);
    add(ids.telnet_mode, K::RadioButton, lbl::kTelnetMode, 409, 195, 54, 10, kTab);
    add(ids.use_dns, K::CheckBox, lbl::kUseDns, 101, 223, 60, 10, kFirstOfGroup);
    add(ids.domain_name, K::Edit, "", 101, 248, 108, 14, kFirstOfGroup);
    add(ids.local_port, K::Edit, "", 266, 223, 46, 14, kFirstOfGroup);
    add(ids.remote_port, K::Edit, "", 368, 223, 46, 14, kFirstOfGroup);
    add(ids.remote_ip, K::IpAddress, "", 292, 245, 100, 15, kFirstOfGroup);
    add(ids.baud_rate, K::ComboBox, "", 135, 282, 47, 13, kFirstOfGroup | kVScroll);
    add(ids.data_bits, K::ComboBox, "", 213, 282, 25, 13, kFirstOfGroup | kVScroll);
    add(ids.parity, K::ComboBox, "", 261, 282, 38, 13, kFirstOfGroup | kVScroll);
    add(ids.stop_bits, K::ComboBox, "", 330, 282, 32, 13, kFirstOfGroup | kVScroll);
    add(ids.flow_control, K::ComboBox, "", 410, 282, 52, 13, kFirstOfGroup | kVScroll);
    add(ids.packing_char, K::Edit, "", 139, 316, 20, 13, kFirstOfGroup);
    add(ids.packing_size, K::Edit, "", 187, 316, 40, 13, kFirstOfGroup);
    add(ids.packing_time, K::Edit, "", 258, 316, 40, 13, kFirstOfGroup);
    add(ids.inactivity_time, K::Edit, "", 394, 316, 45, 13, kFirstOfGroup);
}

DialogTemplate make_about() {
    DialogTemplate t;
    t.id = IDD_ABOUTBOX;
    t.caption = text::kAboutCaption;
    t.font_family = "굴림";
    t.font_points = 9;
    t.width = 235;
    t.height = 55;
    t.system_menu = true;
    t.controls = {
        ctl(kNoId, K::Icon, "", 11, 17, 20, 20),
        label(lbl::kAboutVersion, 40, 10, 130),
        label(lbl::kAboutDetail, 40, 25, 130),
        ctl(IDOK, K::DefPushButton, lbl::kOk, 178, 7, 50, 16, kFirstOfGroup),
    };
    return t;
}

DialogTemplate make_main() {
    DialogTemplate t;
    t.id = IDD_QUORINCONFIGTOOL_DIALOG;
    t.caption = text::kMainCaption;
    t.font_family = "굴림";
    t.font_points = 8;
    t.width = 487;
    t.height = 408;
    t.system_menu = true;
    t.minimize_box = true;

    auto& c = t.controls;
    // Board list.
    c.push_back(label(lbl::kBoardList, 13, 11, 60));
    c.push_back(ctl(IDC_BOARD_LIST, K::ListBox, "", 7, 21, 80, 313, kTab | kVScroll | kNotify));

    // General settings.
    c.push_back(group_box(lbl::kGeneralGroup, 91, 17, 377, 144));
    c.push_back(label(lbl::kProductCode, 97, 38, 48));
    c.push_back(ctl(IDC_PRODUCT_CODE, K::Edit, "", 146, 35, 61, 14, kTab | kDisabled));
    c.push_back(label(lbl::kFirmwareVersion, 211, 37, 62));
    c.push_back(ctl(IDC_FIRMWARE_VERSION, K::Edit, "", 274, 34, 40, 14, kTab | kDisabled));
    c.push_back(ctl(IDC_DEBUG_MODE, K::CheckBox, text::kDebugModeCaption, 322, 35, 62, 12, kTab));

    c.push_back(group_box(lbl::kIpModeGroup, 94, 53, 138, 25));
    c.push_back(ctl(IDC_STATIC_IP, K::RadioButton, lbl::kStaticIp, 100, 64, 38, 10, kFirstOfGroup));
    c.push_back(ctl(IDC_DHCP, K::RadioButton, lbl::kDhcp, 142, 64, 38, 10, kTab));
    c.push_back(ctl(IDC_PPPOE, K::RadioButton, lbl::kPppoe, 184, 64, 42, 10, kTab));

    c.push_back(group_box(lbl::kPppoeGroup, 243, 51, 174, 28));
    c.push_back(label(lbl::kPppoeId, 249, 64, 10));
    c.push_back(ctl(IDC_PPPOE_ID, K::Edit, "", 261, 62, 68, 13, kFirstOfGroup));
    c.push_back(label(lbl::kPppoePw, 335, 64, 13));
    c.push_back(ctl(IDC_PPPOE_PW, K::Edit, "", 349, 62, 62, 13, kFirstOfGroup));

    c.push_back(group_box(lbl::kLocalNetworkGroup, 94, 81, 174, 76));
    c.push_back(label(lbl::kLocalIp, 100, 98, 62));
    c.push_back(ctl(IDC_LOCAL_IP, K::IpAddress, "", 164, 95, 100, 15, kFirstOfGroup));
    c.push_back(label(lbl::kSubnetMask, 100, 117, 62));
    c.push_back(ctl(IDC_SUBNET_MASK, K::IpAddress, "", 164, 114, 100, 15, kFirstOfGroup));
    c.push_back(label(lbl::kGateway, 100, 136, 62));
    c.push_back(ctl(IDC_GATEWAY, K::IpAddress, "", 164, 133, 100, 15, kFirstOfGroup));
    c.push_back(label(lbl::kDnsServerIp, 279, 88, 100));
    c.push_back(ctl(IDC_DNS_SERVER_IP, K::IpAddress, "", 279, 98, 100, 15, kFirstOfGroup));

    c.push_back(group_box(lbl::kSerialCommandGroup, 279, 121, 97, 32));
    c.push_back(ctl(IDC_SERIAL_DISABLE, K::RadioButton, lbl::kSerialDisable, 283, 136, 37, 10,
                    kFirstOfGroup));
    c.push_back(ctl(IDC_SERIAL_HW, K::RadioButton, lbl::kSerialHw, 322, 136, 25, 10, kTab));
    c.push_back(ctl(IDC_SERIAL_SW, K::RadioButton, lbl::kSerialSw, 349, 136, 24, 10, kTab));
    c.push_back(label(lbl::kTriggerCharacter, 383, 121, 80));
    c.push_back(ctl(IDC_TRIGGER1, K::Edit, "", 383, 132, 16, 14, kFirstOfGroup));
    c.push_back(ctl(IDC_TRIGGER2, K::Edit, "", 402, 132, 16, 14, kFirstOfGroup));
    c.push_back(ctl(IDC_TRIGGER3, K::Edit, "", 420, 132, 16, 14, kFirstOfGroup));
    c.push_back(label(lbl::kHex, 439, 135, 24));

    // Channel area: the tab control, then for each page its copy of the shared labels and its
    // own controls.
    c.push_back(ctl(IDC_CHANNEL_TAB, K::Tab, "", 91, 166, 377, 176, kFirstOfGroup));
    for (int page = 1; page <= 4; ++page) {
        add_channel_labels(c);
        add_channel_page(c, page);
    }

    // Firmware upload.
    c.push_back(group_box(lbl::kFirmwareUploadGroup, 14, 344, 251, 55));
    c.push_back(label(lbl::kFilenameToUpload, 20, 354, 40, 17));
    c.push_back(ctl(IDC_FILENAME, K::Edit, "", 61, 355, 183, 14, kFirstOfGroup));
    c.push_back(ctl(IDC_BROWSE, K::PushButton, lbl::kBrowse, 246, 352, 16, 14, kFirstOfGroup));
    c.push_back(ctl(IDC_PROGRESS, K::Progress, "", 20, 380, 184, 14));
    c.push_back(ctl(IDC_UPLOAD, K::PushButton, lbl::kUpload, 206, 374, 42, 24, kFirstOfGroup));
    c.push_back(ctl(IDC_UPLOAD_AGING, K::PushButton, lbl::kUploadAging, 458, 342, 8, 6,
                    kTab | kHidden | kDisabled));

    // Commands.
    c.push_back(ctl(IDC_SEARCH, K::PushButton, lbl::kSearch, 286, 361, 40, 24, kFirstOfGroup));
    c.push_back(ctl(IDC_SETTING, K::PushButton, lbl::kSetting, 333, 361, 40, 24, kTab));
    c.push_back(ctl(IDC_VIEW_LOG, K::PushButton, lbl::kViewLog, 380, 362, 40, 24, kTab));
    c.push_back(ctl(IDCANCEL, K::PushButton, lbl::kExit, 426, 362, 40, 24, kTab));
    return t;
}

DialogTemplate make_log() {
    DialogTemplate t;
    t.id = IDD_LOG_DIALOG;
    t.caption = text::kLogCaption;
    t.font_family = "Courier New";
    t.font_points = 10;
    t.width = 284;
    t.height = 148;
    t.system_menu = true;
    t.controls = {
        ctl(IDOK, K::DefPushButton, lbl::kSaveAndExit, 164, 127, 55, 14, kTab),
        ctl(IDCANCEL, K::PushButton, lbl::kExit, 222, 127, 55, 14, kTab),
        // Sorted style as in the template; lines are still inserted at the end, never sorted.
        ctl(IDC_LOG_LIST, K::ListBox, "", 7, 7, 270, 114, kTab | kVScroll | kNotify | kSorted),
    };
    return t;
}

}  // namespace

const DialogTemplate& about_template() {
    static const DialogTemplate t = make_about();
    return t;
}

const DialogTemplate& main_template() {
    static const DialogTemplate t = make_main();
    return t;
}

const DialogTemplate& log_template() {
    static const DialogTemplate t = make_log();
    return t;
}

}  // namespace quorin::res
