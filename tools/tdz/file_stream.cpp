#include "file_stream.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

constexpr char kStdName[] = "-";

// The C runtime of Windows opens the standard streams in text mode, which
// would turn 0x0A into 0x0D 0x0A and stop reading at 0x1A.
void SetBinaryMode(std::FILE* stream)
{
#ifdef _WIN32
    _setmode(_fileno(stream), _O_BINARY);
#else
    (void)stream;
#endif
}

std::string Describe(const std::string& what, const std::string& path, int err)
{
    return what + " '" + path + "': " + std::strerror(err);
}

}  // namespace

InputFile::~InputFile()
{
    if (owned_ && file_ != nullptr)
        std::fclose(file_);
}

bool InputFile::Open(const std::string& path)
{
    path_ = path;
    if (path == kStdName) {
        file_ = stdin;
        SetBinaryMode(file_);
        return true;
    }
#ifdef _WIN32
    file_ = std::fopen(path.c_str(), "rb");
    if (file_ == nullptr) {
        error_ = Describe("cannot open", path, errno);
        return false;
    }
    owned_ = true;
    return true;
#else
    // A named pipe is read like the standard input; without a writer it
    // reads as empty instead of waiting for one.
    return OpenWithoutWaiting(path, true);
#endif
}

bool InputFile::OpenRegularFile(const std::string& path)
{
    path_ = path;
#ifdef _WIN32
    const std::string notRegular = "'" + path + "' is not a regular file";
    const int fd = _open(path.c_str(), _O_RDONLY | _O_BINARY);
    if (fd < 0) {
        error_ = Describe("cannot open", path, errno);
        return false;
    }
    struct _stat64 st;
    if (_fstat64(fd, &st) != 0 || (st.st_mode & _S_IFMT) != _S_IFREG) {
        error_ = notRegular;
        _close(fd);
        return false;
    }
    file_ = _fdopen(fd, "rb");
    if (file_ == nullptr) {
        error_ = Describe("cannot open", path, errno);
        _close(fd);
        return false;
    }
    owned_ = true;
    return true;
#else
    return OpenWithoutWaiting(path, false);
#endif
}

#ifndef _WIN32
bool InputFile::OpenWithoutWaiting(const std::string& path, bool pipesToo)
{
    // Opening a FIFO without a writer would wait for one, forever: the
    // open does not wait, and only a regular file (or a pipe, if asked
    // for) gets past it.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        error_ = Describe("cannot open", path, errno);
        return false;
    }
    struct stat st;
    const bool statted = ::fstat(fd, &st) == 0;
    if (!statted || !(S_ISREG(st.st_mode) || (pipesToo && S_ISFIFO(st.st_mode)))) {
        error_ = "'" + path + "' is not a regular file" + (pipesToo ? " or a pipe" : "");
        ::close(fd);
        return false;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        error_ = Describe("cannot open", path, errno);
        ::close(fd);
        return false;
    }
    file_ = fdopen(fd, "rb");
    if (file_ == nullptr) {
        error_ = Describe("cannot open", path, errno);
        ::close(fd);
        return false;
    }
    owned_ = true;
    return true;
}
#endif

bool InputFile::KnownSize(uint64_t* size) const
{
    if (!owned_)
        return false;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path_, ec))
        return false;
    const auto bytes = std::filesystem::file_size(path_, ec);
    if (ec)
        return false;
    *size = bytes;
    return true;
}

size_t InputFile::Read(uint8_t* buf, size_t cap)
{
    const size_t n = std::fread(buf, 1, cap, file_);
    if (n < cap && std::ferror(file_)) {
        failed_ = true;
        error_ = Describe("cannot read", path_, errno);
    }
    return n;
}

OutputFile::~OutputFile()
{
    Discard();
}

bool OutputFile::Open(const std::string& path)
{
    path_ = path;
    if (path == kStdName) {
        file_ = stdout;
        SetBinaryMode(file_);
        return true;
    }
    // The temporary output is always a new file: a file (or a symbolic
    // link) at its name is never opened. When "NAME.tmp" is taken or too
    // long, a free short name in the same folder is used.
    const size_t slash = path.find_last_of("/\\");
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::random_device seed;
    std::mt19937 random(seed());
    int lastError = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (attempt == 0) {
            tempPath_ = path + ".tmp";
        } else {
            char name[32];
            std::snprintf(name, sizeof name, ".tdz-%08x.tmp", static_cast<unsigned>(random()));
            tempPath_ = folder + name;
        }
#ifdef _WIN32
        const int fd = _open(tempPath_.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, 0666);
#else
        const int fd = ::open(tempPath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
#endif
        if (fd < 0) {
            lastError = errno;
            if (lastError == EEXIST || lastError == ENAMETOOLONG || lastError == ELOOP)
                continue;
            break;
        }
#ifdef _WIN32
        file_ = _fdopen(fd, "wb");
#else
        file_ = fdopen(fd, "wb");
#endif
        if (file_ == nullptr) {
            lastError = errno;
#ifdef _WIN32
            _close(fd);
#else
            ::close(fd);
#endif
            std::remove(tempPath_.c_str());
            break;
        }
        owned_ = true;
        return true;
    }
    error_ = Describe("cannot create", path + ".tmp", lastError);
    return false;
}

bool OutputFile::Write(const uint8_t* buf, size_t len)
{
    if (std::fwrite(buf, 1, len, file_) == len)
        return true;
    error_ = Describe("cannot write", owned_ ? tempPath_ : path_, errno);
    return false;
}

bool OutputFile::Close()
{
    if (!owned_ || file_ == nullptr)
        return true;
    const int closed = std::fclose(file_);
    file_ = nullptr;
    if (closed != 0) {
        error_ = Describe("cannot write", tempPath_, errno);
        Discard();
        return false;
    }
    return true;
}

bool OutputFile::Commit()
{
    if (!owned_) {
        if (std::fflush(file_) != 0) {
            error_ = Describe("cannot write", path_, errno);
            return false;
        }
        return true;
    }
    if (!Close())
        return false;
    // std::filesystem::rename replaces an existing file on Windows too,
    // where std::rename refuses to.
    std::error_code ec;
    std::filesystem::rename(tempPath_, path_, ec);
    if (ec) {
        error_ = "cannot rename '" + tempPath_ + "' to '" + path_ + "': " + ec.message();
        Discard();
        return false;
    }
    owned_ = false;
    return true;
}

void OutputFile::Discard()
{
    if (!owned_)
        return;
    if (file_ != nullptr)
        std::fclose(file_);
    file_ = nullptr;
#ifdef _WIN32
    // Its attributes may already be set, read-only among them.
    _chmod(tempPath_.c_str(), _S_IREAD | _S_IWRITE);
#endif
    std::remove(tempPath_.c_str());
    owned_ = false;
}
