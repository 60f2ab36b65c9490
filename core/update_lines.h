// The update's words as the user reads them, in one place so that no two copies drift apart:
// first the update window's lines, which q42flash prints too, then q42flash's own.
#pragma once

#include "core/q42_protocol.h"

inline constexpr char kSwitchOn[] = "Switch on Q42";
inline constexpr char kProgramVersionLabel[] = "This program contains software version: ";
inline constexpr char kApplicationInUnit[] = "Application in unit: ";
inline constexpr char kUnknownApplication[] = "Unknown application in unit";
inline constexpr char kVersionLabel[] = "Version: ";
inline constexpr char kUnknownVersion[] = "Unknown version";
inline constexpr char kCannotReadDevice[] = "Cannot read from device. Please try again.";
inline constexpr char kReadyToProgram[] = "Ready to program";
inline constexpr char kBootloaderNotActive[] = "Bootloader not active";
inline constexpr char kCannotLocateCode[] = "Cannot locate code data";
inline constexpr char kImageDamaged[] = "The firmware inside this program file is damaged: download the program again.";
inline constexpr char kSendingFirmware[] = "Sending new Q42 firmware...";
inline constexpr char kWriteFailed[] = "Program write failed - please repeat";

inline constexpr const char* kClosingLines[] = {
    "New Firmware is loaded.",           "Finished...",
    "Disconnect RS232 link from device", "and restart device to verify operation.",
    "Repeat programming if required.",
};

// The main window's "Open Log Folder" when Windows cannot show it; followed by ": " and the
// folder where it is known.
inline constexpr char kLogFolderNotOpened[] = "The folder of the update log cannot be opened";

// q42flash's words of a stop request, by when it comes.
inline constexpr char kStopAfterHeader[] =
    "stopping when the radio's header has been read (at most 5 s); nothing will be written";
static_assert(kHeaderTimeoutMs == 5000, "kStopAfterHeader names the header's time-out");
inline constexpr char kNothingWritten[] = "stopped; nothing was written";
// Followed by how to stop at once, in the words of the request that came (StopAgainHint).
inline constexpr char kWriteGoesOn[] = "the write goes on to its end, since a half-written radio does not start; ";
inline constexpr char kStoppedDuringWrite[] =
    "stopped during the write: the radio is half-written and will not start; write it again (start the update, "
    "then switch the radio off and on)";

// q42flash's words of one radio and of a run of them.
inline constexpr char kNotWritten[] = "not written";
inline constexpr char kImageChangedInMemory[] =
    "the image in memory no longer matches the SHA-256 it had when it was read: not written; run q42flash again";
inline constexpr char kConnectNextRadio[] = "Connect the next radio and switch it on";
inline constexpr char kWaitingForGreeting[] = "waiting for the radio's greeting";
