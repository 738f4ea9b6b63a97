// Texts of the desktop tool's Boards window: its controls, its previews, its questions and its
// status line. %1, %2, ... are filled in by QString::arg. UTF-8.
#pragma once

#include <string_view>

namespace quorin::text::boards {

inline constexpr std::string_view kMenuItem = "&Boards...";
inline constexpr std::string_view kTitle = "Boards";
inline constexpr std::string_view kSearch = "Search again";
inline constexpr std::string_view kShow = "Show in main window";
inline constexpr std::string_view kApply = "Apply profile or site file...";
inline constexpr std::string_view kRollBack = "Roll back";
inline constexpr std::string_view kUpgrade = "Upgrade firmware...";
inline constexpr std::string_view kStop = "Stop";
inline constexpr std::string_view kExport = "Export...";
inline constexpr std::string_view kFilter = "Filter";
inline constexpr std::string_view kFilterHint = "text in any column";
inline constexpr std::string_view kTable = "Boards found";
inline constexpr std::string_view kStatusLine = "Status";
inline constexpr std::string_view kColumns[] = {
    "MAC", "Model", "IP address", "Mask", "Gateway", "Firmware", "IP mode", "Interface", "Status"};

// Runs, on the status line.
inline constexpr std::string_view kSearching = "Searching on every interface...";
inline constexpr std::string_view kFound = "%1 boards found, %2 shown, %3 selected";
inline constexpr std::string_view kJournalWritten = "Journal written to %1";
inline constexpr std::string_view kApplying = "Writing settings to %1 boards...";
inline constexpr std::string_view kApplied = "%1: %2 changed, %3 unchanged, %4 failed";
inline constexpr std::string_view kUpgrading = "Upgrading %1 boards...";
inline constexpr std::string_view kUpgraded = "Upgrade: %1 verified, %2 failed, %3 not started";
inline constexpr std::string_view kStopping =
    "Stopping: no new board starts; %1 running transfers finish and are verified";
inline constexpr std::string_view kNeedsAttention =
    "%1 boards were cut off in the middle of their transfer and need attention: %2";
inline constexpr std::string_view kHistoryNotWritten = "The upload history was not written: %1";
inline constexpr std::string_view kCannotOpen = "The network could not be opened: %1";
inline constexpr std::string_view kExported = "Table written to %1";

// Per-board reasons.
inline constexpr std::string_view kNotInSiteFile = "not in the site file";
inline constexpr std::string_view kOtherModel = "a %1, the file is for a %2";
inline constexpr std::string_view kAddressForMany =
    "the profile sets local_ip, which is for one board only";
inline constexpr std::string_view kNotFoundNow = "did not answer the last search";
inline constexpr std::string_view kNotReached = "did not answer the search";

// The previews.
inline constexpr std::string_view kApplyTitle = "Apply %1";
inline constexpr std::string_view kRollBackTitle = "Roll back the last apply";
inline constexpr std::string_view kPlanHeading = "%1 of %2 boards would change:";
inline constexpr std::string_view kPlanChange = "%1: %2 -> %3";
inline constexpr std::string_view kPlanNothing = "nothing to change";
inline constexpr std::string_view kPlanRefused = "left alone: %1";
inline constexpr std::string_view kApplyButton = "Apply";
inline constexpr std::string_view kRollBackButton = "Roll back";
inline constexpr std::string_view kUpgradeTitle = "Upgrade %1";
inline constexpr std::string_view kImageLine = "%1 bytes, sha256 %2";
inline constexpr std::string_view kManifestLine = "Manifest: version %1";
inline constexpr std::string_view kNoManifest =
    "No manifest beside the image: every board is upgraded";
inline constexpr std::string_view kVerdictUpgrade = "upgrade from %1";
inline constexpr std::string_view kVerdictSkip = "skip (%1)";
inline constexpr std::string_view kVerdictRefused = "refused (%1)";
inline constexpr std::string_view kJobs = "Boards at once";
inline constexpr std::string_view kCanary = "Canary boards first";
inline constexpr std::string_view kMaxFailures = "Stop after this many failures (0: never)";
inline constexpr std::string_view kVerifyTimeout = "Seconds for each board to come back";
inline constexpr std::string_view kStart = "Start";
inline constexpr std::string_view kChooseFile = "Profile or site file";
inline constexpr std::string_view kChooseImage = "Firmware image";
inline constexpr std::string_view kExportTo = "Export the table";
inline constexpr std::string_view kFileFilters =
    "Profiles and site files (*.json *.yaml *.yml);;All files (*)";
inline constexpr std::string_view kExportFilters = "CSV (*.csv);;JSON (*.json)";

// Closing during a run.
inline constexpr std::string_view kCloseTitle = "A run is in progress";
inline constexpr std::string_view kCloseQuestion =
    "Stop it? No new board starts; running transfers finish and are verified, and the window "
    "closes when they have.";
inline constexpr std::string_view kCloseStop = "Stop and close";
inline constexpr std::string_view kCloseKeep = "Keep running";

}  // namespace quorin::text::boards
