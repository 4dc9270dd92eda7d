#define FUSE_USE_VERSION 31
#include "mount_command.h"

#include <fuse.h>

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "mount_operations.h"
#include "report.h"

namespace {

constexpr char kMount[] = "mount";
constexpr char kUmount[] = "umount";
// The kernel keeps what was read in its page cache too; this cache serves
// reads the page cache no longer holds, and a large one costs the first
// pass a page fault for every page it fills.
constexpr uint64_t kDefaultCacheMegabytes = 16;
constexpr uint64_t kMaxCacheMegabytes = uint64_t(1) << 20;

struct MountRequest {
    bool foreground = false;
    bool readOnly = false;
    uint64_t cacheMegabytes = kDefaultCacheMegabytes;
    std::string source;
    std::string mountPoint;
};

int Misuse(const std::string& message)
{
    std::fprintf(stderr, "tdz: mount: %s (usage: tdz mount [-o ro,cache=MB,fg] SOURCE MOUNTPOINT)\n",
                 message.c_str());
    return kExitUsage;
}

bool ParseOptions(const std::string& list, MountRequest* request, std::string* error)
{
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(',', start);
        if (end == std::string::npos)
            end = list.size();
        const std::string option = list.substr(start, end - start);
        if (option == "ro") {
            request->readOnly = true;
        } else if (option == "fg") {
            request->foreground = true;
        } else if (option.compare(0, 6, "cache=") == 0 && option.size() > 6 &&
                   option.find_first_not_of("0123456789", 6) == std::string::npos && option.size() <= 6 + 7) {
            request->cacheMegabytes = std::stoull(option.substr(6));
            if (request->cacheMegabytes > kMaxCacheMegabytes) {
                *error = "cache=" + option.substr(6) + " is more than " + std::to_string(kMaxCacheMegabytes);
                return false;
            }
        } else {
            *error = "unknown option '" + option + "'";
            return false;
        }
        start = end + 1;
    }
    return true;
}

// The real path of an existing folder, or empty with *error set.
std::string RealFolder(const std::string& path, std::string* error)
{
    char resolved[PATH_MAX];
    struct stat st;
    if (realpath(path.c_str(), resolved) == nullptr || stat(resolved, &st) != 0) {
        *error = "'" + path + "': " + std::strerror(errno);
        return "";
    }
    if (!S_ISDIR(st.st_mode)) {
        *error = "'" + path + "' is not a folder";
        return "";
    }
    return resolved;
}

// fsname is parsed as a list of options: its commas and backslashes are
// escaped.
std::string EscapedOption(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        if (c == ',' || c == '\\')
            out += '\\';
        out += c;
    }
    return out;
}

int Mount(const MountRequest& request)
{
    std::string error;
    const std::string source = RealFolder(request.source, &error);
    if (source.empty())
        return ReportFailure(kMount, error);
    const std::string mountPoint = RealFolder(request.mountPoint, &error);
    if (mountPoint.empty())
        return ReportFailure(kMount, error);
    // The daemon would look up its own mount through the source and wait on
    // itself for ever.
    if (mountPoint == source || (mountPoint.compare(0, source.size(), source) == 0 &&
                                 (source == "/" || mountPoint[source.size()] == '/')))
        return ReportFailure(kMount, "the mount point '" + request.mountPoint + "' lies inside the source '" +
                                         request.source + "'");

    MountSettings settings;
    settings.source = source;
    settings.cacheBytes = request.cacheMegabytes << 20;
    settings.readOnly = request.readOnly;
    MountFileSystem* fileSystem = NewMountFileSystem(settings, &error);
    if (fileSystem == nullptr)
        return ReportFailure(kMount, error);

    fuse_args args = FUSE_ARGS_INIT(0, nullptr);
    const std::string names = "fsname=" + EscapedOption("tdz:" + source);
    const bool argsOk = fuse_opt_add_arg(&args, "tdz") == 0 && fuse_opt_add_arg(&args, "-o") == 0 &&
                        fuse_opt_add_arg(&args, request.readOnly ? "ro,default_permissions,subtype=tdz"
                                                                 : "default_permissions,subtype=tdz") == 0 &&
                        fuse_opt_add_arg(&args, "-o") == 0 && fuse_opt_add_arg(&args, names.c_str()) == 0;
    fuse* f = argsOk ? fuse_new(&args, &MountOperations(request.readOnly), sizeof(fuse_operations), fileSystem) : nullptr;
    fuse_opt_free_args(&args);
    if (f == nullptr) {
        DeleteMountFileSystem(fileSystem);
        return ReportFailure(kMount, "FUSE refused the mount's settings");
    }
    if (fuse_mount(f, mountPoint.c_str()) != 0) {
        fuse_destroy(f);
        DeleteMountFileSystem(fileSystem);
        return ReportFailure(kMount, "cannot mount on '" + request.mountPoint +
                                         "' (is /dev/fuse there and may this user use it?)");
    }
    fuse_session* session = fuse_get_session(f);
    int status = kExitFailure;
    if (fuse_set_signal_handlers(session) == 0) {
        // Daemonising sends stderr to /dev/null; damaged containers are still
        // to be reported where the user asked for the mount.
        const int savedError = dup(STDERR_FILENO);
        const int daemonised = fuse_daemonize(request.foreground ? 1 : 0);
        if (savedError >= 0) {
            dup2(savedError, STDERR_FILENO);
            close(savedError);
        }
        if (daemonised == 0 && fuse_loop_mt(f, 0) == 0)
            status = kExitOk;
        fuse_remove_signal_handlers(session);
    }
    fuse_unmount(f);
    fuse_destroy(f);
    DeleteMountFileSystem(fileSystem);
    return status;
}

}  // namespace

int RunMountArguments(const std::vector<std::string>& args)
{
    MountRequest request;
    std::vector<std::string> operands;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        std::string error;
        if (arg == "-o" || (arg.compare(0, 2, "-o") == 0 && arg.size() > 2)) {
            if (arg == "-o" && ++i == args.size())
                return Misuse("-o needs a list of options");
            if (!ParseOptions(arg == "-o" ? args[i] : arg.substr(2), &request, &error))
                return Misuse(error);
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Misuse("unknown option '" + arg + "'");
        } else {
            operands.push_back(arg);
        }
    }
    if (operands.size() != 2)
        return Misuse("a source folder and a mount point are needed");
    request.source = operands[0];
    request.mountPoint = operands[1];
    return Mount(request);
}

bool AsksForMountHelp(int argc, char** argv)
{
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0)
            return true;
    }
    return false;
}

int RunMountCommand(const CommandLine& line)
{
    return RunMountArguments(line.operands);
}

int RunUmountCommand(const CommandLine& line)
{
    const std::vector<std::string>& args = line.operands;
#ifdef __APPLE__
    const char* const argv[] = {"umount", args[0].c_str(), nullptr};
#else
    const char* const argv[] = {"fusermount3", "-u", args[0].c_str(), nullptr};
#endif
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0)
        return ReportFailure(kUmount, std::string("cannot start ") + argv[0] + ": " + std::strerror(errno));
    if (child == 0) {
        execvp(argv[0], const_cast<char* const*>(argv));
        std::fprintf(stderr, "tdz: umount: cannot start %s: %s\n", argv[0], std::strerror(errno));
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            return ReportFailure(kUmount, std::string("waiting for ") + argv[0] + ": " + std::strerror(errno));
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return kExitOk;
    return ReportFailure(kUmount, "'" + args[0] + "' is still mounted (a file in it may be open)");
}
