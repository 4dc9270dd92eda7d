// What a folder of the source looks like through the mount: a container
// whose header checks out is shown under the name it was made from, every
// other entry under its own name.
//
// Name clashes: when "report.doc" and "report.doc.tdz" are both present the
// real file keeps the name and the container stays visible as
// "report.doc.tdz"; two containers that would restore to one name (a.tdz
// and a.TDZ) both keep their own names. Nothing of the source is ever
// hidden.
//
// Thread-safe. Views are rebuilt when the folder changes and at least once a
// second, so that changes to the source show on file systems whose folder
// times are coarse.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "container/container_header.h"

// Whether a name carries the container extension (".tdz" in any case)
// with something in front of it.
[[nodiscard]] bool HasContainerExtension(const std::string& name);

// Checks what can be checked of a container without decoding it: the magic,
// room for the checksum, and a stream length that can hold the stated size.
// fd is open on a regular file of fileSize bytes.
[[nodiscard]] bool CheckContainerHeader(int fd, uint64_t fileSize, ContainerHeader* header, std::string* why);

struct ViewEntry {
    std::string sourceName;
    bool restored = false;  // a container shown as the file it holds
    ContainerHeader header{};
};

class FolderViews {
public:
    // Called once for each container whose header fails, with its source
    // path and the reason.
    using DamageReport = std::function<void(const std::string& sourcePath, const std::string& why)>;
    // sourceRoot prefixes the paths in reports.
    FolderViews(std::string sourceRoot, DamageReport report)
        : sourceRoot_(std::move(sourceRoot)), report_(std::move(report)) {}

    // The entry that name stands for in the folder at folderPath (open as
    // folderFd, from SourceTree::OpenFolder). 0 or -errno.
    [[nodiscard]] int Lookup(int folderFd, const std::string& folderPath, const std::string& name, ViewEntry* entry);

    // Drops what is known of the folder at folderPath: the mount has just
    // changed it.
    void Forget(const std::string& folderPath);

    // Every name of the folder, in no particular order. 0 or -errno.
    [[nodiscard]] int List(int folderFd, const std::string& folderPath, std::vector<std::string>* names);

private:
    struct View {
        dev_t device = 0;
        ino_t inode = 0;
        int64_t changeNs = 0;
        int64_t builtAtNs = 0;
        std::map<std::string, ViewEntry> entries;  // by shown name
    };
    struct HeaderCheck {
        bool ok = false;
        ContainerHeader header{};
    };
    using FileKey = std::tuple<dev_t, ino_t, off_t, int64_t, int64_t>;

    // With mutex_ held.
    int Current(int folderFd, const std::string& folderPath, View** view);
    int Build(int folderFd, const std::string& folderPath, View* view);
    HeaderCheck CheckOnce(int folderFd, const std::string& name, const struct stat& st, const std::string& sourcePath);

    std::mutex mutex_;
    const std::string sourceRoot_;
    DamageReport report_;
    std::map<std::string, View> views_;         // by folder path
    std::map<FileKey, HeaderCheck> checks_;     // by file identity and version
};

// Nanoseconds of a stat time.
[[nodiscard]] int64_t ModificationNs(const struct stat& st);
[[nodiscard]] int64_t ChangeNs(const struct stat& st);
