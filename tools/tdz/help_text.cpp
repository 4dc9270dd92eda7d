#include "help_text.h"

#include <string>

#include "container/container_header.h"

const char kTdzVersion[] = "1.1";

namespace {

constexpr size_t kWidth = 79;

const char kSummary[] = "pack files into .tdz containers and restore them";

const char kAbout[] =
    "A .tdz container holds one file: its bytes coded by the relc codec, its size, attributes and two "
    "time stamps, and a checksum of its bytes. FILE.tdz restores to FILE.\n"
    "Nothing is ever written under an output's name until it is complete: each output is written to a "
    "new temporary file beside it and renamed when done. An existing output is kept unless -f is given, "
    "and an input is deleted only with --replace, once its output reads back as it should. Anything but "
    "a regular file (a FIFO, a device, a socket; a folder without -r) is refused without waiting on "
    "it.\n"
    "A progress line appears on standard error for a file that takes longer than a second, when "
    "standard error is a terminal.";

const char kHelpOptionText[] = "print the help and exit";

const char kExitStatus[] =
    "0 when every file succeeded; 1 when any failed, each failure named with its file and reason on "
    "standard error (the other files are still done); 2 for a usage error, with one line saying what "
    "was wrong.";

// Breaks text into lines of at most kWidth columns, each indented.
void PrintWrapped(std::FILE* to, const std::string& text, size_t indent, size_t firstUsed = 0)
{
    size_t used = firstUsed;
    if (used < indent) {
        std::fprintf(to, "%*s", int(indent - used), "");
        used = indent;
    }
    size_t lineStart = used;
    size_t pos = 0;
    while (pos < text.size()) {
        if (text[pos] == '\n') {
            std::fprintf(to, "\n\n%*s", int(indent), "");
            used = lineStart = indent;
            ++pos;
            continue;
        }
        size_t end = text.find_first_of(" \n", pos);
        if (end == std::string::npos)
            end = text.size();
        const size_t word = end - pos;
        if (used > lineStart && used + 1 + word > kWidth) {
            std::fprintf(to, "\n%*s", int(indent), "");
            used = lineStart = indent;
        } else if (used > lineStart) {
            std::fputc(' ', to);
            ++used;
        }
        std::fwrite(text.data() + pos, 1, word, to);
        used += word;
        pos = end < text.size() && text[end] == ' ' ? end + 1 : end;
    }
    std::fputc('\n', to);
}

std::string OptionLabel(const OptionSpec& option)
{
    std::string label = option.shortName != '\0' ? std::string("-") + option.shortName + ", " : "    ";
    label += std::string("--") + option.longName;
    if (option.argument != nullptr)
        label += std::string(" ") + option.argument;
    return label;
}

void PrintOptionRow(std::FILE* to, const std::string& label, const char* help)
{
    constexpr size_t kColumn = 24;
    std::fprintf(to, "  %s", label.c_str());
    size_t used = 2 + label.size();
    if (used + 2 > kColumn) {
        std::fputc('\n', to);
        used = 0;
    }
    PrintWrapped(to, help, kColumn, used);
}

std::string Synopsis(const CommandSpec& command)
{
    std::string text = std::string("tdz ") + command.name;
    if (command.options != 0)
        text += " [OPTIONS]";
    return text + " " + command.operands;
}

// Roff: a backslash is \e, a hyphen \- (so that options copy and search as
// typed), a paragraph break .PP, and no line starts with a dot or an
// apostrophe, which would make it a request.
std::string Roff(const std::string& text)
{
    std::string out;
    bool lineStart = true;
    for (char c : text) {
        if (lineStart && (c == '.' || c == '\''))
            out += "\\&";
        lineStart = c == '\n';
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else if (c == '\n')
            out += "\n.PP\n";
        else
            out += c;
    }
    return out;
}

}  // namespace

void PrintGeneralHelp(std::FILE* to, const CommandSpec* commands, size_t count)
{
    std::fprintf(to, "Usage: tdz COMMAND [OPTIONS] ARGUMENTS...\n");
    std::fprintf(to, "       tdz COMMAND --help | tdz --help | tdz --version\n");
    std::fprintf(to, "tdz: %s.\n\nCommands:\n", kSummary);
    for (size_t i = 0; i < count; ++i) {
        std::fprintf(to, "  %-8s", commands[i].name);
        PrintWrapped(to, commands[i].summary, 10, 10);
    }
    std::fprintf(to, "\nOptions (each command takes those listed by 'tdz COMMAND --help'):\n");
    for (size_t i = 0; i < kOptionCount; ++i)
        PrintOptionRow(to, OptionLabel(kOptions[i]), kOptions[i].help);
    std::fputc('\n', to);
    PrintWrapped(to, kAbout, 0);
    std::fprintf(to, "\nExit status: ");
    PrintWrapped(to, kExitStatus, 0, 13);
}

void PrintCommandHelp(std::FILE* to, const CommandSpec& command)
{
    std::fprintf(to, "Usage: %s\n", Synopsis(command).c_str());
    PrintWrapped(to, command.description, 0);
    std::fprintf(to, "\nOptions:\n");
    for (size_t i = 0; i < kOptionCount; ++i) {
        if ((command.options & kOptions[i].bit) != 0)
            PrintOptionRow(to, OptionLabel(kOptions[i]), kOptions[i].help);
    }
    PrintOptionRow(to, "-h, --help", kHelpOptionText);
}

void PrintVersion(std::FILE* to)
{
    std::fprintf(to, "tdz %s (containers \"%s\")\n", kTdzVersion, kContainerMagic);
}

void PrintManPage(std::FILE* to, const CommandSpec* commands, size_t count)
{
    std::fprintf(to, ".TH TDZ 1 \"\" \"tdz %s\" \"User Commands\"\n", kTdzVersion);
    std::fprintf(to, ".SH NAME\ntdz \\- %s\n.SH SYNOPSIS\n", Roff(kSummary).c_str());
    for (size_t i = 0; i < count; ++i)
        std::fprintf(to, ".B %s\n.br\n", Roff(Synopsis(commands[i])).c_str());
    std::fprintf(to, ".B tdz\n\\fICOMMAND\\fR \\-\\-help | \\-\\-help | \\-\\-version\n");
    std::fprintf(to, ".SH DESCRIPTION\n%s\n.SH COMMANDS\n", Roff(kAbout).c_str());
    for (size_t i = 0; i < count; ++i) {
        const CommandSpec& command = commands[i];
        std::fprintf(to, ".TP\n.B %s\n%s\n", Roff(Synopsis(command)).c_str(), Roff(command.description).c_str());
        std::string takes;
        for (size_t k = 0; k < kOptionCount; ++k) {
            if ((command.options & kOptions[k].bit) != 0)
                takes += (takes.empty() ? "" : ", ") + std::string("--") + kOptions[k].longName;
        }
        if (!takes.empty())
            std::fprintf(to, ".PP\n.RS\nOptions: %s.\n.RE\n", Roff(takes).c_str());
    }
    std::fprintf(to, ".SH OPTIONS\n");
    for (size_t i = 0; i < kOptionCount; ++i)
        std::fprintf(to, ".TP\n.B %s\n%s\n", Roff(OptionLabel(kOptions[i])).c_str(), Roff(kOptions[i].help).c_str());
    std::fprintf(to, ".TP\n.B %s\n%s\n", Roff("-h, --help").c_str(), Roff(kHelpOptionText).c_str());
    std::fprintf(to, ".SH EXIT STATUS\n%s\n", Roff(kExitStatus).c_str());
}
