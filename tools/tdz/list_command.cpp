#include "list_command.h"

#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "container/container_header.h"
#include "file_attributes.h"
#include "file_stream.h"
#include "file_tree.h"
#include "host_file_info.h"
#include "json_text.h"
#include "report.h"

namespace {

constexpr char kCommand[] = "list";

struct Entry {
    std::string container;
    std::string name;  // the file it restores to
    uint64_t containerSize = 0;
    ContainerHeader header{};
};

bool ReadEntry(const std::string& path, Entry* entry, std::string* error)
{
    InputFile in;
    if (!in.OpenRegularFile(path)) {
        *error = in.Error();
        return false;
    }
    if (!in.KnownSize(&entry->containerSize)) {
        *error = "'" + path + "' is not a regular file";
        return false;
    }
    uint8_t bytes[kContainerHeaderSize];
    if (entry->containerSize < kContainerHeaderSize || in.Read(bytes, sizeof bytes) != sizeof bytes) {
        *error = in.Failed() ? in.Error() : "'" + path + "': not a container: fewer than 56 bytes";
        return false;
    }
    entry->header = DecodeContainerHeader(bytes);
    if (!HasContainerMagic(entry->header)) {
        *error = "'" + path + "': not a container: the first 16 bytes are not \"" + kContainerMagic + "\"";
        return false;
    }
    if (entry->containerSize < kContainerOverhead) {
        *error = "'" + path + "': damaged container: no room for the checksum";
        return false;
    }
    entry->container = path;
    entry->name = EndsWithContainerExtension(path) ? path.substr(0, path.size() - 4) : path;
    return true;
}

// Container size over original size; 0 original bytes (a damaged header)
// has none.
std::string Ratio(uint64_t containerSize, uint64_t original)
{
    if (original == 0)
        return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", double(containerSize) / double(original));
    return text;
}

// A terminal takes control characters as commands: they show as '?'.
std::string Printable(const std::string& name)
{
    std::string text = name;
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    }
    return text;
}

// "2010-02-14T00:00:00Z", or null for a time the text form cannot give.
std::string JsonTime(uint64_t fileTime)
{
    std::string text = FormatFileTime(fileTime);
    if (text.size() != 23 || text.compare(19, 4, " UTC") != 0)
        return "null";
    text[10] = 'T';
    return "\"" + text.substr(0, 19) + "Z\"";
}

void PrintTable(const std::vector<Entry>& entries)
{
    const char* format = "%12s %12s %6s %-5s %-23s %-23s %s\n";
    std::printf(format, "original", "container", "ratio", "attr", "created", "last written", "name");
    uint64_t originals = 0, containers = 0;
    for (const Entry& e : entries) {
        std::printf(format, std::to_string(e.header.sourceSize).c_str(), std::to_string(e.containerSize).c_str(),
                    Ratio(e.containerSize, e.header.sourceSize).c_str(), AttributeLetters(e.header.attributes).c_str(),
                    FormatFileTime(e.header.creationTime).c_str(), FormatFileTime(e.header.lastWriteTime).c_str(),
                    Printable(e.name).c_str());
        originals += e.header.sourceSize;
        containers += e.containerSize;
    }
    const std::string total = "(total, " + std::to_string(entries.size()) +
                              (entries.size() == 1 ? " container)" : " containers)");
    std::printf(format, std::to_string(originals).c_str(), std::to_string(containers).c_str(),
                Ratio(containers, originals).c_str(), "", "", "", total.c_str());
}

void PrintJson(const std::vector<Entry>& entries)
{
    std::printf("[");
    for (size_t i = 0; i < entries.size(); ++i) {
        const Entry& e = entries[i];
        std::string names;
        for (const std::string& name : AttributeNames(e.header.attributes))
            names += (names.empty() ? "" : ", ") + JsonString(name);
        const std::string ratio = Ratio(e.containerSize, e.header.sourceSize);
        std::printf("%s\n  {\"container\": %s, \"name\": %s, \"original_size\": %" PRIu64
                    ", \"container_size\": %" PRIu64 ", \"ratio\": %s, \"attributes\": %" PRIu32
                    ", \"attribute_names\": [%s], \"created\": %s, \"last_written\": %s}",
                    i == 0 ? "" : ",", JsonString(e.container).c_str(), JsonString(e.name).c_str(),
                    e.header.sourceSize, e.containerSize, ratio == "-" ? "null" : ratio.c_str(),
                    e.header.attributes, names.c_str(), JsonTime(e.header.creationTime).c_str(),
                    JsonTime(e.header.lastWriteTime).c_str());
    }
    std::printf("%s]\n", entries.empty() ? "" : "\n");
}

}  // namespace

int RunListCommand(const CommandLine& line)
{
    int status = kExitOk;
    std::vector<std::string> paths, errors;
    if (!ExpandArguments(line.operands, line.recursive, TreePick::Containers, &paths, &errors)) {
        for (const std::string& error : errors)
            ReportFailure(kCommand, error);
        status = kExitFailure;
    }
    std::vector<Entry> entries;
    for (const std::string& path : paths) {
        Entry entry;
        std::string error;
        if (ReadEntry(path, &entry, &error)) {
            entries.push_back(entry);
        } else {
            ReportFailure(kCommand, error);
            status = kExitFailure;
        }
    }
    if (line.json)
        PrintJson(entries);
    else
        PrintTable(entries);
    if (std::fflush(stdout) != 0)
        return ReportFailure(kCommand, "cannot write to standard output");
    return status;
}
