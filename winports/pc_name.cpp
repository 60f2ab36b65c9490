// The PC's name; see pc_name.h.
#include "winports/pc_name.h"

#include <windows.h>

#include "winports/wide_text.h"

std::string PcName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(name, &length)) return "";
    return Utf8FromWide(std::wstring(name, length));
}
