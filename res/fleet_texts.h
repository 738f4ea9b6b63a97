// Texts of the site, plan and journal files: what a refusal says after its "WHERE: ". %1, %2, ...
// are filled in by settings::fill; values and names arrive already quoted (settings::quoted_value).
// UTF-8.
#pragma once

#include <string_view>

namespace quorin::text::fleet {

inline constexpr std::string_view kTopLevel = "top level";
inline constexpr std::string_view kLine = "line %1";

inline constexpr std::string_view kTextTooLong = "the text is longer than %1 bytes";
inline constexpr std::string_view kTextEmpty = "the text holds nothing";
inline constexpr std::string_view kSeveralDocuments = "the text holds more than one document";
inline constexpr std::string_view kNotJson = "not a JSON object";
inline constexpr std::string_view kNotMapping = "expected members (name: value)";
inline constexpr std::string_view kNotList = "expected a list";
inline constexpr std::string_view kNotValue = "expected a single value, not a list or members";
inline constexpr std::string_view kValueMissing = "the value is missing (write \"\" for none)";
inline constexpr std::string_view kBadMemberName = "a member's name must be a single value";
inline constexpr std::string_view kUnknownMember = "unknown member %1 (members here: %2)";
inline constexpr std::string_view kMemberTwice = "member %1 is given twice";
inline constexpr std::string_view kMemberMissing = "member %1 is missing";
inline constexpr std::string_view kBadFormatVersion =
    "format_version %1 is not one this tool reads (it reads 1)";
inline constexpr std::string_view kBadKind = "kind %1 is not %2";
inline constexpr std::string_view kBadCommand = "command %1 is neither \"apply\" nor \"rollback\"";
inline constexpr std::string_view kBadMac = "%1 is not a MAC address (0A:1B:2C:3D:4E:5F)";
inline constexpr std::string_view kMacTwice = "board %1 is listed twice";
inline constexpr std::string_view kUnknownModel = "unknown model %1 (models: %2)";
inline constexpr std::string_view kBadVersion =
    "%1 is not a firmware version (numbers separated by dots, as 1.5.3)";
inline constexpr std::string_view kAddressTwice = "local_ip %1 is wanted for both %2 and %3";

}  // namespace quorin::text::fleet
