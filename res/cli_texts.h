// Texts of the named-field catalogue and of the command line (quorinctl): messages, labels and
// the values that stand for check boxes. %1, %2, ... are filled in by settings::fill. UTF-8.
#pragma once

#include <string_view>

namespace quorin::text::cli {

// Values of fields that the window shows as check boxes or radio pairs.
inline constexpr std::string_view kOn = "on";
inline constexpr std::string_view kOff = "off";
inline constexpr std::string_view kIpModeStatic = "Static";
inline constexpr std::string_view kIpModeDhcp = "DHCP";
inline constexpr std::string_view kIpModePppoe = "PPPoE";
inline constexpr std::string_view kMethodDisable = "Disable";
inline constexpr std::string_view kMethodHw = "HW";
inline constexpr std::string_view kMethodSw = "SW";
inline constexpr std::string_view kServer = "Server";
inline constexpr std::string_view kClient = "Client";
inline constexpr std::string_view kRawMode = "Raw mode";
inline constexpr std::string_view kTelnetMode = "Telnet mode";

// Checks of a FIELD=VALUE edit.
inline constexpr std::string_view kUnknownField =
    "unknown field '%1' (quorinctl show BOARD lists the fields)";
inline constexpr std::string_view kFieldNotOnModel = "model %1 has no field '%2'";
inline constexpr std::string_view kFieldNotEditable = "field '%1' cannot be set";
inline constexpr std::string_view kFieldTwice = "field '%1' is named twice";
inline constexpr std::string_view kFieldDisabled =
    "field '%1' cannot be changed on this board: the window disables it for model %2 with these "
    "settings";
inline constexpr std::string_view kBadAddress = "%1: '%2' is not an IPv4 address (a.b.c.d)";
inline constexpr std::string_view kBadChoice = "%1: '%2' is not in the list of this board: %3";
inline constexpr std::string_view kBadFlag = "%1: '%2' must be on or off";
inline constexpr std::string_view kBadNumber = "%1: '%2' is not a whole number from 0 to %3";
inline constexpr std::string_view kTextTooLong = "%1: '%2' is longer than %3 characters";
inline constexpr std::string_view kTextNotLatin1 =
    "%1: '%2' holds a character that the board cannot store (one byte per character)";

}  // namespace quorin::text::cli
