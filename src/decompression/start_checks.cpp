#include "decompression/start_checks.h"

#include <commdlg.h>

#include "base/container_name.h"
#include "container/job_constants.h"

namespace {

// Longest path the program takes from its command line; one unit of the
// 260-unit buffer stays for the terminator.
constexpr size_t kMaxPath = kPathUnits - 1;

}  // namespace

bool IsSupportedSystem(bool ok, DWORD platformId, DWORD major, DWORD minor)
{
    if (!ok || platformId != VER_PLATFORM_WIN32_NT)
        return false;
    return major == 5 || (major == 6 && (minor == 0 || minor == 1));
}

bool IsSupportedSystem()
{
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    bool ok = ::GetVersionExW(&version) != FALSE;
    return IsSupportedSystem(ok, version.dwPlatformId, version.dwMajorVersion, version.dwMinorVersion);
}

CommandLinePath ReadCommandLinePath(const std::wstring& commandText, int argumentCount)
{
    if (commandText.empty())
        return {PathSource::FileDialog, std::wstring(), std::wstring()};
    if (argumentCount > 2)
        return {PathSource::Ignored, std::wstring(), std::wstring()};

    const bool quoted = commandText.size() >= 2 && commandText.front() == L'"' && commandText.back() == L'"';
    std::wstring path = quoted ? commandText.substr(1, commandText.size() - 2) : commandText;
    if (path.size() > kMaxPath) {
        // The quoted form is shown from behind its opening quote, with the
        // closing one.
        std::wstring shown = quoted ? commandText.substr(1) : commandText;
        return {PathSource::TooLong, std::wstring(), shown};
    }
    return {PathSource::Path, path, std::wstring()};
}

bool IsContainerPath(const std::wstring& path)
{
    DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    return HasContainerExtension(path.c_str());
}

bool AskForContainer(std::wstring& path)
{
    wchar_t file[kPathUnits] = {};
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = nullptr;
    ofn.lpstrFilter = L"Tandrel Files(*.tdz)\0*.tdz\0";
    ofn.lpstrFile = file;
    ofn.nMaxFile = kPathUnits;
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER;
    if (!::GetOpenFileNameW(&ofn))
        return false;
    path = file;
    return true;
}
