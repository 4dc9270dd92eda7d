// What a container keeps of a file besides its bytes, as far as the host has
// it: Windows attributes and both time stamps on Windows; elsewhere the
// read-only bit (no write permission), archive, and the birth time where the
// file system reports one (else the modification time).
#pragma once

#include <cstdint>
#include <string>

struct HostFileInfo {
    uint32_t attributes = 0;
    uint64_t creationTime = 0;   // 100 ns since 1601-01-01 UTC
    uint64_t lastWriteTime = 0;
};

[[nodiscard]] bool ReadHostFileInfo(const std::string& path, HostFileInfo* info, std::string* error);

// Sets what the host can set: the last-write time (and on Windows the
// creation time and the attributes; elsewhere read-only becomes no write
// permission).
[[nodiscard]] bool ApplyHostFileInfo(const std::string& path, const HostFileInfo& info, std::string* error);

[[nodiscard]] bool FileExists(const std::string& path);

// Deletes a file, read-only or not.
[[nodiscard]] bool RemoveFile(const std::string& path, std::string* error);

// "2010-02-14 00:00:00 UTC" for a file time.
[[nodiscard]] std::string FormatFileTime(uint64_t fileTime);
