// Stands in for the tray program in the shell-extension tests: records the
// command line it was started with in a file of its own under the folder
// named by TDZ_RECORD_DIR, then ends.
#include <windows.h>

#include <string>

int wmain() {
    wchar_t dir[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"TDZ_RECORD_DIR", dir, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 2;
    const std::wstring name = std::wstring(dir) + L"\\" + std::to_wstring(GetCurrentProcessId());
    const std::wstring temp = name + L".tmp";
    const wchar_t* commandLine = GetCommandLineW();

    HANDLE file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 3;
    DWORD written = 0;
    const DWORD bytes = static_cast<DWORD>(lstrlenW(commandLine) * sizeof(wchar_t));
    const BOOL ok = WriteFile(file, commandLine, bytes, &written, nullptr) && written == bytes;
    CloseHandle(file);
    // Appears under its final name only once complete.
    if (!ok || !MoveFileExW(temp.c_str(), (name + L".txt").c_str(), MOVEFILE_REPLACE_EXISTING)) return 4;
    return 0;
}
