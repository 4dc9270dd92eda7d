#include "container_commands.h"

#include <cstdio>

#include "container/container_header.h"
#include "container_streams.h"
#include "file_stream.h"
#include "host_file_info.h"
#include "report.h"
#include "stream_io.h"

namespace {

constexpr char kExtension[] = ".tdz";

// What reading a whole container found.
struct ContainerCheck {
    bool ok = false;
    bool headerRead = false;
    bool sinkRefused = false;    // the sink given to CheckContainer refused bytes
    std::string error;
    ContainerHeader header{};
    uint64_t streamLength = 0;
    uint32_t storedChecksum = 0;
    uint32_t computedChecksum = 0;
};

// Reports one file's failure; the command goes on with the next file.
bool Fail(const char* command, const std::string& message)
{
    ReportFailure(command, message);
    return false;
}

std::string Damaged(const std::string& why)
{
    return "damaged container: " + why;
}

// Reads the header, decodes exactly the stream's length into restored (may
// be null), and checks the end marker, the size and the checksum.
ContainerCheck CheckContainer(const std::string& path, ByteSink* restored)
{
    ContainerCheck check;
    InputFile in;
    if (!in.OpenRegularFile(path)) {
        check.error = in.Error();
        return check;
    }
    uint64_t size = 0;
    if (!in.KnownSize(&size)) {
        check.error = "'" + path + "' is not a regular file";
        return check;
    }
    uint8_t bytes[kContainerHeaderSize];
    if (size < kContainerHeaderSize || in.Read(bytes, sizeof bytes) != sizeof bytes) {
        check.error = in.Failed() ? in.Error() : "not a container: fewer than 56 bytes";
        return check;
    }
    check.header = DecodeContainerHeader(bytes);
    if (!HasContainerMagic(check.header)) {
        check.error = "not a container: the first 16 bytes are not \"" + std::string(kContainerMagic) + "\"";
        return check;
    }
    check.headerRead = true;
    if (size < kContainerOverhead) {
        check.error = Damaged("no room for the checksum");
        return check;
    }
    check.streamLength = size - kContainerOverhead;

    LimitedSource stream(in, check.streamLength);
    SummingSink sink(restored);
    const StreamResult result = DecodeRelcStream(stream, sink);
    const std::string at = " at stream offset " + std::to_string(result.inputOffset);
    switch (result.status) {
    case StreamStatus::Ok:
        break;
    case StreamStatus::ReadFailed:
        check.error = in.Error();
        return check;
    case StreamStatus::WriteFailed:
        check.sinkRefused = true;
        return check;
    case StreamStatus::Corrupt:
        check.error = Damaged("corrupt stream" + at);
        return check;
    case StreamStatus::TrailingData:
        check.error = Damaged("bytes between the end-of-stream marker and the checksum" + at);
        return check;
    case StreamStatus::Truncated:
    case StreamStatus::Stalled:
        check.error = Damaged("the stream ends without its end-of-stream marker" + at);
        return check;
    case StreamStatus::EmptyInput:
    case StreamStatus::SizeChanged:
        check.error = Damaged("unreadable stream" + at);
        return check;
    }
    if (sink.Count() != check.header.sourceSize) {
        check.error = Damaged(std::to_string(sink.Count()) + " bytes restored, the header says " +
                              std::to_string(check.header.sourceSize));
        return check;
    }
    uint8_t stored[kContainerChecksumSize];
    if (in.Read(stored, sizeof stored) != sizeof stored) {
        check.error = in.Failed() ? in.Error() : Damaged("the checksum is missing");
        return check;
    }
    check.storedChecksum = DecodeChecksum(stored);
    check.computedChecksum = sink.Sum();
    if (check.storedChecksum != check.computedChecksum) {
        char text[96];
        std::snprintf(text, sizeof text, "checksum 0x%08X stored, 0x%08X computed", check.storedChecksum,
                      check.computedChecksum);
        check.error = Damaged(text);
        return check;
    }
    check.ok = true;
    return check;
}

// Re-reads path and compares its size and byte sum with what is expected.
bool ReadsBackAs(const std::string& path, uint64_t size, uint32_t sum, std::string* error)
{
    InputFile in;
    if (!in.OpenRegularFile(path)) {
        *error = in.Error();
        return false;
    }
    SummingSource summed(in);
    uint8_t chunk[65536];
    while (summed.Read(chunk, sizeof chunk) == sizeof chunk) {
    }
    if (in.Failed()) {
        *error = in.Error();
        return false;
    }
    if (summed.Count() != size || summed.Sum() != sum) {
        *error = "'" + path + "' does not read back as written";
        return false;
    }
    return true;
}

// Whether containerPath holds exactly the bytes of path: its stream, size
// and checksum hold and decode to path's bytes, no more and no fewer.
bool GivesBack(const std::string& containerPath, const std::string& path, std::string* why)
{
    InputFile reference;
    if (!reference.OpenRegularFile(path)) {
        *why = reference.Error();
        return false;
    }
    ComparingSink compare(reference);
    const ContainerCheck check = CheckContainer(containerPath, &compare);
    uint8_t extra = 0;
    if (check.ok && !compare.Differs() && reference.Read(&extra, 1) == 0 && !reference.Failed())
        return true;
    *why = "'" + containerPath + "' does not give back '" + path + "' (" +
           (check.error.empty() ? "other bytes" : check.error) + ")";
    return false;
}

bool EndsWithContainerExtension(const std::string& path)
{
    const size_t n = sizeof kExtension - 1;
    if (path.size() <= n)
        return false;
    for (size_t i = 0; i < n; ++i) {
        char c = path[path.size() - n + i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != kExtension[i])
            return false;
    }
    const char before = path[path.size() - n - 1];
    return before != '/' && before != '\\';
}

bool PackOne(const std::string& path, bool replace)
{
    constexpr char kCommand[] = "pack";
    const std::string containerPath = path + kExtension;
    std::string error;
    if (FileExists(containerPath)) {
        // A run ended between writing the container and deleting its
        // source leaves both: the source goes once the container is proven
        // to hold it.
        if (replace && GivesBack(containerPath, path, &error)) {
            if (!RemoveFile(path, &error))
                return Fail(kCommand, error);
            return true;
        }
        return Fail(kCommand, "'" + containerPath + "' exists; remove it first");
    }
    InputFile in;
    if (!in.OpenRegularFile(path))
        return Fail(kCommand, in.Error());
    uint64_t size = 0;
    if (!in.KnownSize(&size))
        return Fail(kCommand, "'" + path + "' is not a regular file");
    if (size == 0)
        return Fail(kCommand, "'" + path + "' is empty: relc cannot encode 0 bytes");
    HostFileInfo info;
    if (!ReadHostFileInfo(path, &info, &error))
        return Fail(kCommand, error);

    ContainerHeader header = NewContainerHeader();
    header.attributes = info.attributes;
    header.sourceSize = size;
    header.creationTime = info.creationTime;
    header.lastWriteTime = info.lastWriteTime;
    uint8_t headerBytes[kContainerHeaderSize];
    EncodeContainerHeader(header, headerBytes);

    OutputFile out;
    if (!out.Open(containerPath) || !out.Write(headerBytes, sizeof headerBytes))
        return Fail(kCommand, out.Error());
    SummingSource summed(in);
    const StreamResult result = EncodeRelcStream(summed, size, out);
    if (result.status != StreamStatus::Ok) {
        const std::string why = result.status == StreamStatus::WriteFailed ? out.Error()
                                : result.status == StreamStatus::ReadFailed
                                    ? in.Error()
                                    : "'" + path + "' changed while being read";
        return Fail(kCommand, why);
    }
    uint8_t checksum[kContainerChecksumSize];
    EncodeChecksum(summed.Sum(), checksum);
    if (!out.Write(checksum, sizeof checksum) || !out.Commit())
        return Fail(kCommand, out.Error());
    if (!replace)
        return true;

    // The source goes only once its container gives back every byte of it.
    if (!GivesBack(containerPath, path, &error))
        return Fail(kCommand, error + "; '" + path + "' kept");
    if (!RemoveFile(path, &error))
        return Fail(kCommand, error);
    return true;
}

bool UnpackOne(const std::string& containerPath, bool replace)
{
    constexpr char kCommand[] = "unpack";
    if (!EndsWithContainerExtension(containerPath))
        return Fail(kCommand, "'" + containerPath + "' does not end with " + kExtension);
    const std::string target = containerPath.substr(0, containerPath.size() - (sizeof kExtension - 1));
    std::string error;
    if (FileExists(target)) {
        // A run ended between giving the file its name and deleting the
        // container leaves both: the container goes once the file is proven
        // to hold what it does.
        if (replace && GivesBack(containerPath, target, &error)) {
            if (!RemoveFile(containerPath, &error))
                return Fail(kCommand, error);
            return true;
        }
        return Fail(kCommand, "'" + target + "' exists; remove it first");
    }

    OutputFile out;
    if (!out.Open(target))
        return Fail(kCommand, out.Error());
    const ContainerCheck check = CheckContainer(containerPath, &out);
    if (!check.ok)
        return Fail(kCommand, check.sinkRefused ? out.Error() : "'" + containerPath + "': " + check.error);
    if (!out.Close())
        return Fail(kCommand, out.Error());

    // The times and attributes are set before the file gets its name, so
    // that a file under the final name is always complete.
    HostFileInfo info;
    info.attributes = check.header.attributes;
    info.creationTime = check.header.creationTime;
    info.lastWriteTime = check.header.lastWriteTime;
    if (!ApplyHostFileInfo(out.TempPath(), info, &error))
        return Fail(kCommand, error);
    if (!out.Commit())
        return Fail(kCommand, out.Error());
    if (!replace)
        return true;
    if (!ReadsBackAs(target, check.header.sourceSize, check.storedChecksum, &error))
        return Fail(kCommand, error + "; '" + containerPath + "' kept");
    if (!RemoveFile(containerPath, &error))
        return Fail(kCommand, error);
    return true;
}

std::string DescribeAttributes(uint32_t attributes)
{
    static const struct {
        uint32_t bit;
        const char* name;
    } kNames[] = {{0x1, "read-only"}, {0x2, "hidden"}, {0x4, "system"}, {0x10, "directory"}, {0x20, "archive"},
                  {0x80, "normal"}, {0x100, "temporary"}, {0x1000, "offline"}, {0x2000, "not indexed"}};
    std::string text;
    for (const auto& entry : kNames) {
        if ((attributes & entry.bit) != 0)
            text += (text.empty() ? "" : ", ") + std::string(entry.name);
    }
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", attributes);
    return text.empty() ? hex : std::string(hex) + " (" + text + ")";
}

bool TestOne(const std::string& containerPath)
{
    const ContainerCheck check = CheckContainer(containerPath, nullptr);
    std::printf("%s: %s\n", containerPath.c_str(), check.ok ? "ok" : check.error.c_str());
    if (check.headerRead) {
        const ContainerHeader& h = check.header;
        std::printf("  magic          %.16s\n", reinterpret_cast<const char*>(h.magic));
        std::printf("  header size    %u\n", h.headerSize);
        std::printf("  attributes     %s\n", DescribeAttributes(h.attributes).c_str());
        std::printf("  source size    %llu bytes\n", static_cast<unsigned long long>(h.sourceSize));
        std::printf("  created        %s\n", FormatFileTime(h.creationTime).c_str());
        std::printf("  last written   %s\n", FormatFileTime(h.lastWriteTime).c_str());
        std::printf("  stream         %llu bytes\n", static_cast<unsigned long long>(check.streamLength));
        if (check.ok)
            std::printf("  checksum       0x%08X\n", check.storedChecksum);
    }
    if (!check.ok)
        std::fprintf(stderr, "tdz: test: '%s': %s\n", containerPath.c_str(), check.error.c_str());
    return check.ok;
}

int RunForEach(const std::vector<std::string>& paths, bool (*one)(const std::string&, bool), bool replace)
{
    int status = kExitOk;
    for (const std::string& path : paths) {
        if (!one(path, replace))
            status = kExitFailure;
    }
    return status;
}

}  // namespace

int RunPackCommand(const std::vector<std::string>& files, bool replace)
{
    return RunForEach(files, PackOne, replace);
}

int RunUnpackCommand(const std::vector<std::string>& containers, bool replace)
{
    return RunForEach(containers, UnpackOne, replace);
}

int RunTestCommand(const std::vector<std::string>& containers)
{
    return RunForEach(containers, [](const std::string& path, bool) { return TestOne(path); }, false);
}
