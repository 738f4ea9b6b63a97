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

// Checks of a FIELD=VALUE edit. A value or name the user typed is filled in by
// settings::quoted_value, which adds the quotes.
inline constexpr std::string_view kUnknownField =
    "unknown field %1 (quorinctl show BOARD lists the fields)";
inline constexpr std::string_view kFieldNotOnModel = "model %1 has no field %2";
inline constexpr std::string_view kFieldNotEditable = "field %1 cannot be set";
inline constexpr std::string_view kFieldTwice = "field %1 is named twice";
inline constexpr std::string_view kFieldDisabled =
    "field %1 cannot be changed on this board: the window disables it for model %2 with these "
    "settings";
inline constexpr std::string_view kBadAddress = "%1: %2 is not an IPv4 address (a.b.c.d)";
inline constexpr std::string_view kBadChoice = "%1: %2 is not in the list of this board: %3";
inline constexpr std::string_view kBadChoiceAnyModel = "%1: %2 is not in the list of any model: %3";
inline constexpr std::string_view kBadFlag = "%1: %2 must be on or off";
inline constexpr std::string_view kBadNumber = "%1: %2 is not a whole number from 0 to %3";
inline constexpr std::string_view kTextTooLong = "%1: %2 is longer than %3 characters";
inline constexpr std::string_view kTextNotLatin1 =
    "%1: %2 holds a character that the board cannot store (one byte per character)";

// Command line: Qt-style %1 placeholders (QString::arg); what the user typed goes in through
// settings::quoted_value, quotes included.
inline constexpr std::string_view kBadBoard =
    "%1 is neither a MAC address (0A:1B:2C:3D:4E:5F) nor an IPv4 address (a.b.c.d)";
inline constexpr std::string_view kBadAssignment = "%1 is not of the form FIELD=VALUE";
inline constexpr std::string_view kBoardNotFound = "board %1 did not answer the search";
inline constexpr std::string_view kBoardAmbiguous =
    "several boards answer with address %1 (%2): name the board by its MAC address";
inline constexpr std::string_view kSendFailed =
    "quorinctl: the system refused to send the search on %1";
inline constexpr std::string_view kBoardNote = "quorinctl: %1";
inline constexpr std::string_view kNoBoards = "quorinctl: no board answered";
inline constexpr std::string_view kDryRun = "quorinctl: dry run, nothing was sent";
inline constexpr std::string_view kNoSetReply = "no set reply within %1 ms";
inline constexpr std::string_view kNoAnswerAfterSet = "did not answer the search after setting";
inline constexpr std::string_view kMismatch = "%1 is %2, asked %3";
inline constexpr std::string_view kBoardVerified = "%1 ok: %2 field(s) set and verified";
inline constexpr std::string_view kBoardFailed = "%1 FAILED: %2";
inline constexpr std::string_view kShowHeading =
    "%1  model %2  firmware %3  interface %4  protocol %5";
inline constexpr std::string_view kNoteReadOnly = "(read-only)";
inline constexpr std::string_view kNoteDisabled = "(disabled)";
inline constexpr std::string_view kProfileUnreadable = "cannot read profile %1: %2";
inline constexpr std::string_view kProfileNotJson = "profile %1 is not JSON: %2 at byte %3";
inline constexpr std::string_view kProfileShape =
    "profile %1 must be an object with \"model\" (text) and \"settings\" (an object of texts) "
    "and nothing else";
inline constexpr std::string_view kProfileOtherModel =
    "the profile is for model %1, but board %2 is a %3: nothing was sent";
inline constexpr std::string_view kProfileAddressForMany =
    "the profile names local_ip: apply it to one board at a time, or two boards would share the "
    "address";

inline constexpr std::string_view kNoSuchInterface =
    "no interface named %1 with an IPv4 address is up";
inline constexpr std::string_view kNoBroadcastAddress = "interface %1 has no broadcast address";
inline constexpr std::string_view kCannotOpenSocket = "cannot open a UDP socket: %1";
inline constexpr std::string_view kBadBroadcast = "--broadcast: %1 is not an IPv4 address";

// upload
inline constexpr std::string_view kImageCannotOpen = "cannot open image %1: %2";
inline constexpr std::string_view kImageEmpty = "image %1 is empty: there is nothing to upload";
inline constexpr std::string_view kImageTooLarge =
    "image %1 is %2 bytes: the transfer announces its size in 32 bits, so an image must be "
    "smaller than 4 GiB";
inline constexpr std::string_view kImageChanged =
    "image %1 could not be read whole: it changed while it was read";
inline constexpr std::string_view kImageSummary = "image %1: %2 bytes, sha256 %3";
inline constexpr std::string_view kNoManifest =
    "no manifest for %1 (%2, or --manifest FILE): the image is not checked against the boards";
inline constexpr std::string_view kManifestUnreadable = "cannot read manifest %1: %2";
inline constexpr std::string_view kManifestRefused = "manifest %1: %2";
inline constexpr std::string_view kManifestUsed = "manifest %1: version %2 for %3";
inline constexpr std::string_view kImageNotTheManifests =
    "image %1 has sha256 %2, not the manifest's %3: nothing sent";
inline constexpr std::string_view kBoardRefusedByManifest = "%1: %2";
inline constexpr std::string_view kBoardsRefusedByManifest =
    "%1 board(s) refused by the manifest: nothing sent";
inline constexpr std::string_view kBoardSkipped = "%1  %2: skipped (--reinstall uploads it again)";
inline constexpr std::string_view kBoardWouldUpgrade = "%1  would be upgraded from firmware %2";
inline constexpr std::string_view kHintIgnoreCompatible =
    " (--ignore-compatible uploads it anyway)";
inline constexpr std::string_view kHintAllowOlder = " (--allow-older installs it)";
inline constexpr std::string_view kEveryBoardSkipped = "every board already holds version %1";
inline constexpr std::string_view kHistoryNotWritten = "the upload history was not written: %1";
// history
inline constexpr std::string_view kHistoryHeading =
    "TIME|MAC|MODEL|BEFORE|AFTER|RESULT|IMAGE|MESSAGE";
inline constexpr std::string_view kHistoryImage = "%1 (%2 bytes)";
inline constexpr std::string_view kHistoryLineSkipped = "%1 line %2 skipped: %3";
inline constexpr std::string_view kNotAMac = "%1 is not a MAC address (0A:1B:2C:3D:4E:5F)";
inline constexpr std::string_view kBoardNamedTwice = "board %1 is named twice";
inline constexpr std::string_view kUploadRequestRefused =
    "the system refused to send the upload request";
inline constexpr std::string_view kUploadWaiting = "waiting";
inline constexpr std::string_view kUploadRequested = "upload requested";
inline constexpr std::string_view kUploadAccepted = "accepted; sending in %1 ms";
inline constexpr std::string_view kUploadStarting = "sending in %1 ms";
inline constexpr std::string_view kUploadSending = "sending";
inline constexpr std::string_view kUploadSendingPercent = "sending: %1%";
inline constexpr std::string_view kUploadAwaitingReport = "sent; awaiting the board's report";
inline constexpr std::string_view kUploadFinishing = "sent; finishing";
inline constexpr std::string_view kUploadDone = "done: %1";
inline constexpr std::string_view kUploadFailed = "FAILED: %1";
inline constexpr std::string_view kUploadSummaryHeading = "Summary:";
inline constexpr std::string_view kUploadSummary = "%1 of %2 board(s) upgraded and verified";
inline constexpr std::string_view kUploadAborted = "aborted by a second signal";
inline constexpr std::string_view kUploadVerifying =
    "done: %1; waiting for the board to answer again";
inline constexpr std::string_view kUploadVerified = "verified: firmware %1, settings as before";
inline constexpr std::string_view kUploadOtherFirmware =
    "FAILED: came back with firmware %1, not %2";
inline constexpr std::string_view kUploadOtherFirmwareUnknown =
    "FAILED: came back with firmware %1";
inline constexpr std::string_view kUploadSettingsChanged =
    "FAILED: came back with firmware %1 but settings changed: %2";
inline constexpr std::string_view kUploadNotBack = "FAILED: did not come back within %1 s";
inline constexpr std::string_view kUploadCutOff =
    "INTERRUPTED mid-transfer: the board may not start again; check it";
inline constexpr std::string_view kUploadStoppedEarly = "interrupted before any byte was sent";
inline constexpr std::string_view kUploadUnverified =
    "done: %1; not verified (interrupted while waiting for the board)";
inline constexpr std::string_view kNotStartedCanary = "not started: a canary board failed";
inline constexpr std::string_view kNotStartedFailures =
    "not started: %1 failure(s) reached --max-failures";
inline constexpr std::string_view kNotStartedInterrupted = "not started: interrupted";
inline constexpr std::string_view kUploadFirstSignal =
    "interrupted: no new board starts; %1 transfer(s) still running finish and are verified "
    "(a second signal aborts them, which may leave those boards unusable)";
inline constexpr std::string_view kUploadSecondSignal =
    "interrupted again: running transfers aborted";
inline constexpr std::string_view kUploadNeedsAttention =
    "%1 board(s) cut off mid-transfer need attention: %2";
inline constexpr std::string_view kCanaryFailed =
    "a canary board failed: the other boards were not started";

// diagnose
inline constexpr std::string_view kDiagInterfaces = "Interfaces (IPv4):";
inline constexpr std::string_view kDiagDown = "down: not searched";
inline constexpr std::string_view kDiagLoopback = "loopback: not searched";
inline constexpr std::string_view kDiagNoBroadcast = "no broadcast address: not searched";
inline constexpr std::string_view kDiagBroadcast = "broadcast %1: searched";
inline constexpr std::string_view kDiagRoute =
    "A datagram to 255.255.255.255 (the window's search) leaves by %1, from %2.";
inline constexpr std::string_view kDiagNoRoute =
    "A datagram to 255.255.255.255 has no way out of this machine: %1.";
inline constexpr std::string_view kDiagPortFree = "UDP port %1 (replies of model 5836KL) is free.";
inline constexpr std::string_view kDiagPortHeld =
    "UDP port %1 (replies of model 5836KL) is held by another program.";
inline constexpr std::string_view kDiagSearch = "Search (%1 ms), replies by interface:";
inline constexpr std::string_view kDiagReplies = "%1 replies";
inline constexpr std::string_view kDiagBoards = "Boards found: %1";
inline constexpr std::string_view kDiagNoProblem = "No problem found.";
inline constexpr std::string_view kDiagProblems = "%1 finding(s).";
inline constexpr std::string_view kFindNoRoute =
    "No route takes a limited broadcast out: the window finds no board. Give this machine an "
    "address on the boards' network (a default route makes that interface the one used).";
inline constexpr std::string_view kFindOneInterface =
    "A limited broadcast leaves by %1 only: the window does not find boards on %2. Search with "
    "quorinctl, which sends on every interface, or connect the boards to %1.";
inline constexpr std::string_view kFindPortHeld =
    "Another program holds UDP port %1, so boards of model 5836KL cannot answer. Close it (ss "
    "-ulpn shows which) and search again.";
inline constexpr std::string_view kFindNoReplies =
    "No board answered on %1. Check that boards on that network are powered and cabled, and that "
    "no firewall drops UDP replies.";
inline constexpr std::string_view kFindOutsideSubnet =
    "Board %1 has address %2, outside every subnet of this machine: it answers searches on %3 but "
    "cannot be reached until its address is set, for example: quorinctl set %1 ip_mode=Static "
    "local_ip=ADDRESS subnet_mask=MASK";
inline constexpr std::string_view kFindSharedAddress =
    "Boards %1 share the address %2. Give each its own: quorinctl set MAC local_ip=ADDRESS";

// Site files: init, plan, apply, rollback, audit.
inline constexpr std::string_view kFileUnreadable = "cannot read %1: %2";
inline constexpr std::string_view kFileRefused = "%1: %2";
inline constexpr std::string_view kSiteOtherModel = "%1: board %2 is a %3, the site file says %4";
inline constexpr std::string_view kSiteBadIpFrom = "--ip-from: %1 is not an IPv4 address (a.b.c.d)";
inline constexpr std::string_view kSiteIpFromOverflow =
    "--ip-from: %1 boards from %2 run past 255.255.255.255";
inline constexpr std::string_view kPlanChange = "%1  %2: %3 -> %4";
inline constexpr std::string_view kPlanMissing = "%1  did not answer";
inline constexpr std::string_view kPlanUnlisted = "%1  answered, not in the site file";
inline constexpr std::string_view kPlanFirmwareLow = "%1  firmware %2 is below the site's %3";
inline constexpr std::string_view kPlanSummary =
    "%1 board(s) to change, %2 already as wanted, %3 did not answer, %4 not in the site file";
inline constexpr std::string_view kAuditSummary =
    "%1 finding(s): %2 board(s) differ, %3 below the firmware minimum, %4 did not answer; "
    "%5 board(s) compliant, %6 not in the site file";
inline constexpr std::string_view kPlanWritten = "quorinctl: plan written to %1";
inline constexpr std::string_view kPlanStale =
    "board %1 has changed since the plan: %2 was %3, now %4; nothing was sent";
inline constexpr std::string_view kJournalWritten = "journal: %1";
inline constexpr std::string_view kJournalFailed = "cannot write the journal %1; nothing was sent";
inline constexpr std::string_view kReportFailed = "cannot write the report %1";
inline constexpr std::string_view kReportBadName = "--report: %1 must end in .csv or .json";
inline constexpr std::string_view kRunUnchanged = "%1  unchanged";
inline constexpr std::string_view kRunVerified = "%1  changed and verified: %2";
inline constexpr std::string_view kRunFailed = "%1  FAILED: %2";
inline constexpr std::string_view kRunNotReached = "%1  not reached: did not answer the search";
inline constexpr std::string_view kRunNotStarted = "%1  not started: interrupted";
inline constexpr std::string_view kRunSummary =
    "%1 board(s): %2 changed and verified, %3 unchanged, %4 failed, %5 not reached, "
    "%6 not started";
inline constexpr std::string_view kRunInterrupted =
    "quorinctl: interrupted: no new set request is sent; waiting for the outstanding replies";
inline constexpr std::string_view kNoSetReplyRun = "no set reply";
inline constexpr std::string_view kNothingToChange =
    "quorinctl: every board already holds what is wanted";

}  // namespace quorin::text::cli
