#include "app/command_line.h"

#include <cwchar>

namespace {

constexpr size_t kSwitchLength = 3;
constexpr size_t kWaitSwitchLength = 12;

bool StartsWith(const wchar_t* text, const wchar_t* prefix, size_t length)
{
    return text && std::wcsncmp(text, prefix, length) == 0;
}

}  // namespace

FileCommand ReadFileCommand(const wchar_t* tail)
{
    if (StartsWith(tail, L"-c ", kSwitchLength))
        return FileCommand::kCompress;
    if (StartsWith(tail, L"-d ", kSwitchLength))
        return FileCommand::kDecompress;
    if (StartsWith(tail, L"-o ", kSwitchLength))
        return FileCommand::kDecompressAndOpen;
    return FileCommand::kNone;
}

bool ReadCommandPath(const wchar_t* tail, wchar_t (&path)[MAX_PATH])
{
    path[0] = L'\0';
    if (!tail || std::wcslen(tail) < kSwitchLength)
        return false;
    const wchar_t* text = tail + kSwitchLength;
    size_t length = std::wcslen(text);
    // The opening and the closing quote must be two characters: "-c \"" is
    // a path of one quote.
    const bool quoted = length >= 2 && text[0] == L'"' && text[length - 1] == L'"';
    if (quoted) {
        ++text;
        --length;  // the closing quote still counts towards the limit
    }
    if (length > kMaxCommandPath)
        return false;
    if (quoted)
        --length;
    std::wmemcpy(path, text, length);
    path[length] = L'\0';
    return true;
}

WaitSwitch ReadWaitSwitch(const wchar_t* tail)
{
    if (StartsWith(tail, L"-startiwait ", kWaitSwitchLength))
        return WaitSwitch::kInstall;
    if (StartsWith(tail, L"-startuwait ", kWaitSwitchLength))
        return WaitSwitch::kUninstalled;
    if (StartsWith(tail, L"-startvwait ", kWaitSwitchLength))
        return WaitSwitch::kRemoval;
    return WaitSwitch::kNone;
}

DWORD ReadPredecessorId(const wchar_t* tail)
{
    if (!tail || std::wcslen(tail) < kWaitSwitchLength)
        return 0;
    const wchar_t* p = tail + kWaitSwitchLength;
    while (*p == L' ')
        ++p;
    unsigned long long id = 0;
    for (; *p >= L'0' && *p <= L'9'; ++p) {
        id = id * 10 + static_cast<unsigned>(*p - L'0');
        if (id > 0xFFFFFFFFull)
            return 0;
    }
    return static_cast<DWORD>(id);
}
