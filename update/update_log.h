// The update window's log: the record line of each write from "Update now", the same line
// q42flash writes, appended to updates.jsonl in the user's application-data folder, under
// Q42Update, where a support request can find it.
#pragma once

#include <string>

#include "core/radio_record.h"

// The log's folder, made if it is missing; "" when Windows gives no application-data folder.
std::wstring LogFolder();

// Appends the record's line, whole and on the disk, with the time, this program start's run
// id and the PC's name filled in. The log is a courtesy: where it cannot be written it is left
// out without a word, and the update goes on as before.
void AppendToLog(RadioRecord record);
