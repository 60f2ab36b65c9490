// The update window's log, in the user's application-data folder.
#include "update/update_log.h"

#include <windows.h>

#include <shlobj.h>

#include <ctime>

#include "winports/owned_handle.h"
#include "winports/pc_name.h"

namespace {

const wchar_t kLogFolder[] = L"\\Q42Update";
const wchar_t kLogFile[] = L"\\updates.jsonl";

const int64_t g_started = static_cast<int64_t>(std::time(nullptr));

// One id for every line of this program start, as one q42flash run gives its lines one.
const std::string& RunIdOfThisStart() {
    static const std::string id = NewRunId(g_started);
    return id;
}

}  // namespace

std::wstring LogFolder() {
    wchar_t app_data[MAX_PATH];
    if (SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, app_data) != S_OK) {
        return L"";
    }
    const std::wstring folder = std::wstring(app_data) + kLogFolder;
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return L"";
    return folder;
}

void AppendToLog(RadioRecord record) {
    const std::wstring folder = LogFolder();
    if (folder.empty()) return;
    record.unix_seconds = static_cast<int64_t>(std::time(nullptr));
    record.run = RunIdOfThisStart();
    record.computer = PcName();
    const std::string line = RecordLine(record);
    // Appended in one write: a line never interleaves with another's, even from a second
    // copy of the program.
    OwnedHandle file(CreateFileW((folder + kLogFile).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return;
    DWORD written = 0;
    if (WriteFile(file.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr)) {
        FlushFileBuffers(file.Get());
    }
}
