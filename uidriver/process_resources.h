// What another process holds of the system's resources, so that a soak can see whether the
// program leaks. Under Wine 8 the usual calls answer nothing (GetProcessHandleCount gives 0,
// GetGuiResources is a stub), so each count falls back on what Wine does expose.
#pragma once

#include <windows.h>

#include <string>

struct ProcessResources {
    unsigned long handles = 0;  // kernel handles
    // GDI objects other than the stock ones; unknown when neither GetGuiResources nor the
    // process's GDI handle table answers.
    bool gdi_known = false;
    unsigned long gdi_objects = 0;
    // USER objects as GetGuiResources counts them or, where it gives nothing, the process's
    // windows: top-level, message-only and every child.
    bool user_counts_windows = false;
    unsigned long user_objects = 0;
    SIZE_T working_set = 0;  // bytes
    // Committed private memory, bytes: the commit charge, which Wine also gives for another
    // process (its PrivateUsage stays 0 there).
    SIZE_T commit = 0;
};

bool ReadProcessResources(DWORD pid, ProcessResources& out, std::string& error);
