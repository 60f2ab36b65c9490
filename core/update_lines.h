// The update's lines as the user reads them, in the update window and from q42flash alike:
// words the program has always used, kept in one place so that the two never drift apart.
#pragma once

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
inline constexpr char kSendingFirmware[] = "Sending new Q42 firmware...";
inline constexpr char kWriteFailed[] = "Program write failed - please repeat";

inline constexpr const char* kClosingLines[] = {
    "New Firmware is loaded.",           "Finished...",
    "Disconnect RS232 link from device", "and restart device to verify operation.",
    "Repeat programming if required.",
};
