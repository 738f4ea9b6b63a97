// Resource and control identifiers of the tool's dialogs. The numbers are the dialog templates'
// own; every part of the window refers to controls by them.
#pragma once

#include <array>

namespace quorin::res {

// Dialog templates, icon and strings.
inline constexpr int IDD_ABOUTBOX = 100;
inline constexpr int IDD_QUORINCONFIGTOOL_DIALOG = 102;
inline constexpr int IDD_LOG_DIALOG = 129;
inline constexpr int IDR_MAINFRAME = 128;  // the window icon
inline constexpr int IDS_ABOUTBOX = 101;
inline constexpr int IDP_SOCKETS_INIT_FAILED = 103;

// System command of the about item; a command whose value masked with 0xFFF0 equals this one
// opens the about box.
inline constexpr int IDM_ABOUTBOX = 0x0010;

// Standard dialog commands.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

// Main window: general controls.
inline constexpr int IDC_BOARD_LIST = 1000;
inline constexpr int IDC_SEARCH = 1002;
inline constexpr int IDC_SETTING = 1003;
inline constexpr int IDC_CHANNEL_TAB = 1004;
inline constexpr int IDC_PRODUCT_CODE = 1026;
inline constexpr int IDC_DEBUG_MODE = 1027;
inline constexpr int IDC_STATIC_IP = 1028;
inline constexpr int IDC_DHCP = 1029;
inline constexpr int IDC_FIRMWARE_VERSION = 1030;
inline constexpr int IDC_LOCAL_IP = 1031;
inline constexpr int IDC_SUBNET_MASK = 1032;
inline constexpr int IDC_GATEWAY = 1033;
inline constexpr int IDC_DNS_SERVER_IP = 1034;
inline constexpr int IDC_UPLOAD = 1035;
inline constexpr int IDC_VIEW_LOG = 1038;
inline constexpr int IDC_PROGRESS = 1039;
inline constexpr int IDC_FILENAME = 1041;
inline constexpr int IDC_BROWSE = 1042;
inline constexpr int IDC_PPPOE = 1043;
inline constexpr int IDC_SERIAL_HW = 1044;
inline constexpr int IDC_SERIAL_SW = 1045;
inline constexpr int IDC_TRIGGER1 = 1047;
inline constexpr int IDC_TRIGGER2 = 1048;
inline constexpr int IDC_TRIGGER3 = 1049;
inline constexpr int IDC_SERIAL_DISABLE = 1050;
inline constexpr int IDC_PPPOE_ID = 1052;
inline constexpr int IDC_PPPOE_PW = 1053;
inline constexpr int IDC_UPLOAD_AGING = 1054;
inline constexpr int IDC_AGING_COUNT = 1055;  // written by the aging test; not in the template

inline constexpr std::array<int, 3> kTriggerIds{IDC_TRIGGER1, IDC_TRIGGER2, IDC_TRIGGER3};

// The controls of one channel page. Page n (1 to 4) shows channel[n - 1].
struct ChannelIds {
    int server, client, raw_mode, telnet_mode, status, use_dns, udp, local_port, remote_ip,
        remote_port, domain_name, baud_rate, data_bits, parity, stop_bits, flow_control,
        packing_char, packing_size, packing_time, inactivity_time;

    // The 20 controls of the page, in the order the page visibility operation walks them.
    std::array<int, 20> all() const {
        return {server,       client,       raw_mode,     telnet_mode,  use_dns,
                udp,          status,       local_port,   remote_ip,    remote_port,
                domain_name,  baud_rate,    data_bits,    parity,       stop_bits,
                flow_control, packing_char, packing_size, packing_time, inactivity_time};
    }
};

inline constexpr std::array<ChannelIds, 4> kChannels{{
    {1007, 1008, 1009, 1109, 1010, 1011, 1012, 1013, 1014, 1015,
     1016, 1017, 1018, 1019, 1325, 1020, 1021, 1022, 1023, 1024},
    {1107, 1108, 1025, 1125, 1110, 1111, 1112, 1113, 1114, 1115,
     1116, 1117, 1118, 1119, 1326, 1120, 1121, 1122, 1123, 1124},
    {1207, 1208, 1036, 1126, 1210, 1211, 1212, 1213, 1214, 1215,
     1216, 1217, 1218, 1219, 1327, 1220, 1221, 1222, 1223, 1224},
    {1307, 1308, 1037, 1127, 1310, 1311, 1312, 1313, 1314, 1315,
     1316, 1317, 1318, 1319, 1328, 1320, 1321, 1322, 1323, 1324},
}};

// Log window.
inline constexpr int IDC_LOG_LIST = 1000;

}  // namespace quorin::res
