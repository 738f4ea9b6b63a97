// The system's own texts: captions, messages, log lines and list entries, kept in one place so
// that code and tests compare the same strings. UTF-8.
#pragma once

#include <array>
#include <string_view>

#include "res/version.h"

namespace quorin::text {

// String table.
inline constexpr std::string_view kAboutMenuItem = "QuorinConfigTool 정보(&A)...";  // string 101
inline constexpr std::string_view kSocketsInitFailed =
    "Windows 소켓 초기화에 실패하였습니다.";  // 103

// Captions.
inline constexpr std::string_view kMainCaption = "DAVRO2xM ConfigTool Rev 1.7";
inline constexpr std::string_view kAboutCaption = "DAVRO2xM Config Tool Info";
inline constexpr std::string_view kLogCaption = "Log message";

// Socket and protocol messages.
inline constexpr std::string_view kSocketCreationFailed = "Socket Creation Failed";
inline constexpr std::string_view kZeroBytesSent = "0 Bytes sent";
inline constexpr std::string_view kInvalidOpcode = "Invalid OPCODE Received";
inline constexpr std::string_view kInvalidMessage = "Invalid Message Received";
inline constexpr std::string_view kListBoxError = "ListBox Error";
inline constexpr std::string_view kSettingCompleted = "Setting Completed";
inline constexpr std::string_view kUploadCompletedMain = "Firmware Upload COMPLETED";
// Shown once at start-up when the legacy socket cannot take its port; %1 is the port number.
inline constexpr std::string_view kLegacyPortBusy =
    "Cannot use UDP port %1 for the legacy protocol: another program holds it.\n"
    "Boards of model 5836KL will not be found until it is free and the tool is restarted.";

// Firmware upload: the file chooser's filter (description|patterns|, ended by "||") and the
// messages. "%d" stands for a decimal number.
inline constexpr std::string_view kImageFileFilter = "Binary Format(*.bin)|*.bin||";
inline constexpr std::string_view kFileNotSelected = "File not selected";
inline constexpr std::string_view kFileCouldNotOpen = "File could not opened";
inline constexpr std::string_view kBoardAddressInvalid = "Pelkor IP address is invalid";
inline constexpr std::string_view kUploadCompletedLegacy = "Firmware Upload Completed";
inline constexpr std::string_view kUploadError = "Firmware Upload Error";
inline constexpr std::string_view kSocketErrorCode = "Error Code: %d";
inline constexpr std::string_view kConnectionFail = "Firmware Upload Connection Fail...";
inline constexpr std::string_view kAckTimeout = "ACT Timeout. Upload Sock Closing...";
inline constexpr std::string_view kImageEmpty = "Selected File is empty. Try again";
inline constexpr std::string_view kStreamSocketCreation = "SOCKET CREATION ERROR";
inline constexpr std::string_view kStreamConnectionFailure = "Connection Failure";
inline constexpr std::string_view kDataSendError = "DATA SEND ERROR. SOCKET CLOSED";
// The tool's own upload messages (no board text exists for these situations). %1 is a number of
// seconds.
inline constexpr std::string_view kImageTooLarge =
    "The firmware image is 4 GiB or larger and cannot be sent. Nothing was sent.";
inline constexpr std::string_view kImageReadFailed =
    "The firmware image could not be read completely (a read failed or the file changed while "
    "it was read). Nothing was sent.";
// A firmware manifest beside the image (IMAGE.json) that does not allow the upload. %1 is its
// path, %2 the reason.
inline constexpr std::string_view kManifestRefusesUpload =
    "The image's manifest %1 does not allow this upload: %2. Nothing was sent.";
inline constexpr std::string_view kManifestOtherImage =
    "the image is not the one it describes (its sha256 differs)";
inline constexpr std::string_view kNoUploadReply =
    "The board did not answer the upload request within %1 seconds.\n"
    "Check the board and press Upload to try again.";
inline constexpr std::string_view kNoUploadComplete =
    "The board took the whole image but did not report the end of the upload within %1 "
    "seconds.\nIt may still be writing the image: check the board before uploading again.";
inline constexpr std::string_view kUploadLateReport =
    "The board has reported the end of the firmware upload after all: Firmware Upload "
    "COMPLETED.";
inline constexpr std::string_view kUploadAbandoned =
    "The firmware upload was abandoned: a new command was started while the board's answer was "
    "still awaited.\nPress Upload to try again.";
inline constexpr std::string_view kUploadBusy =
    "A firmware image is being sent to the board. Wait until the upload has ended.";

// Settings collection.
inline constexpr std::string_view kTriggerInvalid = "Trigger Char is invalid";
inline constexpr std::string_view kTriggerNotHex = "Trigger Char is invalid, It must be a Hex code";
inline constexpr std::array<std::string_view, 4> kPackingCharEmpty{
    "Data packing condition Char of Channel #1 is empty",
    "Data packing condition Char of Channel #2 is empty",
    "Data packing condition Char of Channel #3 is empty",
    "Data packing condition Char of Channel #4 is empty"};
inline constexpr std::array<std::string_view, 4> kPackingCharInvalid{
    "Data packing condition Char of Channel #1 is invalid",
    "Data packing condition Char of Channel #2 is invalid",
    "Data packing condition Char of Channel #3 is invalid",
    "Data packing condition Char of Channel #4 is invalid"};
// A baud-rate, data-bit, stop-bit or flow-control text typed into its combo that names no entry
// of the list; %1 is the field's label ("Baud Rate"), %2 the channel number.
inline constexpr std::string_view kComboTextInvalid =
    "%1 of Channel #%2 is invalid, choose a value from the list";

// Log lines.
inline constexpr std::string_view kLogSearchRequest = "Call SendData() with OPCODE_SEARCH_REQUEST";
inline constexpr std::string_view kLogSearchReply = "Receive Data With OPCODE_SEARCH_REPLY";
inline constexpr std::string_view kLogSetRequest = "Call SendData() with OPCODE_SET_REQUEST";
inline constexpr std::string_view kLogSetReply = "Receive Data With OPCODE_SET_REPLY";
inline constexpr std::string_view kLogSetReplyLegacy = "Receive Data With SETC";
inline constexpr std::string_view kLogUploadRequest = "Call SendData() with OPCODE_UPLOAD_REQUEST";
inline constexpr std::string_view kLogUploadReply = "Receive Data With OPCODE_UPLOAD_REPLY";
// Upload log lines. A block line is kLogBlockCount, kLogBytesSent and kLogTotalSent joined.
inline constexpr std::string_view kLogSizeHeaderSent = "sent data size: %d";
inline constexpr std::string_view kLogFileSizeInfo = " sent file size info: %d";
inline constexpr std::string_view kLogBlockCount = " %d";
inline constexpr std::string_view kLogBytesSent = " bytes sent";
inline constexpr std::string_view kLogTotalSent = " / Total bytes: %d sent";
inline constexpr std::string_view kLogUploadClosedNormally = "Upload Socket Closed normally";
inline constexpr std::string_view kLogUploadClosedAbnormally = "Upload Socket Closed abnormally";
// The tool's own upload log lines. %1 and %2 are numbers.
inline constexpr std::string_view kLogUploadClosedByBoard = "Upload Socket Closed by the board";
inline constexpr std::string_view kLogAgingCycle = "UPLOAD AGING: cycle %1 of %2 done";
inline constexpr std::string_view kLogAgingStopped = "UPLOAD AGING stopped after %1 of %2 cycles";
inline constexpr std::string_view kLogAgingFinished =
    "UPLOAD AGING finished: %1 cycles and the last upload";
inline constexpr std::string_view kLogAgingRevealed =
    "UPLOAD AGING button shown (Ctrl+Shift+A hides it)";
// The window title while an aging series runs or after it ended: caption, count, limit.
inline constexpr std::string_view kAgingTitle = "%1 - UPLOAD AGING %2/%3";
// Not a line of the board exchanges: says that a search found more boards than the table holds.
inline constexpr std::string_view kLogBoardTableFull =
    "Board table full (200 boards): further search replies ignored";
// The same line for a table of %1 boards (the command line's is larger than the window's).
inline constexpr std::string_view kLogBoardTableFullPattern =
    "Board table full (%1 boards): further search replies ignored";
// Not a line of the board exchanges: %1 is a message ("Invalid OPCODE Received"), %2 how many
// more times it came while its box was open (no further box is opened for them).
inline constexpr std::string_view kLogMessagesWhileOpen = "%1 (%2 more while the message was open)";
// Not a line of the board exchanges: the first line of a log window that has dropped its oldest
// lines; %1 is how many were dropped, %2 how many lines the window keeps.
inline constexpr std::string_view kLogOlderLinesDropped =
    "(%1 older lines dropped: the log keeps the last %2)";

// Window texts.
inline constexpr std::array<std::string_view, 4> kChannelTabs{"Channel #1", "Channel #2",
                                                              "Channel #3", "Channel #4"};
inline constexpr std::string_view kConnected = "Connected";
inline constexpr std::string_view kNotConnected = "Not Connected";
inline constexpr std::string_view kDebugModeCaption = "Debug Mode";
inline constexpr std::string_view kDdnsEnableCaption = "DDNS Enable";
inline constexpr std::string_view kZeroAddress = "0.0.0.0";
inline constexpr std::string_view kInitialFirmwareVersion = "0.0";

// Combo lists, in index order; never sorted.
inline constexpr std::array<std::string_view, 10> kBaudRates{
    "600", "1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200", "230400"};
inline constexpr std::array<std::string_view, 2> kDataBits{"7", "8"};
inline constexpr std::array<std::string_view, 3> kParity{"None", "Odd", "Even"};
inline constexpr std::array<std::string_view, 4> kStopBits{"0.5", "1", "1.5", "2"};
inline constexpr std::array<std::string_view, 4> kFlowControl{"None", "Xon/Xoff", "CTS/RTS",
                                                              "RTSOnly"};

}  // namespace quorin::text

// Labels of the dialog templates (group box titles, static texts, button captions).
namespace quorin::text::label {

// About box.
inline constexpr std::string_view kAboutVersion = "QuorinConfigTool Version 1.7";
// Ours: the release the tool was built as, the same number as its package's version.
inline constexpr std::string_view kAboutDetail =
    "Release " QUORIN_VERSION ": serial-to-Ethernet setup";
inline constexpr std::string_view kOk = "OK";

// Main window: board list and general area.
inline constexpr std::string_view kBoardList = "Board List";
inline constexpr std::string_view kGeneralGroup = "General Infomation";
inline constexpr std::string_view kProductCode = "Product Code";
inline constexpr std::string_view kFirmwareVersion = "Firmware Version";
inline constexpr std::string_view kIpModeGroup = "IP address mode";
inline constexpr std::string_view kStaticIp = "Static";
inline constexpr std::string_view kDhcp = "DHCP";
inline constexpr std::string_view kPppoe = "PPPoE";
inline constexpr std::string_view kPppoeGroup = "PPPoE ";
inline constexpr std::string_view kPppoeId = "ID";
inline constexpr std::string_view kPppoePw = "PW";
inline constexpr std::string_view kLocalNetworkGroup = "Local Network Information";
inline constexpr std::string_view kLocalIp = "Local IP address";
inline constexpr std::string_view kSubnetMask = "Subnet Mask";
inline constexpr std::string_view kGateway = "Gateway address";
inline constexpr std::string_view kDnsServerIp = "DNS Server IP address";
inline constexpr std::string_view kSerialCommandGroup = "Serial Command Method";
inline constexpr std::string_view kSerialDisable = "Disable";
inline constexpr std::string_view kSerialHw = "HW";
inline constexpr std::string_view kSerialSw = "SW";
inline constexpr std::string_view kTriggerCharacter = "Trigger Character";
inline constexpr std::string_view kHex = "(Hex)";

// Main window: channel pages.
inline constexpr std::string_view kOperationModeGroup = "Operation Mode";
inline constexpr std::string_view kServer = "Server";
inline constexpr std::string_view kClient = "Client";
inline constexpr std::string_view kStatus = "Status";
inline constexpr std::string_view kUdp = "UDP";
inline constexpr std::string_view kDataModeGroup = "Data mode";
inline constexpr std::string_view kRawMode = "Raw mode";
inline constexpr std::string_view kTelnetMode = "Telnet mode";
inline constexpr std::string_view kDnsModeGroup = "DNS Mode ";
inline constexpr std::string_view kUseDns = "Use DNS";
inline constexpr std::string_view kServerDomainName = "Server Domain Name";
inline constexpr std::string_view kRemoteConnectionGroup = "Remote Connection";
inline constexpr std::string_view kLocalPort = "Local Port";
inline constexpr std::string_view kRemoteIp = "Remote IP address";
inline constexpr std::string_view kRemotePort = "Remote Port";
inline constexpr std::string_view kSerialGroup = "Serial";
inline constexpr std::string_view kBaudRate = "Baud Rate";
inline constexpr std::string_view kDataBit = "Data Bit";
inline constexpr std::string_view kParity = "Parity";
inline constexpr std::string_view kStopBit = "Stop Bit";
inline constexpr std::string_view kFlowControl = "Flow Control";
inline constexpr std::string_view kDataPackingGroup = "Data Packing Condition";
inline constexpr std::string_view kCharacter = "Character";
inline constexpr std::string_view kSize = "Size";
inline constexpr std::string_view kTime = "Time";
inline constexpr std::string_view kDisconnectGroup = "Disconnect Condition";
inline constexpr std::string_view kInactivityTime = "Inactivity Time";

// Main window: firmware upload and commands.
inline constexpr std::string_view kFirmwareUploadGroup = "Firmware Upload";
inline constexpr std::string_view kFilenameToUpload = "Filename\n to upload";  // two lines
inline constexpr std::string_view kBrowse = "...";
inline constexpr std::string_view kUpload = "Upload";
inline constexpr std::string_view kUploadAging = "UPLOAD AGING";
inline constexpr std::string_view kSearch = "Search";
inline constexpr std::string_view kSetting = "Setting";
inline constexpr std::string_view kViewLog = "View Log";
inline constexpr std::string_view kExit = "Exit";

// Log window.
inline constexpr std::string_view kSaveAndExit = "Save and Exit";

}  // namespace quorin::text::label
