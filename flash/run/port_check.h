// q42flash --check, and the converters --list-ports adds: what the check of the serial side
// found, said to the user.
#pragma once

// Prints the check; kExitPortUnusable when something stands in the way, else kExitWritten.
int CheckSerialSide();

// The converters plugged in that have no port, one line each with the reason.
void SayConvertersWithoutPort();
