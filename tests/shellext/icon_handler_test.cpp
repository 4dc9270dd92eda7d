// The icon side of CShellExt: a container shows the icon of the type it
// holds (followed through real registry entries), container files carry the
// overlay, and IPersistFile hands over the container's name.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "shellext_test_support.h"

namespace {

struct Location {
    HRESULT hr;
    std::wstring file;
    int index;
};

// A file type made for one test: HKCR\<extension> = progId, and optionally
// HKCR\<progId>\DefaultIcon.
class FileTypeFixture final {
public:
    FileTypeFixture(const std::wstring& extension, const std::wstring& progId)
        : extension_(HKEY_CLASSES_ROOT, extension), progIdKey_(HKEY_CLASSES_ROOT, progId),
          progId_(progId) {
        EXPECT_TRUE(extension_.Ok() && progIdKey_.Ok());
        EXPECT_TRUE(extension_.SetString(nullptr, progId));
    }
    bool SetIcon(const std::wstring& value, DWORD type = REG_SZ) {
        if (!icon_) icon_ = std::make_unique<ScratchKey>(HKEY_CLASSES_ROOT, progId_ + L"\\DefaultIcon");
        return icon_->SetString(nullptr, value, type);
    }
    ScratchKey& Extension() { return extension_; }
    ScratchKey& Icon() { return *icon_; }

private:
    ScratchKey extension_;
    ScratchKey progIdKey_;
    std::wstring progId_;
    std::unique_ptr<ScratchKey> icon_;
};

Location IconOf(const std::wstring& container, UINT room = MAX_PATH) {
    ComRef<IPersistFile> persist(CreateShellExt<IPersistFile>(IID_IPersistFile));
    if (persist.Get() == nullptr) return {E_UNEXPECTED, L"", 0};
    EXPECT_EQ(S_OK, persist->Load(container.c_str(), STGM_READ));
    ComRef<IExtractIconW> extract;
    EXPECT_EQ(S_OK, persist->QueryInterface(IID_IExtractIconW, extract.Out()));
    std::wstring file(room + 1, L'#');
    int index = 12345;
    UINT flags = 0xFFFF;
    const HRESULT hr = extract->GetIconLocation(GIL_FORSHELL, &file[0], room, &index, &flags);
    EXPECT_EQ(L'#', file[room]) << "written past the room given";
    if (hr != S_OK) return {hr, L"", index};
    EXPECT_EQ(0u, flags);
    return {hr, file.c_str(), index};
}

std::wstring Expand(const wchar_t* text) {
    wchar_t out[MAX_PATH];
    ExpandEnvironmentStringsW(text, out, MAX_PATH);
    return out;
}

TEST(IconLocation, FollowsTheStoredExtensionToItsDefaultIcon) {
    FileTypeFixture type(L".tdztest1", L"TdzTest.Document1");
    ASSERT_TRUE(type.SetIcon(L"C:\\Icons\\document.ico"));
    Location at = IconOf(L"C:\\data\\report.tdztest1.tdz");
    EXPECT_EQ(S_OK, at.hr);
    EXPECT_EQ(L"C:\\Icons\\document.ico", at.file);
    EXPECT_EQ(0, at.index);

    // The extension's case does not matter to the registry.
    EXPECT_EQ(S_OK, IconOf(L"C:\\DATA\\REPORT.TDZTEST1.TDZ").hr);
    // Only the last extension before the container's own counts.
    EXPECT_EQ(S_OK, IconOf(L"C:\\data\\v1.2.report.tdztest1.tdz").hr);

    ASSERT_TRUE(type.SetIcon(L"\"C:\\Program Files\\Writer, Ltd\\writer.exe\",2"));
    at = IconOf(L"C:\\data\\report.tdztest1.tdz");
    EXPECT_EQ(S_OK, at.hr);
    EXPECT_EQ(L"C:\\Program Files\\Writer, Ltd\\writer.exe", at.file);
    EXPECT_EQ(2, at.index);

    ASSERT_TRUE(type.SetIcon(L"\"C:\\Icons\\quoted.ico\""));
    at = IconOf(L"C:\\data\\report.tdztest1.tdz");
    EXPECT_EQ(L"C:\\Icons\\quoted.ico", at.file);
    EXPECT_EQ(0, at.index);

    // Types whose files carry their own icon: a location naming no file.
    ASSERT_TRUE(type.SetIcon(L"%1"));
    at = IconOf(L"C:\\data\\report.tdztest1.tdz");
    EXPECT_EQ(S_OK, at.hr);
    EXPECT_EQ(L"%1", at.file);
    EXPECT_EQ(0, at.index);

    // A lone quote is not a pair of quotes.
    ASSERT_TRUE(type.SetIcon(L"\""));
    at = IconOf(L"C:\\data\\report.tdztest1.tdz");
    EXPECT_EQ(S_OK, at.hr);
    EXPECT_EQ(L"\"", at.file);
}

TEST(IconLocation, ExpandsEnvironmentVariablesAndKeepsNegativeIndexes) {
    FileTypeFixture type(L".tdztest2", L"TdzTest.Document2");
    ASSERT_TRUE(type.SetIcon(L"%SystemRoot%\\system32\\shell32.dll,-3", REG_EXPAND_SZ));
    Location at = IconOf(L"C:\\data\\report.tdztest2.tdz");
    EXPECT_EQ(S_OK, at.hr);
    EXPECT_EQ(Expand(L"%SystemRoot%\\system32\\shell32.dll"), at.file);
    EXPECT_NE(std::wstring::npos, at.file.find(L":\\"));
    EXPECT_EQ(-3, at.index);

    ASSERT_TRUE(SetEnvironmentVariableW(L"TDZ_ICON_HOME", L"D:\\Icon Home"));
    ASSERT_TRUE(type.SetIcon(L"\"%TDZ_ICON_HOME%\\doc, icon.ico\",-12", REG_EXPAND_SZ));
    at = IconOf(L"C:\\data\\report.tdztest2.tdz");
    EXPECT_EQ(S_OK, at.hr);
    EXPECT_EQ(L"D:\\Icon Home\\doc, icon.ico", at.file);
    EXPECT_EQ(-12, at.index);
    SetEnvironmentVariableW(L"TDZ_ICON_HOME", nullptr);
}

TEST(IconLocation, NoLocationWithoutUsableEntries) {
    EXPECT_EQ(S_FALSE, IconOf(L"C:\\data\\report.tdzunregistered.tdz").hr);

    FileTypeFixture type(L".tdztest3", L"TdzTest.Document3");
    EXPECT_EQ(S_FALSE, IconOf(L"C:\\data\\report.tdztest3.tdz").hr) << "no DefaultIcon";

    ASSERT_TRUE(type.SetIcon(L"C:\\Icons\\document.ico"));
    const DWORD number = 5;
    ASSERT_TRUE(type.Icon().SetBytes(nullptr, &number, sizeof(number), REG_DWORD));
    EXPECT_EQ(S_FALSE, IconOf(L"C:\\data\\report.tdztest3.tdz").hr) << "DefaultIcon not a string";

    ASSERT_TRUE(type.SetIcon(L"C:\\Icons\\document.ico"));
    ASSERT_TRUE(type.Extension().SetString(nullptr, L"TdzTest.Document3", REG_EXPAND_SZ));
    EXPECT_EQ(S_FALSE, IconOf(L"C:\\data\\report.tdztest3.tdz").hr) << "ProgID not REG_SZ";

    // Nothing loaded, or no "." before the container's own extension.
    ComRef<IExtractIconW> extract(CreateShellExt<IExtractIconW>(IID_IExtractIconW));
    ASSERT_NE(nullptr, extract.Get());
    wchar_t file[MAX_PATH];
    int index = 0;
    UINT flags = 0;
    EXPECT_EQ(S_FALSE, extract->GetIconLocation(0, file, MAX_PATH, &index, &flags));
    EXPECT_EQ(S_FALSE, IconOf(L"C:\\data\\report.tdz").hr);
    EXPECT_EQ(S_FALSE, IconOf(L".tdz").hr);
}

TEST(IconLocation, ADotInAFolderNameIsNoExtension) {
    // Even with a key of that very name, the text across the separator is
    // not taken for an extension.
    ScratchKey parent(HKEY_CLASSES_ROOT, L".tdzdir");
    FileTypeFixture type(L".tdzdir\\report", L"TdzTest.Document4");
    ASSERT_TRUE(type.SetIcon(L"C:\\Icons\\document.ico"));
    EXPECT_EQ(S_FALSE, IconOf(L"C:\\my.tdzdir\\report.tdz").hr);
    EXPECT_EQ(S_FALSE, IconOf(L"C:/my.tdzdir/report.tdz").hr);
}

TEST(IconLocation, ValuesOfMoreThan129CharactersAreNotRead) {
    const std::wstring progId129 = L"TdzTest." + std::wstring(121, L'P');
    const std::wstring progId130 = progId129 + L"Q";
    ASSERT_EQ(129u, progId129.size());
    {
        FileTypeFixture type(L".tdztest5", progId129);
        ASSERT_TRUE(type.SetIcon(L"C:\\Icons\\document.ico"));
        EXPECT_EQ(S_OK, IconOf(L"C:\\data\\a.tdztest5.tdz").hr);
    }
    {
        FileTypeFixture type(L".tdztest5", progId130);
        ASSERT_TRUE(type.SetIcon(L"C:\\Icons\\document.ico"));
        EXPECT_EQ(S_FALSE, IconOf(L"C:\\data\\a.tdztest5.tdz").hr);
    }

    FileTypeFixture type(L".tdztest6", L"TdzTest.Document6");
    const std::wstring icon129 = L"C:\\Icons\\" + std::wstring(114, L'i') + L".ico,1";
    ASSERT_EQ(129u, icon129.size());
    ASSERT_TRUE(type.SetIcon(icon129));
    Location at = IconOf(L"C:\\data\\a.tdztest6.tdz");
    EXPECT_EQ(S_OK, at.hr);
    EXPECT_EQ(icon129.substr(0, 127), at.file);
    EXPECT_EQ(1, at.index);
    ASSERT_TRUE(type.SetIcon(icon129 + L"2"));
    EXPECT_EQ(S_FALSE, IconOf(L"C:\\data\\a.tdztest6.tdz").hr);
}

TEST(IconLocation, ALocationThatDoesNotFitIsNotCut) {
    FileTypeFixture type(L".tdztest7", L"TdzTest.Document7");
    ASSERT_TRUE(type.SetIcon(L"C:\\Icons\\document.ico,4"));
    const std::wstring container = L"C:\\data\\a.tdztest7.tdz";
    const UINT fits = static_cast<UINT>(std::wstring(L"C:\\Icons\\document.ico").size() + 1);
    EXPECT_EQ(S_OK, IconOf(container, fits).hr);
    EXPECT_EQ(S_FALSE, IconOf(container, fits - 1).hr);
    ASSERT_TRUE(type.SetIcon(L"\"C:\\Icons\\document.ico\",4"));
    EXPECT_EQ(S_OK, IconOf(container, fits).hr);
    EXPECT_EQ(S_FALSE, IconOf(container, fits - 1).hr);
    ASSERT_TRUE(type.SetIcon(L"%SystemDrive%\\Icons\\document.ico", REG_EXPAND_SZ));
    EXPECT_EQ(S_OK, IconOf(container, fits).hr);
    EXPECT_EQ(S_FALSE, IconOf(container, fits - 1).hr);
    EXPECT_EQ(S_FALSE, IconOf(container, 0).hr);
}

TEST(IconLocation, LoadKeepsTheFirst259Characters) {
    FileTypeFixture type(L".tdztest8", L"TdzTest.Document8");
    ASSERT_TRUE(type.SetIcon(L"C:\\Icons\\document.ico"));
    // The whole 259-character name counts (one character less would end in
    // ".td"), and a longer name counts only up to there.
    std::wstring name = L"C:\\";
    while (name.size() < 259 - 14) name += L'n';
    name += L"x.tdztest8.tdz";
    ASSERT_EQ(259u, name.size());
    EXPECT_EQ(S_OK, IconOf(name).hr);
    EXPECT_EQ(S_OK, IconOf(name + L"-and-41-more-characters-cut-by-Load.zzz").hr);
}

TEST(IconHandler, ExtractLeavesTheWorkToTheFileManager) {
    ComRef<IExtractIconW> extract(CreateShellExt<IExtractIconW>(IID_IExtractIconW));
    ASSERT_NE(nullptr, extract.Get());
    HICON large = nullptr;
    HICON small = nullptr;
    EXPECT_EQ(S_FALSE, extract->Extract(L"C:\\Icons\\document.ico", 0, &large, &small, MAKELONG(32, 16)));
    EXPECT_EQ(nullptr, large);
    EXPECT_EQ(nullptr, small);
}

TEST(OverlayIdentifier, MembersAreNamesEndingInTheContainerExtension) {
    ComRef<IShellIconOverlayIdentifier> overlay(
        CreateShellExt<IShellIconOverlayIdentifier>(IID_IShellIconOverlayIdentifier));
    ASSERT_NE(nullptr, overlay.Get());
    EXPECT_EQ(S_OK, overlay->IsMemberOf(L"C:\\data\\report.doc.tdz", FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(S_OK, overlay->IsMemberOf(L"C:\\data\\REPORT.DOC.TDZ", 0));
    EXPECT_EQ(S_OK, overlay->IsMemberOf(L"\\\\server\\share\\a b.tdz", 0));
    EXPECT_EQ(S_FALSE, overlay->IsMemberOf(L"C:\\data\\report.tdz.doc", 0));
    EXPECT_EQ(S_FALSE, overlay->IsMemberOf(L"C:\\data\\README", 0));
    EXPECT_EQ(S_FALSE, overlay->IsMemberOf(L"C:\\data.tdz\\README", FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(S_FALSE, overlay->IsMemberOf(L"tdz", 0));
    EXPECT_EQ(S_FALSE, overlay->IsMemberOf(L"", 0));
    EXPECT_EQ(S_FALSE, overlay->IsMemberOf(nullptr, 0));
}

TEST(OverlayIdentifier, OverlayIsTheModulesFirstIconAtTopPriority) {
    ComRef<IShellIconOverlayIdentifier> overlay(
        CreateShellExt<IShellIconOverlayIdentifier>(IID_IShellIconOverlayIdentifier));
    ASSERT_NE(nullptr, overlay.Get());
    wchar_t expected[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(TheModule().Handle(), expected, MAX_PATH), 0u);

    wchar_t file[MAX_PATH + 1];
    file[MAX_PATH] = L'#';
    int index = 7;
    DWORD flags = 0;
    ASSERT_EQ(S_OK, overlay->GetOverlayInfo(file, MAX_PATH, &index, &flags));
    EXPECT_EQ(0, lstrcmpiW(expected, file)) << Narrow(file);
    EXPECT_EQ(0, index);
    EXPECT_EQ(static_cast<DWORD>(ISIOI_ICONFILE | ISIOI_ICONINDEX), flags);
    EXPECT_EQ(L'#', file[MAX_PATH]);

    // A buffer too small for the path gets no cut path.
    wchar_t shortBuffer[9];
    shortBuffer[8] = L'#';
    EXPECT_TRUE(FAILED(overlay->GetOverlayInfo(shortBuffer, 8, &index, &flags)));
    EXPECT_EQ(L'#', shortBuffer[8]);
    EXPECT_TRUE(FAILED(overlay->GetOverlayInfo(file, 0, &index, &flags)));
    EXPECT_TRUE(FAILED(overlay->GetOverlayInfo(file, -1, &index, &flags)));

    int priority = 42;
    EXPECT_EQ(S_OK, overlay->GetPriority(&priority));
    EXPECT_EQ(0, priority);

    // The icon it names is there.
    EXPECT_EQ(1u, ExtractIconExW(expected, -1, nullptr, nullptr, 0));
}

TEST(PersistFile, OnlyLoadDoesAnything) {
    ComRef<IPersistFile> persist(CreateShellExt<IPersistFile>(IID_IPersistFile));
    ASSERT_NE(nullptr, persist.Get());
    CLSID classId = {};
    EXPECT_EQ(S_OK, persist->GetClassID(&classId));
    EXPECT_TRUE(IsEqualCLSID(kShellExtClassId, classId));
    EXPECT_EQ(S_FALSE, persist->IsDirty());
    EXPECT_EQ(S_OK, persist->Load(L"C:\\data\\report.doc.tdz", STGM_READ | STGM_SHARE_DENY_NONE));
    EXPECT_EQ(E_FAIL, persist->Save(L"C:\\data\\other.tdz", TRUE));
    EXPECT_EQ(E_FAIL, persist->Save(nullptr, FALSE));
    EXPECT_EQ(S_OK, persist->SaveCompleted(L"C:\\data\\other.tdz"));
    LPOLESTR current = reinterpret_cast<LPOLESTR>(0x1234);
    EXPECT_EQ(E_FAIL, persist->GetCurFile(&current));
    EXPECT_EQ(nullptr, current);
}

}  // namespace
