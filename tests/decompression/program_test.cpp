// Decompression.exe as a user meets it: started with a path (or two, or a
// wrong one), restoring the container, asking before it replaces, telling
// what went wrong in a message box, cancelled half-way, refused on another
// system, and in the user's language.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cwchar>
#include <fstream>
#include <string>
#include <vector>

#include "common/resource_ids.h"
#include "container/compress_file.h"
#include "window_probe.h"

using probe::Narrow;

namespace {

std::vector<char> ReadAll(const std::wstring& path)
{
    std::vector<char> bytes;
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return bytes;
    LARGE_INTEGER size{};
    ::GetFileSizeEx(h, &size);
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    size_t at = 0;
    while (at < bytes.size() &&
           ::ReadFile(h, bytes.data() + at, static_cast<DWORD>(std::min<size_t>(bytes.size() - at, 1 << 24)), &got,
                      nullptr) &&
           got > 0)
        at += got;
    ::CloseHandle(h);
    bytes.resize(at);
    return bytes;
}

bool WriteAll(const std::wstring& path, const std::vector<char>& bytes)
{
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    size_t at = 0;
    DWORD put = 0;
    while (at < bytes.size() &&
           ::WriteFile(h, bytes.data() + at, static_cast<DWORD>(std::min<size_t>(bytes.size() - at, 1 << 24)), &put,
                       nullptr))
        at += put;
    ::CloseHandle(h);
    return at == bytes.size();
}

bool Exists(const std::wstring& path)
{
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Text-like bytes that compress, different for each seed.
std::vector<char> SampleBytes(size_t size, uint32_t seed)
{
    static const char* const kWords[] = {"container ", "drive ", "restored ", "bytes ", "tray ", "worker ",
                                         "phase\n", "name ", "replace ", "Tandrel "};
    std::vector<char> bytes;
    bytes.reserve(size);
    uint32_t x = seed * 2654435761u + 1;
    while (bytes.size() < size) {
        x = x * 1103515245u + 12345u;
        const char* word = kWords[(x >> 16) % 10];
        for (const char* p = word; *p && bytes.size() < size; ++p)
            bytes.push_back(*p);
        if ((x >> 8) % 7 == 0 && bytes.size() < size)
            bytes.push_back(static_cast<char>('0' + (x >> 20) % 10));
    }
    return bytes;
}

std::wstring Quoted(const std::wstring& text)
{
    return L"\"" + text + L"\"";
}

class Child {
public:
    Child(const std::wstring& exe, const std::wstring& arguments)
    {
        std::wstring commandLine = Quoted(exe) + (arguments.empty() ? L"" : L" " + arguments);
        STARTUPINFOW si{};
        si.cb = sizeof si;
        std::vector<wchar_t> mutableLine(commandLine.begin(), commandLine.end());
        mutableLine.push_back(L'\0');
        started_ = ::CreateProcessW(exe.c_str(), mutableLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                    &si, &info_) != FALSE;
    }
    ~Child()
    {
        if (!started_)
            return;
        if (::WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
            ::TerminateProcess(info_.hProcess, 99);
            ::WaitForSingleObject(info_.hProcess, 5000);
        }
        ::CloseHandle(info_.hThread);
        ::CloseHandle(info_.hProcess);
    }
    bool Started() const { return started_; }
    DWORD Id() const { return info_.dwProcessId; }
    bool Ended(DWORD timeoutMs = 20000) const
    {
        return ::WaitForSingleObject(info_.hProcess, timeoutMs) == WAIT_OBJECT_0;
    }
    // Waits for the program to end and says whether any of its windows was
    // ever visible meanwhile.
    bool EndedWithoutAWindow(DWORD timeoutMs = 20000) const
    {
        DWORD start = ::GetTickCount();
        while (::GetTickCount() - start < timeoutMs) {
            for (HWND h : probe::ProcessWindows(Id())) {
                if (probe::IsVisible(h))
                    return false;
            }
            if (::WaitForSingleObject(info_.hProcess, 20) == WAIT_OBJECT_0)
                return true;
        }
        return false;
    }
    HWND WaitForDialog(const probe::WindowMatch& match, DWORD timeoutMs = 20000) const
    {
        return probe::WaitForProcessWindow(
            Id(), [&](HWND h) { return probe::IsDialog(h) && probe::IsVisible(h) && match(h); }, timeoutMs);
    }
    HWND WaitForMessageBox(DWORD timeoutMs = 20000) const
    {
        return WaitForDialog([](HWND h) { return ::GetDlgItem(h, 0xFFFF) != nullptr; }, timeoutMs);
    }

private:
    PROCESS_INFORMATION info_{};
    bool started_ = false;
};

// Whether a message box shows an icon (its icon control holds one).
bool ShowsIcon(HWND box)
{
    for (HWND item = ::GetWindow(box, GW_CHILD); item; item = ::GetWindow(item, GW_HWNDNEXT)) {
        if ((probe::Style(item) & SS_TYPEMASK) == SS_ICON && probe::IsVisible(item) &&
            ::SendMessageW(item, STM_GETICON, 0, 0) != 0)
            return true;
    }
    return false;
}

probe::WindowMatch HasControl(int id)
{
    return [id](HWND h) { return ::GetDlgItem(h, id) != nullptr; };
}

class DecompressionProgram : public ::testing::Test {
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH];
        ASSERT_GT(::GetTempPathW(MAX_PATH, temp), 0u);
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = info->name();
        // The process id keeps apart runs of one test that ctest starts at
        // the same time (the language runs).
        folder_ = std::wstring(temp) + L"tdz_program_" + std::wstring(name.begin(), name.end()) + L"_" +
                  std::to_wstring(::GetCurrentProcessId());
        DeleteFolder();
        ASSERT_TRUE(::CreateDirectoryW(folder_.c_str(), nullptr));
    }
    void TearDown() override { DeleteFolder(); }

    void DeleteFolder()
    {
        WIN32_FIND_DATAW found;
        HANDLE find = ::FindFirstFileW((folder_ + L"\\*").c_str(), &found);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                std::wstring path = folder_ + L"\\" + found.cFileName;
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                    if (wcscmp(found.cFileName, L".") && wcscmp(found.cFileName, L".."))
                        ::RemoveDirectoryW(path.c_str());
                } else {
                    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                    ::DeleteFileW(path.c_str());
                }
            } while (::FindNextFileW(find, &found));
            ::FindClose(find);
        }
        ::RemoveDirectoryW(folder_.c_str());
    }

    std::wstring Path(const wchar_t* name) const { return folder_ + L"\\" + name; }

    // Writes bytes as name and turns it into name.tdz; returns the
    // container's path (empty on failure).
    std::wstring MakeContainer(const wchar_t* name, const std::vector<char>& bytes)
    {
        std::wstring source = Path(name);
        std::wstring container = source + L".tdz";
        if (!WriteAll(source, bytes))
            return L"";
        ResultCode result = CompressFile(nullptr, nullptr, nullptr, source.c_str(), container.c_str(), nullptr);
        EXPECT_EQ(result, kResultDone) << std::hex << result;
        return result == kResultDone ? container : L"";
    }

    std::wstring folder_;
    const std::wstring exe_ = TDZ_DECOMPRESSION_EXE;
};

}  // namespace

TEST_F(DecompressionProgram, RestoresAContainerNamedWithOrWithoutQuotes)
{
    std::vector<char> first = SampleBytes(300000, 1);
    std::vector<char> second = ReadAll(std::wstring(L"" TDZ_CORPUS_DIR) + L"\\alice29.txt");
    if (second.empty())
        second = SampleBytes(150000, 2);  // no corpus here
    std::wstring quoted = MakeContainer(L"with quotes.txt", first);
    std::wstring plain = MakeContainer(L"plain.txt", second);
    ASSERT_FALSE(quoted.empty());
    ASSERT_FALSE(plain.empty());

    {
        Child child(exe_, Quoted(quoted));
        ASSERT_TRUE(child.Started());
        ASSERT_TRUE(child.Ended());
    }
    EXPECT_TRUE(ReadAll(Path(L"with quotes.txt")) == first);
    EXPECT_FALSE(Exists(quoted));
    {
        Child child(exe_, plain);
        ASSERT_TRUE(child.Ended());
    }
    EXPECT_TRUE(ReadAll(Path(L"plain.txt")) == second);
    EXPECT_FALSE(Exists(plain));
}

TEST_F(DecompressionProgram, WithoutAnArgumentItAsksForATdzFileAndEndsWhenTheUserCancels)
{
    Child child(exe_, L"");
    // The open dialog: its file-type list (cmb1) offers the containers only.
    HWND open = child.WaitForDialog(HasControl(0x470));
    ASSERT_NE(open, nullptr);
    HWND types = ::GetDlgItem(open, 0x470);
    EXPECT_EQ(::SendMessageW(types, CB_GETCOUNT, 0, 0), 1);
    EXPECT_EQ(probe::Text(types), L"Tandrel Files(*.tdz)");
    probe::Click(open, IDCANCEL);
    EXPECT_TRUE(child.Ended());
}

TEST_F(DecompressionProgram, EndsSilentlyForTwoArgumentsAFolderAnotherFileOrNothingThere)
{
    std::wstring container = MakeContainer(L"kept.txt", SampleBytes(50000, 3));
    ASSERT_FALSE(container.empty());
    std::vector<char> before = ReadAll(container);
    ASSERT_TRUE(WriteAll(Path(L"notes.txt"), SampleBytes(5000, 4)));
    ASSERT_TRUE(::CreateDirectoryW(Path(L"folder.tdz").c_str(), nullptr));

    for (const std::wstring& arguments :
         {container + L" " + container, Quoted(container) + L" extra", Quoted(Path(L"folder.tdz")),
          Quoted(Path(L"notes.txt")), Quoted(Path(L"missing.tdz"))}) {
        Child child(exe_, arguments);
        ASSERT_TRUE(child.Started());
        EXPECT_TRUE(child.EndedWithoutAWindow()) << Narrow(arguments);
    }
    EXPECT_TRUE(ReadAll(container) == before);
    EXPECT_FALSE(Exists(Path(L"kept.txt")));
}

TEST_F(DecompressionProgram, ADamagedContainerIsReportedAndKept)
{
    std::wstring container = MakeContainer(L"report.txt", SampleBytes(80000, 5));
    ASSERT_FALSE(container.empty());
    std::vector<char> damaged = ReadAll(container);
    damaged.back() ^= 0x5A;  // the checksum no longer matches
    ASSERT_TRUE(WriteAll(container, damaged));

    Child child(exe_, Quoted(container));
    HWND box = child.WaitForMessageBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(probe::Text(box), L"Tandrel");
    EXPECT_EQ(probe::MessageBoxText(box), L"report.txt\n\nFile is corrupted.");
    EXPECT_TRUE(ShowsIcon(box));
    probe::Click(box, IDOK);
    EXPECT_TRUE(child.Ended());
    EXPECT_TRUE(ReadAll(container) == damaged);
    EXPECT_FALSE(Exists(Path(L"report.txt")));
    EXPECT_FALSE(Exists(Path(L"report.txt.tmp")));
}

TEST_F(DecompressionProgram, APathTooLongIsShownAsGivenWithTheReason)
{
    std::wstring tooLong = Path(L"") + std::wstring(300, L'n') + L".tdz";
    const std::wstring reason =
        L"The target file could not be compressed or decompressed, because the file name was too long.";
    {
        Child child(exe_, tooLong);
        HWND box = child.WaitForMessageBox();
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(probe::MessageBoxText(box), tooLong + L"\n\n" + reason);
        probe::Click(box, IDOK);
        EXPECT_TRUE(child.Ended());
    }
    {
        Child child(exe_, Quoted(tooLong));
        HWND box = child.WaitForMessageBox();
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(probe::MessageBoxText(box), tooLong + L"\"\n\n" + reason);
        probe::Click(box, IDOK);
        EXPECT_TRUE(child.Ended());
    }
}

TEST_F(DecompressionProgram, AContainerWhoseRestoredPathWouldBeTooLongShowsTheWholePathWithoutAnIcon)
{
    // Short enough for the command line (259), too long for a job (254).
    std::wstring container = Path(L"");
    container += std::wstring(256 - container.size() - 4, L'p') + L".tdz";
    ASSERT_EQ(container.size(), 256u);
    ASSERT_TRUE(WriteAll(container, SampleBytes(4000, 12)));

    Child child(exe_, Quoted(container));
    HWND box = child.WaitForMessageBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(probe::MessageBoxText(box),
              container + L"\n\nThe target file could not be compressed or decompressed, because the file name was "
                          L"too long.");
    EXPECT_FALSE(ShowsIcon(box));
    probe::Click(box, IDOK);
    EXPECT_TRUE(child.Ended());
    EXPECT_TRUE(Exists(container));
}

TEST_F(DecompressionProgram, AnExistingFileIsReplacedOnlyWhenTheUserSaysYes)
{
    std::vector<char> inside = SampleBytes(120000, 6);
    std::vector<char> existing = SampleBytes(3000, 7);
    std::wstring container = MakeContainer(L"letter.txt", inside);
    ASSERT_FALSE(container.empty());
    std::vector<char> containerBytes = ReadAll(container);
    ASSERT_TRUE(WriteAll(Path(L"letter.txt"), existing));

    {
        Child child(exe_, Quoted(container));
        HWND question = child.WaitForDialog(HasControl(IDC_REPLACE_YES));
        ASSERT_NE(question, nullptr);
        EXPECT_EQ(probe::Text(question), L"Tandrel");
        EXPECT_EQ(probe::ItemText(question, IDC_REPLACE_TEXT),
                  L"File 'letter.txt' already exists. Do you want to replace it?");
        EXPECT_TRUE(probe::ItemVisible(question, IDC_REPLACE_YES));
        EXPECT_TRUE(probe::ItemVisible(question, IDC_REPLACE_NO));
        EXPECT_FALSE(probe::ItemVisible(question, IDC_REPLACE_YES_TO_ALL));
        EXPECT_FALSE(probe::ItemVisible(question, IDC_REPLACE_CANCEL));
        // The about item of the window menu, while the question waits.
        HWND progress = child.WaitForDialog(HasControl(IDC_PROGRESS_BAR));
        ASSERT_NE(progress, nullptr);
        ::PostMessageW(progress, WM_SYSCOMMAND, 16, 0);
        HWND about = child.WaitForDialog([](HWND h) { return probe::Text(h) == L"About Decompression"; });
        ASSERT_NE(about, nullptr);
        probe::Click(about, IDOK);

        probe::Click(question, IDC_REPLACE_NO);
        EXPECT_TRUE(child.Ended());  // declined: no message follows
    }
    EXPECT_TRUE(ReadAll(Path(L"letter.txt")) == existing);
    EXPECT_TRUE(ReadAll(container) == containerBytes);

    {
        Child child(exe_, Quoted(container));
        HWND question = child.WaitForDialog(HasControl(IDC_REPLACE_YES));
        ASSERT_NE(question, nullptr);
        probe::PressEscape(question);  // Escape answers No as well
        EXPECT_TRUE(child.Ended());
    }
    EXPECT_TRUE(ReadAll(Path(L"letter.txt")) == existing);

    {
        Child child(exe_, Quoted(container));
        HWND question = child.WaitForDialog(HasControl(IDC_REPLACE_YES));
        ASSERT_NE(question, nullptr);
        probe::Click(question, IDC_REPLACE_YES);
        EXPECT_TRUE(child.Ended());
    }
    EXPECT_TRUE(ReadAll(Path(L"letter.txt")) == inside);
    EXPECT_FALSE(Exists(container));
}

TEST_F(DecompressionProgram, CancelHalfWayLeavesTheContainerAsItWas)
{
    // Large enough that the restore is still running when Cancel is pressed.
    std::wstring container = MakeContainer(L"large.bin", SampleBytes(128u << 20, 8));
    ASSERT_FALSE(container.empty());
    std::vector<char> before = ReadAll(container);

    Child child(exe_, Quoted(container));
    HWND dialog = child.WaitForDialog([](HWND h) {
        return ::GetDlgItem(h, IDC_PROGRESS_BAR) && probe::Text(h) == L"Decompressing...";
    });
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(probe::ItemText(dialog, IDC_PROGRESS_LABEL), L"large.bin");
    EXPECT_TRUE(probe::ExStyle(dialog) & WS_EX_APPWINDOW);
    probe::Click(dialog, IDCANCEL);
    EXPECT_TRUE(child.Ended());
    EXPECT_TRUE(ReadAll(container) == before);
    EXPECT_FALSE(Exists(Path(L"large.bin")));
    EXPECT_FALSE(Exists(Path(L"large.bin.tmp")));
}

TEST_F(DecompressionProgram, OtherSystemsAreRefusedWithAWarning)
{
    // Wine reports the version set for a program's name.
    std::wstring copy = Path(L"DecompressionOnOtherOs.exe");
    ASSERT_TRUE(::CopyFileW(exe_.c_str(), copy.c_str(), FALSE));
    const wchar_t* key = L"Software\\Wine\\AppDefaults\\DecompressionOnOtherOs.exe";
    auto setVersion = [&](const wchar_t* version) {
        HKEY h;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h, nullptr),
                  ERROR_SUCCESS);
        ::RegSetValueExW(h, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                         static_cast<DWORD>((wcslen(version) + 1) * sizeof(wchar_t)));
        ::RegCloseKey(h);
    };
    std::wstring container = MakeContainer(L"old.txt", SampleBytes(40000, 9));
    ASSERT_FALSE(container.empty());

    for (const wchar_t* version : {L"win8", L"win10"}) {
        setVersion(version);
        Child child(copy, Quoted(container));
        HWND box = child.WaitForMessageBox();
        ASSERT_NE(box, nullptr) << Narrow(version);
        EXPECT_EQ(probe::Text(box), L"Tandrel");
        EXPECT_EQ(probe::MessageBoxText(box), L"Please run with proper OS.");
        probe::Click(box, IDOK);
        EXPECT_TRUE(child.Ended());
    }
    EXPECT_TRUE(Exists(container));

    setVersion(L"winxp");
    {
        Child child(copy, Quoted(container));
        EXPECT_TRUE(child.Ended());
    }
    EXPECT_TRUE(Exists(Path(L"old.txt")));
    ::RegDeleteKeyW(HKEY_CURRENT_USER, key);
}

// Run by ctest once per language, with the locale set for this test and so
// for the program it starts; skipped otherwise.
TEST_F(DecompressionProgram, SpeaksTheUsersLanguageAndNeverMirrors)
{
    struct Case {
        const char* tag;
        const wchar_t* yes;
        const wchar_t* no;
        const wchar_t* title;
    };
    const Case cases[] = {
        {"de", L"Ja", L"Nein", L"Dekomprimierung wird vorbereitet..."},
        {"ja", L"\x306F\x3044", L"\x3044\x3044\x3048", L"\x30D5\x30A1\x30A4\x30EB\x306E\x89E3\x51CD\x3092\x6E96\x5099\x3057\x3066\x3044\x307E\x3059..."},
        {"ar", L"\x0646\x0639\x0645", L"\x0644\x0627", nullptr},
    };
    const char* tag = std::getenv("TDZ_EXPECTED_UI_LANGUAGE");
    const Case* c = nullptr;
    for (const Case& candidate : cases) {
        if (tag && std::string(tag) == candidate.tag)
            c = &candidate;
    }
    if (!c)
        GTEST_SKIP() << "run by ctest under a locale (TDZ_EXPECTED_UI_LANGUAGE)";

    std::wstring container = MakeContainer(L"brief.txt", SampleBytes(60000, 10));
    ASSERT_FALSE(container.empty());
    ASSERT_TRUE(WriteAll(Path(L"brief.txt"), SampleBytes(3000, 11)));
    Child child(exe_, Quoted(container));
    HWND question = child.WaitForDialog(HasControl(IDC_REPLACE_YES));
    ASSERT_NE(question, nullptr);
    EXPECT_EQ(probe::ItemText(question, IDC_REPLACE_YES), c->yes);
    EXPECT_EQ(probe::ItemText(question, IDC_REPLACE_NO), c->no);
    EXPECT_EQ(probe::ExStyle(question) & WS_EX_LAYOUTRTL, 0u);
    HWND progress = child.WaitForDialog(HasControl(IDC_PROGRESS_BAR));
    ASSERT_NE(progress, nullptr);
    EXPECT_EQ(probe::ExStyle(progress) & WS_EX_LAYOUTRTL, 0u);
    EXPECT_EQ(probe::ExStyle(::GetDlgItem(progress, IDCANCEL)) & (WS_EX_LAYOUTRTL | WS_EX_RTLREADING), 0u);
    if (c->title) {
        EXPECT_EQ(probe::Text(progress), c->title);
    }
    probe::Click(question, IDC_REPLACE_NO);
    EXPECT_TRUE(child.Ended());
}
