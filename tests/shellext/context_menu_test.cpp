// What the context menu gets for a selection: which item, where, with which
// id and text, and the verbs and help texts behind it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "shellext_test_support.h"

namespace {

constexpr int kNoItem = 0;
constexpr int kCompress = 1;
constexpr int kDecompress = 2;
// STRSAFE_E_INSUFFICIENT_BUFFER: the text was cut to fit.
const HRESULT kInsufficientBuffer = static_cast<HRESULT>(0x8007007A);

std::wstring LongPath(size_t length, const wchar_t* prefix, const wchar_t* suffix) {
    std::wstring path = prefix;
    while (path.size() + std::wcslen(suffix) < length) path += L'a';
    return path + suffix;
}

// The English texts unless the prefix runs another UI language.
const wchar_t* ExpectedMenuText(bool compress) {
    if (GetUserDefaultUILanguage() != 0x0409) return nullptr;
    return compress ? L"Compress with Tandrel" : L"Decompress with Tandrel";
}

class ContextMenuTest : public ::testing::Test {
protected:
    CurrentDriveFixture userDrives{HKEY_CURRENT_USER};
};

TEST_F(ContextMenuTest, ContainerFilesGetDecompressOnAnyDriveAndInAnyCase) {
    ASSERT_TRUE(userDrives.SetDrives({L"E:"}));
    EXPECT_EQ(kDecompress, MenuItemsFor({L"C:\\Users\\me\\report.doc.tdz"}));
    EXPECT_EQ(kDecompress, MenuItemsFor({L"C:\\Users\\me\\REPORT.DOC.TDZ"}));
    EXPECT_EQ(kDecompress, MenuItemsFor({L"C:\\Users\\me\\report.Tdz"}));
    EXPECT_EQ(kDecompress, MenuItemsFor({L"\\\\server\\share\\report.tdz"}));
    // On a target drive a container still gets Decompress, never Compress.
    EXPECT_EQ(kDecompress, MenuItemsFor({L"E:\\report.doc.tdz"}));
    EXPECT_EQ(kNoItem, MenuItemsFor({L"C:\\Users\\me\\report.tdz.doc"}));
}

TEST_F(ContextMenuTest, FilesOnListedDrivesGetCompress) {
    ASSERT_TRUE(userDrives.SetDrives({L"D:", L"e:", L"G:"}));
    EXPECT_EQ(kCompress, MenuItemsFor({L"E:\\Reports\\Q3 summary.doc"}));
    EXPECT_EQ(kCompress, MenuItemsFor({L"d:\\a.txt"}));
    EXPECT_EQ(kCompress, MenuItemsFor({L"G:\\noextension"}));
    EXPECT_EQ(kNoItem, MenuItemsFor({L"C:\\Users\\me\\a.txt"}));
    EXPECT_EQ(kNoItem, MenuItemsFor({L"F:\\a.txt"}));
    // A share has no drive part, whatever the list holds.
    EXPECT_EQ(kNoItem, MenuItemsFor({L"\\\\server\\share\\a.txt"}));
}

TEST_F(ContextMenuTest, NoCompressWithoutAUsableDriveList) {
    const std::vector<std::wstring> onE = {L"E:\\a.txt"};
    EXPECT_EQ(kNoItem, MenuItemsFor(onE)) << "program key missing";

    ASSERT_TRUE(userDrives.SetDrives({}));
    EXPECT_EQ(kNoItem, MenuItemsFor(onE)) << "empty list (a single NUL)";

    userDrives.RemoveValue();
    EXPECT_EQ(kNoItem, MenuItemsFor(onE)) << "value missing";

    // The list ends at its first empty entry.
    const wchar_t afterEnd[] = L"D:\0\0E:\0";
    ASSERT_TRUE(userDrives.SetRaw(afterEnd, sizeof(afterEnd), REG_MULTI_SZ));
    EXPECT_EQ(kNoItem, MenuItemsFor(onE));

    // More than 256 bytes is not read at all, even when it names the drive.
    std::wstring large;
    for (int i = 0; i < 44; ++i) large += std::wstring(L"E:") + L'\0';
    large += L'\0';
    ASSERT_GT(large.size() * sizeof(wchar_t), 256u);
    ASSERT_TRUE(userDrives.SetRaw(large.data(), static_cast<DWORD>(large.size() * sizeof(wchar_t)), REG_MULTI_SZ));
    EXPECT_EQ(kNoItem, MenuItemsFor(onE));

    // A value stored without any terminator is read within its own length.
    ASSERT_TRUE(userDrives.SetRaw(L"E:", 2 * sizeof(wchar_t), REG_MULTI_SZ));
    EXPECT_EQ(kCompress, MenuItemsFor(onE));
    std::wstring full(128, L'X');
    ASSERT_TRUE(userDrives.SetRaw(full.data(), 256, REG_MULTI_SZ));
    EXPECT_EQ(kNoItem, MenuItemsFor(onE));
}

TEST_F(ContextMenuTest, DriveListIsReadFromTheUserHiveOnThisSystemFamily) {
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    ASSERT_TRUE(GetVersionExW(&version));
    ASSERT_EQ(6u, version.dwMajorVersion) << "this test program expects an NT 6 system";
    CurrentDriveFixture machineDrives(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(machineDrives.SetDrives({L"E:"}));
    EXPECT_EQ(kNoItem, MenuItemsFor({L"E:\\a.txt"}));
    ASSERT_TRUE(userDrives.SetDrives({L"E:"}));
    EXPECT_EQ(kCompress, MenuItemsFor({L"E:\\a.txt"}));
}

TEST_F(ContextMenuTest, OnlyASingleSelectedFileWithAPathThatFitsGetsAnItem) {
    ASSERT_TRUE(userDrives.SetDrives({L"E:"}));
    EXPECT_EQ(kNoItem, MenuItemsFor({L"E:\\a.txt", L"E:\\b.txt"}));
    EXPECT_EQ(kNoItem, MenuItemsFor({L"C:\\a.tdz", L"C:\\b.tdz"}));
    EXPECT_EQ(kNoItem, MenuItemsFor({}));
    EXPECT_EQ(kCompress, MenuItemsFor({LongPath(259, L"E:\\", L".txt")}));
    EXPECT_EQ(kDecompress, MenuItemsFor({LongPath(259, L"C:\\", L".doc.tdz")}));
    // Cut to 259 characters such a path would name another file.
    EXPECT_EQ(kNoItem, MenuItemsFor({LongPath(260, L"E:\\", L".txt")}));
    EXPECT_EQ(kNoItem, MenuItemsFor({LongPath(300, L"C:\\", L".doc.tdz")}));
}

TEST_F(ContextMenuTest, InitializeAlwaysSucceedsAndReturnsEveryMedium) {
    ComRef<IShellExtInit> init(CreateShellExt<IShellExtInit>(IID_IShellExtInit));
    ASSERT_NE(nullptr, init.Get());
    ComRef<IContextMenu> menu;
    ASSERT_EQ(S_OK, init->QueryInterface(IID_IContextMenu, menu.Out()));
    HMENU popup = CreatePopupMenu();

    EXPECT_EQ(S_OK, init->Initialize(nullptr, nullptr, nullptr));
    EXPECT_EQ(0, HRESULT_CODE(menu->QueryContextMenu(popup, 0, 1, 100, CMF_NORMAL)));

    auto* noList = new DropDataObject({L"C:\\a.tdz"}, false);
    EXPECT_EQ(S_OK, init->Initialize(nullptr, noList, nullptr));
    EXPECT_EQ(2, noList->References()) << "the selection is held even without a file list";
    EXPECT_EQ(0, HRESULT_CODE(menu->QueryContextMenu(popup, 0, 1, 100, CMF_NORMAL)));

    for (const auto& paths : std::vector<std::vector<std::wstring>>{
             {L"C:\\a.tdz"}, {L"C:\\a.tdz", L"C:\\b.tdz"}, {L"E:\\x.txt"}, {}}) {
        auto* data = new DropDataObject(paths);
        EXPECT_EQ(S_OK, init->Initialize(nullptr, data, nullptr));
        EXPECT_EQ(1, data->MediaGiven());
        EXPECT_EQ(1, data->MediaReleased()) << paths.size() << " files: medium kept";
        data->Release();
    }
    noList->Release();
    EXPECT_EQ(0, GetMenuItemCount(popup));
    DestroyMenu(popup);
}

struct MenuEntry {
    bool separator;
    UINT id;
    std::wstring text;
};

MenuEntry EntryAt(HMENU menu, UINT position) {
    wchar_t text[128] = {};
    MENUITEMINFOW item = {};
    item.cbSize = sizeof(item);
    item.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING;
    item.dwTypeData = text;
    item.cch = 128;
    if (!GetMenuItemInfoW(menu, position, TRUE, &item)) return {false, 0xFFFFFFFF, L"<none>"};
    return {(item.fType & MFT_SEPARATOR) != 0, item.wID, text};
}

// A popup menu like the file manager's, with two items of its own.
HMENU FileManagerMenu() {
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, 1, L"Open");
    AppendMenuW(menu, MF_STRING, 2, L"Properties");
    return menu;
}

TEST_F(ContextMenuTest, InsertsSeparatorAndItemAtThePosition) {
    ASSERT_TRUE(userDrives.SetDrives({L"E:"}));
    struct Case {
        const wchar_t* path;
        UINT offset;
        bool compress;
    };
    for (const Case& c : {Case{L"E:\\a.txt", 0, true}, Case{L"C:\\a.txt.tdz", 1, false}}) {
        ComRef<IShellExtInit> init(CreateShellExt<IShellExtInit>(IID_IShellExtInit));
        ASSERT_NE(nullptr, init.Get());
        ASSERT_EQ(S_OK, InitializeWith(init.Get(), {c.path}));
        ComRef<IContextMenu> menu;
        ASSERT_EQ(S_OK, init->QueryInterface(IID_IContextMenu, menu.Out()));
        HMENU popup = FileManagerMenu();

        const HRESULT hr = menu->QueryContextMenu(popup, 1, 500, 600, CMF_NORMAL | CMF_EXPLORE);
        EXPECT_EQ(SEVERITY_SUCCESS, HRESULT_SEVERITY(hr));
        EXPECT_EQ(static_cast<int>(c.offset + 1), HRESULT_CODE(hr)) << "ids taken";
        ASSERT_EQ(4, GetMenuItemCount(popup));
        EXPECT_EQ(L"Open", EntryAt(popup, 0).text);
        EXPECT_TRUE(EntryAt(popup, 1).separator);
        const MenuEntry item = EntryAt(popup, 2);
        EXPECT_FALSE(item.separator);
        EXPECT_EQ(500 + c.offset, item.id);
        if (const wchar_t* expected = ExpectedMenuText(c.compress)) {
            EXPECT_EQ(expected, item.text);
        }
        EXPECT_FALSE(item.text.empty());
        EXPECT_EQ(L"Properties", EntryAt(popup, 3).text);

        // A double-click asks for the default item only: nothing is added.
        HMENU other = FileManagerMenu();
        EXPECT_EQ(0, HRESULT_CODE(menu->QueryContextMenu(other, 0, 500, 600, CMF_DEFAULTONLY)));
        EXPECT_EQ(2, GetMenuItemCount(other));
        DestroyMenu(other);
        DestroyMenu(popup);
    }
}

TEST_F(ContextMenuTest, CommandStringsGiveVerbsAndHelpTexts) {
    ComRef<IContextMenu> menu(CreateShellExt<IContextMenu>(IID_IContextMenu));
    ASSERT_NE(nullptr, menu.Get());
    char narrow[64];
    wchar_t wide[64];
    auto* wideOut = reinterpret_cast<char*>(wide);

    EXPECT_EQ(S_OK, menu->GetCommandString(0, GCS_VERBA, nullptr, narrow, 64));
    EXPECT_STREQ("td_compress", narrow);
    EXPECT_EQ(S_OK, menu->GetCommandString(1, GCS_VERBA, nullptr, narrow, 64));
    EXPECT_STREQ("td_decompress", narrow);
    EXPECT_EQ(S_OK, menu->GetCommandString(0, GCS_VERBW, nullptr, wideOut, 64));
    EXPECT_STREQ(L"td_compress", wide);
    EXPECT_EQ(S_OK, menu->GetCommandString(1, GCS_VERBW, nullptr, wideOut, 64));
    EXPECT_STREQ(L"td_decompress", wide);

    if (ExpectedMenuText(true) != nullptr) {
        EXPECT_EQ(S_OK, menu->GetCommandString(0, GCS_HELPTEXTA, nullptr, narrow, 64));
        EXPECT_STREQ("Compress with Tandrel", narrow);
        EXPECT_EQ(S_OK, menu->GetCommandString(1, GCS_HELPTEXTW, nullptr, wideOut, 64));
        EXPECT_STREQ(L"Decompress with Tandrel", wide);
        // A short buffer gets the beginning of the text, terminated.
        EXPECT_EQ(S_OK, menu->GetCommandString(1, GCS_HELPTEXTW, nullptr, wideOut, 5));
        EXPECT_STREQ(L"Deco", wide);
    }

    // Validation and unknown types write nothing.
    std::memset(narrow, 'x', sizeof(narrow));
    EXPECT_EQ(S_OK, menu->GetCommandString(0, GCS_VALIDATEA, nullptr, narrow, 64));
    EXPECT_EQ(S_OK, menu->GetCommandString(0, GCS_VALIDATEW, nullptr, narrow, 64));
    EXPECT_EQ(S_OK, menu->GetCommandString(0, 3, nullptr, narrow, 64));
    EXPECT_EQ('x', narrow[0]);

    EXPECT_EQ(E_INVALIDARG, menu->GetCommandString(2, GCS_VERBA, nullptr, narrow, 64));
    EXPECT_EQ(E_INVALIDARG, menu->GetCommandString(2, GCS_VALIDATEA, nullptr, narrow, 64));
}

TEST_F(ContextMenuTest, CommandStringsNeverWriteOutsideTheBuffer) {
    ComRef<IContextMenu> menu(CreateShellExt<IContextMenu>(IID_IContextMenu));
    ASSERT_NE(nullptr, menu.Get());
    wchar_t wide[8];
    char narrow[8];
    std::wmemset(wide, L'#', 8);
    EXPECT_EQ(kInsufficientBuffer,
              menu->GetCommandString(0, GCS_VERBW, nullptr, reinterpret_cast<char*>(wide), 5));
    EXPECT_STREQ(L"td_c", wide);
    EXPECT_EQ(L'#', wide[5]);

    std::memset(narrow, '#', 8);
    EXPECT_EQ(kInsufficientBuffer, menu->GetCommandString(1, GCS_VERBA, nullptr, narrow, 3));
    EXPECT_STREQ("td", narrow);
    EXPECT_EQ('#', narrow[3]);

    // A length of 0 or one beyond a signed 32-bit count is refused, the
    // buffer untouched; for help texts too, where a length of 0 would make
    // the string loader store a pointer into the buffer.
    std::memset(narrow, '#', 8);
    for (UINT type : {GCS_VERBA, GCS_VERBW, GCS_HELPTEXTA, GCS_HELPTEXTW}) {
        EXPECT_EQ(E_INVALIDARG, menu->GetCommandString(0, type, nullptr, narrow, 0)) << type;
        EXPECT_EQ(E_INVALIDARG, menu->GetCommandString(0, type, nullptr, narrow, 0x80000000u)) << type;
        EXPECT_EQ(E_INVALIDARG, menu->GetCommandString(0, type, nullptr, nullptr, 8)) << type;
    }
    EXPECT_EQ(std::string(8, '#'), std::string(narrow, 8));
}

}  // namespace
