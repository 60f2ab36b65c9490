// q42flash --check and the converters without a port; see port_check.h.
#include "flash/run/port_check.h"

#include <string>
#include <vector>

#include "core/radio_record.h"
#include "core/serial_check.h"
#include "flash/run/flash_output.h"
#include "flash/run/platform.h"

int CheckSerialSide() {
    bool in_the_way = false;
    for (const std::string& line : CheckLines(SeeSerialSide(), in_the_way)) Say(line);
    return in_the_way ? kExitPortUnusable : kExitWritten;
}

void SayConvertersWithoutPort() {
    const SerialSideSeen seen = SeeSerialSide();
    for (const ConverterSeen& converter : seen.converters) {
        if (!converter.port.empty()) continue;
        const std::string trouble = ConverterTrouble(converter, seen);
        Say(ConverterText(converter) + ", without a port" + (trouble.empty() ? "" : ": " + trouble));
    }
}
