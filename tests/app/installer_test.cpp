// Putting the installed files in place: never a part-written module, an
// identical one left alone, the shell told of each change; and telling the
// installed copy from another one by the file, not by the spelling.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>

#include "app/component_installer.h"
#include "app/install_paths.h"
#include "file_test_util.h"

namespace {

std::vector<LONG> EventsFor(NotifyWindow& window, const std::wstring& path)
{
    std::vector<LONG> events;
    for (const auto& event : window.ShellEvents())
        if (::lstrcmpiW(event.path.c_str(), path.c_str()) == 0)
            events.push_back(event.event);
    return events;
}

TEST(InstallComponent, WritesBesideThenReplacesAndTellsTheShell)
{
    TestFolder folder;
    EventHandle reply = NewEvent();
    NotifyWindow window(reply.Get());
    window.WatchShell(folder.Work());
    const std::wstring target = folder / L"TDShellExt.dll";
    const Bytes first = NoiseBytes(300000, 1), second = NoiseBytes(250000, 2);

    ASSERT_TRUE(WriteComponent(target.c_str(), first.data(), first.size()));
    EXPECT_EQ(first, ReadBytes(target));
    EXPECT_EQ(0u, ::GetFileAttributesW(target.c_str()) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY));

    // A read-only older module is replaced.
    ::SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(WriteComponent(target.c_str(), second.data(), second.size()));
    EXPECT_EQ(second, ReadBytes(target));

    // The same bytes again: the file is not touched (a loaded server could
    // not be replaced, and need not be).
    ASSERT_TRUE(SetTimes(target, 0x01D0000000000000ull, 0x01D0000000000000ull));
    ASSERT_TRUE(WriteComponent(target.c_str(), second.data(), second.size()));
    EXPECT_EQ(0x01D0000000000000ull, Capture(target).lastWriteTime);

    EXPECT_TRUE(ListNames(folder.Work(), L"*.tmp").empty());
    const std::vector<LONG> events = EventsFor(window, target);
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(SHCNE_CREATE, events[0]);
    EXPECT_EQ(SHCNE_UPDATEITEM, events[1]);
}

TEST(InstallComponent, AModuleThatCannotBeReplacedKeepsItsBytesAndNothingIsLeftBeside)
{
    TestFolder folder;
    const std::wstring target = folder / L"Tandrel.exe";
    const Bytes old = TextBytes(100000, 3), fresh = TextBytes(120000, 4);
    ASSERT_TRUE(WriteBytes(target, old));
    {
        FileHolder holder(target, 60000, FileHolder::kExclusive);
        ASSERT_TRUE(holder.Holding());
        EXPECT_FALSE(WriteComponent(target.c_str(), fresh.data(), fresh.size()));
    }
    EXPECT_EQ(old, ReadBytes(target));
    EXPECT_TRUE(ListNames(folder.Work(), L"*.tmp").empty());

    // The copy of an executable goes the same way.
    const std::wstring source = folder / L"download.exe";
    ASSERT_TRUE(WriteBytes(source, fresh));
    EXPECT_TRUE(CopyComponent(source.c_str(), target.c_str()));
    EXPECT_EQ(fresh, ReadBytes(target));
    EXPECT_FALSE(CopyComponent((folder / L"missing.exe").c_str(), target.c_str()));
    EXPECT_EQ(fresh, ReadBytes(target));
}

TEST(InstalledCopy, IsOneFileWhateverItsSpelling)
{
    TestFolder folder;
    ASSERT_TRUE(::CreateDirectoryW((folder / L"Velmora Corporation").c_str(), nullptr));
    const std::wstring installed = folder / L"Velmora Corporation\\Tandrel.exe";
    const std::wstring other = folder / L"Velmora Corporation\\Other.exe";
    ASSERT_TRUE(WriteBytes(installed, TextBytes(1000, 5)));
    ASSERT_TRUE(WriteBytes(other, TextBytes(1000, 5)));
    wchar_t shortName[MAX_PATH] = {};
    ASSERT_GT(::GetShortPathNameW(installed.c_str(), shortName, MAX_PATH), 0u);

    std::wstring upper = installed;
    ::CharUpperBuffW(&upper[0], static_cast<DWORD>(upper.size()));
    const struct {
        std::wstring path;
        bool same;
    } rows[] = {
        {installed, true},
        {shortName, true},
        {upper, true},
        {folder / L"Velmora Corporation\\.\\..\\Velmora Corporation\\Tandrel.exe", true},
        {other, false},  // same bytes, another file
        {folder / L"Velmora Corporation\\Missing.exe", false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.same, IsSameFile(row.path.c_str(), installed.c_str())) << Narrow(row.path);
}

TEST(InstalledCopy, PathsThatDoNotFitAreFailuresNotCuts)
{
    wchar_t path[MAX_PATH] = L"C:\\base";
    const std::wstring tail(MAX_PATH - 7, L'x');  // no room for the terminator
    EXPECT_FALSE(AppendToPath(path, tail.c_str()));
    EXPECT_STREQ(L"C:\\base", path);
    EXPECT_TRUE(AppendToPath(path, tail.substr(1).c_str()));
    EXPECT_EQ(MAX_PATH - 1, std::wstring(path).size());

    wchar_t running[MAX_PATH];
    ASSERT_TRUE(RunningExecutablePath(running));
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(running));

    wchar_t longPath[MAX_PATH];
    LongPathOf(L"Q:\\no\\such\\FILE~1.TDZ", longPath);  // no long form: kept
    EXPECT_STREQ(L"Q:\\no\\such\\FILE~1.TDZ", longPath);
}

}  // namespace
