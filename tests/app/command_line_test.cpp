// The command-line tail as the shell extension, the open command and an
// elevation relaunch hand it over.
#include <gtest/gtest.h>

#include <string>

#include "app/command_line.h"
#include "file_test_util.h"

namespace {

TEST(CommandLine, SwitchesArePrefixesWithTheirBlank)
{
    const struct {
        const wchar_t* tail;
        FileCommand file;
        WaitSwitch wait;
    } rows[] = {
        {L"-c E:\\a.doc", FileCommand::kCompress, WaitSwitch::kNone},
        {L"-d E:\\a.doc.tdz", FileCommand::kDecompress, WaitSwitch::kNone},
        {L"-o E:\\a.doc.tdz", FileCommand::kDecompressAndOpen, WaitSwitch::kNone},
        {L"-C E:\\a.doc", FileCommand::kNone, WaitSwitch::kNone},  // case counts
        {L"-cE:\\a.doc", FileCommand::kNone, WaitSwitch::kNone},
        {L"", FileCommand::kNone, WaitSwitch::kNone},
        {L"-startiwait 12", FileCommand::kNone, WaitSwitch::kInstall},
        {L"-startuwait ", FileCommand::kNone, WaitSwitch::kUninstalled},
        {L"-startvwait 7", FileCommand::kNone, WaitSwitch::kRemoval},
        {L"-startiwait", FileCommand::kNone, WaitSwitch::kNone},  // no blank
        {L"-startxwait 1", FileCommand::kNone, WaitSwitch::kNone},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(row.file, ReadFileCommand(row.tail)) << Narrow(row.tail);
        EXPECT_EQ(row.wait, ReadWaitSwitch(row.tail)) << Narrow(row.tail);
    }
}

TEST(CommandLine, PathRunsToTheEndAndLosesItsQuotesOnlyWhenBothAreThere)
{
    const std::wstring p258(258, L'x'), p259(259, L'x'), p260(260, L'x');
    const struct {
        std::wstring tail;
        bool fits;
        std::wstring path;
    } rows[] = {
        {L"-c E:\\my files\\a b.doc", true, L"E:\\my files\\a b.doc"},
        {L"-c \"E:\\my files\\a b.doc\"", true, L"E:\\my files\\a b.doc"},
        {L"-c \"E:\\open.doc", true, L"\"E:\\open.doc"},   // no closing quote
        {L"-c E:\\close.doc\"", true, L"E:\\close.doc\""},  // no opening quote
        {L"-c \"", true, L"\""},                            // one quote is no pair
        {L"-c \"\"", true, L""},
        {L"-c ", true, L""},
        {L"-c " + p259, true, p259},
        {L"-c " + p260, false, L""},
        {L"-c \"" + p258 + L"\"", true, p258},
        {L"-c \"" + p259 + L"\"", false, L""},
    };
    for (const auto& row : rows) {
        wchar_t path[MAX_PATH];
        EXPECT_EQ(row.fits, ReadCommandPath(row.tail.c_str(), path)) << Narrow(row.tail);
        EXPECT_EQ(row.path, std::wstring(path)) << Narrow(row.tail);
    }
}

TEST(CommandLine, PredecessorIdIsDigitsAfterTheSwitchAndFitsAProcessId)
{
    const struct {
        const wchar_t* tail;
        DWORD id;
    } rows[] = {
        {L"-startiwait 1234", 1234},       {L"-startuwait    77 more", 77}, {L"-startvwait 12ab", 12},
        {L"-startuwait ", 0},              {L"-startuwait x1", 0},         {L"-startuwait 0", 0},
        {L"-startiwait 4294967295", 4294967295u},
        {L"-startiwait 4294967296", 0},    // would wrap to a stranger's id
        {L"-startiwait 99999999999999999999999999", 0},
        {L"-start", 0},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.id, ReadPredecessorId(row.tail)) << Narrow(row.tail);
}

}  // namespace
