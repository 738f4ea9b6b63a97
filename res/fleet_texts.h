// Texts of the site, plan, journal and firmware manifest files: what a refusal says after its
// "WHERE: ", and the manifest's verdicts on boards. %1, %2, ... are filled in by settings::fill;
// values and names arrive already quoted (settings::quoted_value). UTF-8.
#pragma once

#include <string_view>

namespace quorin::text::fleet {

inline constexpr std::string_view kTopLevel = "top level";
// The Boards window's status column.
inline constexpr std::string_view kStatusFound = "found";
inline constexpr std::string_view kStatusChanged = "changed";
inline constexpr std::string_view kStatusUpgrading = "upgrading %1 %";
inline constexpr std::string_view kStatusVerified = "verified";
inline constexpr std::string_view kStatusFailed = "failed: %1";
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
inline constexpr std::string_view kBadSiteName =
    "%1 is not a name: one line of printable text, 1 to 255 bytes";
inline constexpr std::string_view kMacTwice = "board %1 is listed twice";
inline constexpr std::string_view kUnknownModel = "unknown model %1 (models: %2)";
inline constexpr std::string_view kBadVersion =
    "%1 is not a firmware version (numbers separated by dots, as 1.5.3)";
inline constexpr std::string_view kAddressTwice = "local_ip %1 is wanted for both %2 and %3";

inline constexpr std::string_view kBadSize = "%1 is not a size in bytes";

// The firmware manifest and the verdicts on boards.
inline constexpr std::string_view kManifestNoModels = "the manifest lists no model";
inline constexpr std::string_view kBadDigest = "%1 is not a SHA-256 digest (64 hexadecimal digits)";
inline constexpr std::string_view kMinFromAboveVersion =
    "min_from %1 is above the image's version %2";
inline constexpr std::string_view kModelNotListed = "model %1 is not among the models of image %2";
inline constexpr std::string_view kBoardVersionUnknown =
    "its firmware version %1 cannot be compared with the image's";
inline constexpr std::string_view kAlreadyAtVersion = "already at %1";
inline constexpr std::string_view kBoardNewer = "its firmware %1 is newer than the image's %2";
inline constexpr std::string_view kBelowMinFrom =
    "its firmware %1 is below %3, the lowest that image %2 upgrades from: it needs an "
    "intermediate image first";

}  // namespace quorin::text::fleet
