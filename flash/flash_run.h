// What a run of q42flash keeps across its radios, and the words it has for each radio's
// header, image and line, shared by one radio at a time and by several at once.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "flash/command_line.h"
#include "flash/image_fit.h"
#include "flash/link_host.h"
#include "flash/update_record.h"
#include "update/boot_link.h"
#include "update/firmware_container.h"

// What q42flash says of a stop request, by when it comes.
extern const char kStopAfterHeader[];
extern const char kNothingWritten[];
extern const char kWriteGoesOn[];
extern const char kStoppedDuringWrite[];

struct Run {
    Run(const FlashOptions& given, const FirmwareStore& image_store) : options(given), store(image_store) {}
    const FlashOptions& options;
    const FirmwareStore& store;
    int32_t length = 0;
    std::string image_version;
    std::string image_sha256;
    RecordFile record;
    std::vector<RadioRecord> done;
    bool confirmed = false;  // the question, asked once for the run

    // A record for a radio whose greeting has just been answered on port.
    RadioRecord NewRadio(const std::string& port) const;
    // Frames the image takes: its blocks that are not all 0xFF.
    int FramesToSend() const;
    // The radio's line in the record and in --json's output, whole and at once, and its row in
    // the end table. Returns why the record could not take the line, or "".
    std::string Keep(RadioRecord& radio);
};

// What a write has done so far, from the link's progress after each block.
struct WriteTally {
    int frames = 0;       // acknowledged by the radio
    int64_t bytes = 0;    // image bytes those frames carried
    int32_t covered = 0;  // image bytes behind the write, blank blocks included
    // block_offset: what the link's progress gives, 1024 times the block's number.
    void AfterBlock(const Run& run, int32_t block_offset);
};

// The header as the window shows it: the application's line, then the version's.
std::vector<std::string> HeaderLines(const DeviceHeader& header);
// Copies what the header says into the radio's record.
void TakeHeaderInto(const DeviceHeader& header, RadioRecord& radio);

// Why an image that does not fit the radio is (or, with --force, is not) refused.
std::string ImageRefusal(ImageFit fit, const std::string& image_name, const DeviceHeader& header, bool force);

// Why the radio went silent when its line did: its port gone (the converter unplugged), hung
// up, or would not take what was sent; "" when the line is fine.
std::string LostLineText(const SerialLinkHost& host, const std::string& port);

// "APPLICATION VERSION" as read before the write ("unknown" for what the radio did not say).
std::string RadioName(const RadioRecord& radio);
// "PORT APPLICATION VERSION", the label of the radio's progress.
std::string RadioLabel(const RadioRecord& radio);
