#include "host_file_info.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

constexpr uint64_t kUnixEpochInFileTime = 116444736000000000ull;  // 1970-01-01 in 100 ns since 1601
constexpr uint64_t kTicksPerSecond = 10000000;
constexpr uint32_t kReadOnly = 0x1;
constexpr uint32_t kArchive = 0x20;
constexpr uint32_t kNormal = 0x80;

#ifdef _WIN32
std::wstring Wide(const std::string& path)
{
    // The tool's arguments come in the ANSI code page, as fopen takes them.
    const int n = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
    std::wstring out(n > 0 ? size_t(n) : 1, L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, out.data(), n);
    out.resize(out.size() - 1);
    return out;
}

std::string LastError(const std::string& what, const std::string& path)
{
    return what + " '" + path + "': error " + std::to_string(GetLastError());
}

uint64_t FromFileTime(const FILETIME& time)
{
    return uint64_t(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

FILETIME ToFileTime(uint64_t time)
{
    return FILETIME{static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
}
#else
std::string Errno(const std::string& what, const std::string& path)
{
    return what + " '" + path + "': " + std::strerror(errno);
}

uint64_t FromUnix(int64_t seconds, long nanoseconds)
{
    return kUnixEpochInFileTime + uint64_t(seconds) * kTicksPerSecond + uint64_t(nanoseconds) / 100;
}
#endif

}  // namespace

#ifdef _WIN32

bool ReadHostFileInfo(const std::string& path, HostFileInfo* info, std::string* error)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data)) {
        *error = LastError("cannot read the attributes of", path);
        return false;
    }
    info->attributes = data.dwFileAttributes;
    info->creationTime = FromFileTime(data.ftCreationTime);
    info->lastWriteTime = FromFileTime(data.ftLastWriteTime);
    return true;
}

bool ApplyHostFileInfo(const std::string& path, const HostFileInfo& info, std::string* error)
{
    const std::wstring wide = Wide(path);
    HANDLE file = CreateFileW(wide.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    const FILETIME creation = ToFileTime(info.creationTime);
    const FILETIME lastWrite = ToFileTime(info.lastWriteTime);
    const bool timesSet = file != INVALID_HANDLE_VALUE && SetFileTime(file, &creation, nullptr, &lastWrite);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    if (!timesSet) {
        *error = LastError("cannot set the times of", path);
        return false;
    }
    if (!SetFileAttributesW(wide.c_str(), info.attributes != 0 ? info.attributes : kNormal)) {
        *error = LastError("cannot set the attributes of", path);
        return false;
    }
    return true;
}

bool FileExists(const std::string& path)
{
    return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool RemoveFile(const std::string& path, std::string* error)
{
    const std::wstring wide = Wide(path);
    SetFileAttributesW(wide.c_str(), kNormal);
    if (DeleteFileW(wide.c_str()))
        return true;
    *error = LastError("cannot delete", path);
    return false;
}

#else

bool ReadHostFileInfo(const std::string& path, HostFileInfo* info, std::string* error)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        *error = Errno("cannot read the attributes of", path);
        return false;
    }
    info->attributes = kArchive | ((st.st_mode & 0222) == 0 ? kReadOnly : 0);
#ifdef __APPLE__
    // macOS names the stat times differently and always has the birth time.
    info->lastWriteTime = FromUnix(st.st_mtimespec.tv_sec, st.st_mtimespec.tv_nsec);
    info->creationTime = FromUnix(st.st_birthtimespec.tv_sec, st.st_birthtimespec.tv_nsec);
#else
    info->lastWriteTime = FromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    info->creationTime = info->lastWriteTime;
#endif
#ifdef STATX_BTIME
    struct statx sx;
    if (statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME, &sx) == 0 && (sx.stx_mask & STATX_BTIME) != 0)
        info->creationTime = FromUnix(sx.stx_btime.tv_sec, long(sx.stx_btime.tv_nsec));
#endif
    return true;
}

bool ApplyHostFileInfo(const std::string& path, const HostFileInfo& info, std::string* error)
{
    // Times before 1970 cannot be given to utimensat portably: they stay.
    if (info.lastWriteTime >= kUnixEpochInFileTime) {
        const uint64_t ticks = info.lastWriteTime - kUnixEpochInFileTime;
        struct timespec times[2];
        times[0].tv_sec = 0;
        times[0].tv_nsec = UTIME_NOW;
        times[1].tv_sec = static_cast<time_t>(ticks / kTicksPerSecond);
        times[1].tv_nsec = static_cast<long>(ticks % kTicksPerSecond) * 100;
        if (utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) {
            *error = Errno("cannot set the times of", path);
            return false;
        }
    }
    if ((info.attributes & kReadOnly) != 0) {
        struct stat st;
        if (stat(path.c_str(), &st) != 0 || chmod(path.c_str(), st.st_mode & ~mode_t(0222)) != 0) {
            *error = Errno("cannot make read-only", path);
            return false;
        }
    }
    return true;
}

bool FileExists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

bool RemoveFile(const std::string& path, std::string* error)
{
    if (std::remove(path.c_str()) == 0)
        return true;
    *error = Errno("cannot delete", path);
    return false;
}

#endif

std::string FormatFileTime(uint64_t fileTime)
{
    if (fileTime < kUnixEpochInFileTime)
        return "before 1970 (" + std::to_string(fileTime) + ")";
    const time_t seconds = static_cast<time_t>((fileTime - kUnixEpochInFileTime) / kTicksPerSecond);
    std::tm utc{};
#ifdef _WIN32
    if (gmtime_s(&utc, &seconds) != 0)
        return std::to_string(fileTime);
#else
    if (gmtime_r(&seconds, &utc) == nullptr)
        return std::to_string(fileTime);
#endif
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &utc);
    return text;
}
