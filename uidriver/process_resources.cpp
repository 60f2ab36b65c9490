// Resource counts of another process, each from the first source that answers.
#include "uidriver/process_resources.h"

#include "winports/owned_handle.h"

#include <psapi.h>
#include <winternl.h>

#include <vector>

namespace {

constexpr NTSTATUS kInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004);
constexpr SYSTEM_INFORMATION_CLASS kSystemHandleInformation = static_cast<SYSTEM_INFORMATION_CLASS>(16);

// The GDI handle table that PEB->GdiSharedHandleTable points at (0xF8 in the 64-bit PEB, 0x94
// in the 32-bit one, so the driver reads a program of its own kind): 65,536 entries of this
// layout, the same in both kinds. Under Wine each process has its own table; a free entry
// has type 0, and stock objects carry bit 7 of Unique.
constexpr SIZE_T kPebGdiSharedHandleTable = sizeof(void*) == 8 ? 0xF8 : 0x94;
constexpr size_t kGdiTableEntries = 0x10000;
constexpr USHORT kStockObject = 0x80;

struct GdiTableEntry {
    ULONG64 object;
    ULONG owner;
    USHORT unique;
    UCHAR type;
    UCHAR flags;
    ULONG64 user_pointer;
};
static_assert(sizeof(GdiTableEntry) == 24, "one entry of the GDI handle table");

// Wine 8 keeps GetProcessHandleCount at 0, but lists every process's handles here.
bool CountHandles(HANDLE process, DWORD pid, unsigned long& count, std::string& error) {
    DWORD from_kernel = 0;
    if (GetProcessHandleCount(process, &from_kernel) && from_kernel > 0) {
        count = from_kernel;
        return true;
    }
    std::vector<unsigned char> buffer(1 << 20);
    NTSTATUS status;
    while ((status = NtQuerySystemInformation(kSystemHandleInformation, buffer.data(),
                                              static_cast<ULONG>(buffer.size()), nullptr)) == kInfoLengthMismatch) {
        if (buffer.size() >= (64u << 20)) break;
        buffer.resize(buffer.size() * 2);
    }
    if (!NT_SUCCESS(status)) {
        error = "the system's handle list cannot be read (status " + std::to_string(status) + ")";
        return false;
    }
    const auto* list = reinterpret_cast<const SYSTEM_HANDLE_INFORMATION*>(buffer.data());
    count = 0;
    for (ULONG i = 0; i < list->Count; ++i) {
        if (list->Handle[i].OwnerPid == pid) ++count;
    }
    return true;
}

bool CountGdiTable(HANDLE process, unsigned long& count) {
    PROCESS_BASIC_INFORMATION basic = {};
    if (!NT_SUCCESS(NtQueryInformationProcess(process, ProcessBasicInformation, &basic, sizeof basic, nullptr)) ||
        !basic.PebBaseAddress) {
        return false;
    }
    ULONG64 table = 0;
    const auto* where = reinterpret_cast<const char*>(basic.PebBaseAddress) + kPebGdiSharedHandleTable;
    if (!ReadProcessMemory(process, where, &table, sizeof(void*), nullptr) || table == 0) return false;
    std::vector<GdiTableEntry> entries(kGdiTableEntries);
    if (!ReadProcessMemory(process, reinterpret_cast<const void*>(static_cast<uintptr_t>(table)), entries.data(),
                           entries.size() * sizeof(GdiTableEntry), nullptr)) {
        return false;
    }
    count = 0;
    for (const GdiTableEntry& entry : entries) {
        if (entry.type != 0 && (entry.unique & kStockObject) == 0) ++count;
    }
    return true;
}

struct WindowCount {
    DWORD pid;
    unsigned long count;
};

BOOL CALLBACK CountChild(HWND, LPARAM param) {
    ++reinterpret_cast<WindowCount*>(param)->count;
    return TRUE;
}

void CountWindowTree(HWND hwnd, WindowCount& windows) {
    DWORD owner = 0;
    GetWindowThreadProcessId(hwnd, &owner);
    if (owner != windows.pid) return;
    ++windows.count;
    // EnumChildWindows goes down through every level.
    EnumChildWindows(hwnd, CountChild, reinterpret_cast<LPARAM>(&windows));
}

BOOL CALLBACK CountTopLevel(HWND hwnd, LPARAM param) {
    CountWindowTree(hwnd, *reinterpret_cast<WindowCount*>(param));
    return TRUE;
}

unsigned long CountWindows(DWORD pid) {
    WindowCount windows{pid, 0};
    EnumWindows(CountTopLevel, reinterpret_cast<LPARAM>(&windows));
    // EnumWindows leaves out message-only windows.
    HWND hwnd = nullptr;
    while ((hwnd = FindWindowExA(HWND_MESSAGE, hwnd, nullptr, nullptr)) != nullptr) {
        CountWindowTree(hwnd, windows);
    }
    return windows.count;
}

}  // namespace

bool ReadProcessResources(DWORD pid, ProcessResources& out, std::string& error) {
    const OwnedHandle process(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid));
    if (!process.Valid()) {
        error = "cannot open process " + std::to_string(pid) + " (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    out = ProcessResources{};
    bool ok = CountHandles(process.Get(), pid, out.handles, error);

    out.gdi_objects = GetGuiResources(process.Get(), GR_GDIOBJECTS);
    out.gdi_known = out.gdi_objects > 0 || CountGdiTable(process.Get(), out.gdi_objects);

    out.user_objects = GetGuiResources(process.Get(), GR_USEROBJECTS);
    if (out.user_objects == 0) {
        out.user_counts_windows = true;
        out.user_objects = CountWindows(pid);
    }

    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof memory;
    if (ok && !GetProcessMemoryInfo(process.Get(), &memory, sizeof memory)) {
        error = "cannot read the memory counters (error " + std::to_string(GetLastError()) + ")";
        ok = false;
    }
    out.working_set = memory.WorkingSetSize;
    out.commit = memory.PagefileUsage;
    return ok;
}
