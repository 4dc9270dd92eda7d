#include "container_commands.h"

#include <cstdio>
#include <deque>
#include <filesystem>
#include <memory>
#include <set>
#include <system_error>

#include "container/container_header.h"
#include "container_streams.h"
#include "file_attributes.h"
#include "file_stream.h"
#include "file_tree.h"
#include "host_file_info.h"
#include "pack_encoder.h"
#include "progress_line.h"
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
// be null), and checks the end marker, the size and the checksum. With
// showProgress, a long stream shows its progress line.
ContainerCheck CheckContainer(const std::string& path, ByteSink* restored, bool showProgress = false)
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

    ProgressLine progress(showProgress, path, check.streamLength);
    ProgressSource counted(in, progress);
    LimitedSource stream(counted, check.streamLength);
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
    case StreamStatus::Cancelled:
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
    progress.Clear();
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

// Why a file that is not a regular file is refused, with the hint a folder
// deserves.
std::string NotRegular(const InputFile& in, const std::string& path, bool recursive)
{
    std::error_code ec;
    if (!recursive && std::filesystem::is_directory(path, ec))
        return "'" + path + "' is not a regular file (a folder: -r takes its tree)";
    return in.Error();
}

// What may stand at an output's name before it is written: nothing, or with
// force a regular file (or a symbolic link, which the rename replaces, never
// its target) that is not the input itself.
bool OutputNameFree(const std::string& output, const std::string& input, bool force, std::string* why)
{
    std::error_code ec;
    const auto status = std::filesystem::symlink_status(output, ec);
    if (ec || !std::filesystem::exists(status))
        return true;
    if (std::filesystem::equivalent(output, input, ec)) {
        *why = "'" + output + "' is the input itself";
        return false;
    }
    if (!force) {
        *why = "'" + output + "' exists; remove it first or give -f";
        return false;
    }
    if (!std::filesystem::is_regular_file(status) && !std::filesystem::is_symlink(status)) {
        *why = "'" + output + "' exists and is not a regular file; -f replaces only files";
        return false;
    }
    return true;
}

std::string SizesText(uint64_t original, uint64_t container)
{
    char ratio[32] = "-";
    if (original != 0)
        std::snprintf(ratio, sizeof ratio, "%.3f", double(container) / double(original));
    return std::to_string(original) + " -> " + std::to_string(container) + " bytes, ratio " + ratio;
}

// One file of a pack run: the checks and the opening before its stream,
// and after it the checksum, the name, the report and --replace. Begun
// while earlier files of the run are still being coded, so a failure is
// kept until Settle and reported in the order of the files.
class PackTask {
public:
    PackTask(const std::string& path, const CommandLine& line)
        : path_(path), line_(line), containerPath_(line.output.empty() ? path + kExtension : line.output)
    {
    }
    PackTask(const PackTask&) = delete;
    PackTask& operator=(const PackTask&) = delete;

    const std::string& Path() const { return path_; }

    // true with *stream set when there is a stream to code; false when the
    // file is settled without one (failed, or nothing left to do).
    bool Begin(RelcFeedStream* stream)
    {
        std::string error;
        if (FileExists(containerPath_)) {
            // A run ended between writing the container and deleting its
            // source leaves both: the source goes once the container is
            // proven to hold it.
            std::error_code same;
            if (line_.replace && !std::filesystem::equivalent(containerPath_, path_, same) &&
                GivesBack(containerPath_, path_, &error)) {
                return Settled(RemoveFile(path_, &error) ? "" : error);
            }
            if (!OutputNameFree(containerPath_, path_, line_.force, &error))
                return Settled(error);
        }
        if (!in_.OpenRegularFile(path_))
            return Settled(NotRegular(in_, path_, line_.recursive));
        if (!in_.KnownSize(&size_))
            return Settled("'" + path_ + "' is not a regular file");
        if (size_ == 0)
            return Settled("'" + path_ + "' is empty: relc cannot encode 0 bytes");
        HostFileInfo info;
        if (!ReadHostFileInfo(path_, &info, &error))
            return Settled(error);

        ContainerHeader header = NewContainerHeader();
        header.attributes = info.attributes;
        header.sourceSize = size_;
        header.creationTime = info.creationTime;
        header.lastWriteTime = info.lastWriteTime;
        uint8_t headerBytes[kContainerHeaderSize];
        EncodeContainerHeader(header, headerBytes);

        if (containerPath_ == "-" && StdoutIsTerminal())
            return Settled("a container is not written to a terminal; redirect standard output");
        if (!out_.Open(containerPath_) || !out_.Write(headerBytes, sizeof headerBytes))
            return Settled(out_.Error());
        progress_.reset(new ProgressLine(!line_.quiet, path_, size_));
        counted_.reset(new ProgressSource(in_, *progress_));
        stream->in = counted_.get();
        stream->totalSize = size_;
        stream->out = &out_;
        stream->byteSum = &sum_;  // added per block, by the thread that codes it
        return true;
    }

    void Refuse(const std::string& why) { Settled(why); }

    // Reports the failure Begin found; true when there was none.
    bool Settle() const { return error_.empty() || Fail(kCommand, error_); }

    // Ends a file whose stream has ended; false (reported) on failure.
    bool Finish(const StreamResult& result)
    {
        progress_->Clear();
        if (result.status != StreamStatus::Ok) {
            const std::string why = result.status == StreamStatus::WriteFailed  ? out_.Error()
                                    : result.status == StreamStatus::ReadFailed ? in_.Error()
                                                                                : "'" + path_ + "' changed while being read";
            return Fail(kCommand, why);
        }
        uint8_t checksum[kContainerChecksumSize];
        EncodeChecksum(sum_, checksum);
        if (!out_.Write(checksum, sizeof checksum) || !out_.Commit())
            return Fail(kCommand, out_.Error());
        if (line_.verbose)
            std::fprintf(stderr, "tdz: pack: '%s' -> '%s': %s\n", path_.c_str(), containerPath_.c_str(),
                         SizesText(size_, kContainerOverhead + result.bytesOut).c_str());
        if (!line_.replace)
            return true;

        // The source goes only once its container gives back every byte of it.
        std::string error;
        if (!GivesBack(containerPath_, path_, &error))
            return Fail(kCommand, error + "; '" + path_ + "' kept");
        if (!RemoveFile(path_, &error))
            return Fail(kCommand, error);
        return true;
    }

private:
    static constexpr char kCommand[] = "pack";

    bool Settled(const std::string& error)
    {
        error_ = error;
        return false;
    }

    std::string path_;
    const CommandLine& line_;
    std::string containerPath_;
    std::string error_;
    uint64_t size_ = 0;
    InputFile in_;
    OutputFile out_;
    std::unique_ptr<ProgressLine> progress_;
    std::unique_ptr<ProgressSource> counted_;
    uint32_t sum_ = 0;
};

// The files of a pack run, begun in order and ended in order: what the run
// reports comes out as if the files had been packed one after another.
class PackFeed final : public RelcStreamFeed {
public:
    PackFeed(const std::vector<std::string>& paths, const CommandLine& line) : paths_(paths), line_(line) {}

    bool Next(RelcFeedStream* stream) override
    {
        while (next_ < paths_.size()) {
            const std::string& path = paths_[next_++];
            std::unique_ptr<PackTask> task(new PackTask(path, line_));
            bool streams = false;
            if (NamedBefore(path))
                task->Refuse("'" + path + "' is named twice; packed once");
            else
                streams = task->Begin(stream);
            tasks_.emplace_back(std::move(task), streams);
            if (streams)
                return true;
        }
        return false;
    }

    void Ended(const StreamResult& result) override
    {
        SettleFront();
        ok_ = tasks_.front().first->Finish(result) && ok_;
        tasks_.pop_front();
        SettleFront();
    }

    // true when every file was packed.
    bool Finish()
    {
        SettleFront();
        return ok_;
    }

private:
    // Files settled without a stream, up to the first one still coding.
    void SettleFront()
    {
        while (!tasks_.empty() && !tasks_.front().second) {
            ok_ = tasks_.front().first->Settle() && ok_;
            tasks_.pop_front();
        }
    }

    // The same file named twice (by two names, or inside a tree given
    // too) would be written by two tasks at once: the second is refused.
    bool NamedBefore(const std::string& path)
    {
        std::error_code ec;
        const std::string canonical = std::filesystem::weakly_canonical(path, ec).string();
        return !ec && !seen_.insert(canonical).second;
    }

    const std::vector<std::string>& paths_;
    const CommandLine& line_;
    size_t next_ = 0;
    std::deque<std::pair<std::unique_ptr<PackTask>, bool>> tasks_;  // with whether it streams
    std::set<std::string> seen_;
    bool ok_ = true;
};

// Restores to standard output: nothing to name, time or delete.
bool UnpackToStdout(const std::string& containerPath, const CommandLine& line)
{
    constexpr char kCommand[] = "unpack";
    OutputFile out;
    if (!out.Open("-"))
        return Fail(kCommand, out.Error());
    // A progress line would land among the restored bytes on a terminal.
    const ContainerCheck check = CheckContainer(containerPath, &out, !line.quiet && !StdoutIsTerminal());
    if (!check.ok)
        return Fail(kCommand, check.sinkRefused ? out.Error() : "'" + containerPath + "': " + check.error);
    if (!out.Commit())
        return Fail(kCommand, out.Error());
    return true;
}

bool UnpackOne(const std::string& containerPath, const CommandLine& line)
{
    constexpr char kCommand[] = "unpack";
    if (line.toStdout || line.output == "-")
        return UnpackToStdout(containerPath, line);
    if (line.output.empty() && !EndsWithContainerExtension(containerPath))
        return Fail(kCommand, "'" + containerPath + "' does not end with " + kExtension);
    const std::string target = !line.output.empty()
                                   ? line.output
                                   : containerPath.substr(0, containerPath.size() - (sizeof kExtension - 1));
    std::string error;
    if (FileExists(target)) {
        // A run ended between giving the file its name and deleting the
        // container leaves both: the container goes once the file is proven
        // to hold what it does.
        std::error_code same;
        if (line.replace && !std::filesystem::equivalent(containerPath, target, same) &&
            GivesBack(containerPath, target, &error)) {
            if (!RemoveFile(containerPath, &error))
                return Fail(kCommand, error);
            return true;
        }
        if (!OutputNameFree(target, containerPath, line.force, &error))
            return Fail(kCommand, error);
    }

    OutputFile out;
    if (!out.Open(target))
        return Fail(kCommand, out.Error());
    const ContainerCheck check = CheckContainer(containerPath, &out, !line.quiet);
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
    if (line.verbose)
        std::fprintf(stderr, "tdz: unpack: '%s' -> '%s': %s\n", containerPath.c_str(), target.c_str(),
                     SizesText(check.header.sourceSize, kContainerOverhead + check.streamLength).c_str());
    if (!line.replace)
        return true;
    if (!ReadsBackAs(target, check.header.sourceSize, check.storedChecksum, &error))
        return Fail(kCommand, error + "; '" + containerPath + "' kept");
    if (!RemoveFile(containerPath, &error))
        return Fail(kCommand, error);
    return true;
}

std::string DescribeAttributes(uint32_t attributes)
{
    std::string text;
    for (const std::string& name : AttributeNames(attributes))
        text += (text.empty() ? "" : ", ") + name;
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", attributes);
    return text.empty() ? hex : std::string(hex) + " (" + text + ")";
}

bool TestOne(const std::string& containerPath, const CommandLine& line)
{
    const ContainerCheck check = CheckContainer(containerPath, nullptr, !line.quiet);
    if (!line.quiet)
        std::printf("%s: %s\n", containerPath.c_str(), check.ok ? "ok" : check.error.c_str());
    if (check.headerRead && !line.quiet) {
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

// Runs one for each file the arguments name (folder trees opened with -r),
// going on after a failure.
int RunForEach(const char* command, const CommandLine& line, TreePick pick,
               bool (*one)(const std::string&, const CommandLine&))
{
    int status = kExitOk;
    std::vector<std::string> paths, errors;
    if (!ExpandArguments(line.operands, line.recursive, pick, &paths, &errors)) {
        for (const std::string& error : errors)
            ReportFailure(command, error);
        status = kExitFailure;
    }
    for (const std::string& path : paths) {
        if (!one(path, line))
            status = kExitFailure;
    }
    return status;
}

}  // namespace

int RunPackCommand(const CommandLine& line)
{
    int status = kExitOk;
    std::vector<std::string> paths, errors;
    if (!ExpandArguments(line.operands, line.recursive, TreePick::NonContainers, &paths, &errors)) {
        for (const std::string& error : errors)
            ReportFailure("pack", error);
        status = kExitFailure;
    }
    PackFeed feed(paths, line);
    EncodeStreamsOnThreads(feed, line.threads);
    return feed.Finish() ? status : kExitFailure;
}

int RunUnpackCommand(const CommandLine& line)
{
    return RunForEach("unpack", line, TreePick::Containers, UnpackOne);
}

int RunTestCommand(const CommandLine& line)
{
    return RunForEach("test", line, TreePick::Containers, TestOne);
}

namespace {

CommandLine Plain(const std::vector<std::string>& files, bool replace)
{
    CommandLine line;
    line.operands = files;
    line.replace = replace;
    return line;
}

}  // namespace

int RunPackCommand(const std::vector<std::string>& files, bool replace)
{
    return RunPackCommand(Plain(files, replace));
}

int RunUnpackCommand(const std::vector<std::string>& containers, bool replace)
{
    return RunUnpackCommand(Plain(containers, replace));
}

int RunTestCommand(const std::vector<std::string>& containers)
{
    return RunTestCommand(Plain(containers, false));
}
