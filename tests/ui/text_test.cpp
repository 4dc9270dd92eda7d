// String-table walking and wide printf formatting.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "ui/app.h"
#include "ui/text.h"

namespace {

// A block as the resource compiler lays it out: count, then the units.
std::vector<uint16_t> Block(const std::vector<std::wstring>& entries)
{
    std::vector<uint16_t> units;
    for (const std::wstring& entry : entries) {
        units.push_back(static_cast<uint16_t>(entry.size()));
        for (wchar_t c : entry)
            units.push_back(static_cast<uint16_t>(c));
    }
    return units;
}

std::wstring Entry(const std::vector<uint16_t>& block, unsigned index, size_t bytes = SIZE_MAX)
{
    return ReadStringBlockEntry(block.data(), bytes == SIZE_MAX ? block.size() * 2 : bytes, index);
}

}  // namespace

TEST(StringBlock, FindsEntriesBehindEmptySlotsAndRejectsWhatIsNotThere)
{
    std::vector<uint16_t> block = Block({L"zero", L"", L"two", L"", L"", L"", L"", L"", L"", L"", L"", L"", L"",
                                         L"", L"", L"fifteen"});
    EXPECT_EQ(Entry(block, 0), L"zero");
    EXPECT_EQ(Entry(block, 1), L"");  // empty slot
    EXPECT_EQ(Entry(block, 2), L"two");
    EXPECT_EQ(Entry(block, 15), L"fifteen");

    // A block that ends early: later entries do not exist.
    std::vector<uint16_t> shortBlock = Block({L"a", L"b"});
    EXPECT_EQ(Entry(shortBlock, 1), L"b");
    EXPECT_EQ(Entry(shortBlock, 2), L"");
    EXPECT_EQ(Entry(shortBlock, 15), L"");
}

TEST(StringBlock, AnEntryRunningPastTheBlockIsEmptyNotARead)
{
    std::vector<uint16_t> block = Block({L"abc", L"defgh"});
    // Cut the block inside the second entry's text.
    EXPECT_EQ(Entry(block, 0, (1 + 3 + 1 + 2) * 2), L"abc");
    EXPECT_EQ(Entry(block, 1, (1 + 3 + 1 + 2) * 2), L"");
    // A count that claims more than the block holds.
    std::vector<uint16_t> lying = {0x7FFF, L'x'};
    EXPECT_EQ(Entry(lying, 0), L"");
    EXPECT_EQ(Entry(lying, 1), L"");
}

TEST(LoadText, ReadsThisProgramsTableAndGivesEmptyForMissingIds)
{
    HMODULE self = ::GetModuleHandleW(nullptr);
    EXPECT_EQ(LoadTextFrom(self, 16, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)), L"first of block 2");
    EXPECT_EQ(LoadTextFrom(self, 18, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)), L"after an empty slot");
    EXPECT_EQ(LoadTextFrom(self, 31, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)), L"last of block 2");
    EXPECT_EQ(LoadTextFrom(self, 16, MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN)), L"erster");
    EXPECT_EQ(LoadTextFrom(self, 17, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)), L"");  // empty slot
    EXPECT_EQ(LoadTextFrom(self, 17, MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN)), L"");      // entry not in block
    EXPECT_EQ(LoadText(4000), L"");   // no such block
    EXPECT_EQ(LoadText(0x10010), L"");  // not an id
    EXPECT_FALSE(LoadText(31).empty());
}

TEST(FormatText, WideArgumentsCutNamesAndHexCodes)
{
    EXPECT_EQ(FormatText(L"%s\n\n%s", L"report.txt", L"Free space is not enough."),
              L"report.txt\n\nFree space is not enough.");
    EXPECT_EQ(FormatText(L"%.32s...", L"abcdefghijklmnopqrstuvwxyz0123456789"),
              L"abcdefghijklmnopqrstuvwxyz012345...");
    EXPECT_EQ(FormatText(L"%s (%04X)", L"Start-up has failed.", 0x1006u), L"Start-up has failed. (1006)");
    EXPECT_EQ(FormatText(L"%s (%08X)", L"x", 0x9003900Bu), L"x (9003900B)");
    EXPECT_EQ(FormatText(L"%s", L"\x00DC\x30D5\x0627"), L"\x00DC\x30D5\x0627");
    // Longer than the first buffer.
    std::wstring longText(5000, L'q');
    EXPECT_EQ(FormatText(L"<%s>", longText.c_str()), L"<" + longText + L">");
}

TEST(CommandLineTail, SkipsTheProgramNameQuotedOrNot)
{
    EXPECT_EQ(CWinApp::CommandLineTail(L"prog.exe"), L"");
    EXPECT_EQ(CWinApp::CommandLineTail(L"prog.exe   \"C:\\a b\\x.tdz\""), L"\"C:\\a b\\x.tdz\"");
    EXPECT_EQ(CWinApp::CommandLineTail(L"\"C:\\Program Files\\prog.exe\" C:\\x.tdz"), L"C:\\x.tdz");
    EXPECT_EQ(CWinApp::CommandLineTail(L"\"C:\\odd name.exe\"C:\\x.tdz"), L"C:\\x.tdz");
    EXPECT_EQ(CWinApp::CommandLineTail(L"prog.exe\ta b "), L"a b ");
}
