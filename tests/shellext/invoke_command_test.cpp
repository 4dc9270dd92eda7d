// Choosing the item starts the tray program's installed executable with
// "-c " or "-d " and the bare path. A recorder stands at that path and
// writes down how it was started.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "shellext_test_support.h"

namespace {

std::wstring PathOfLength(size_t length) {
    std::wstring path = L"E:\\";
    while (path.size() + 4 < length) path += L'p';
    return path + L".txt";
}

class InvokeCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        expected_ = ExpectedNt6Executable();
        ASSERT_FALSE(expected_.empty());
        recorder_ = std::make_unique<RecorderAtInstallPath>(expected_);
        ASSERT_TRUE(recorder_->Ok()) << "cannot place the recorder at " << Narrow(expected_);
        ASSERT_TRUE(drives_.SetDrives({L"E:"}));
    }

    // A CShellExt initialized with one selected file.
    ComRef<IContextMenu> MenuFor(const std::wstring& path) {
        ComRef<IContextMenu> menu(CreateShellExt<IContextMenu>(IID_IContextMenu));
        if (menu.Get() == nullptr) return menu;
        ComRef<IShellExtInit> init;
        EXPECT_EQ(S_OK, menu->QueryInterface(IID_IShellExtInit, init.Out()));
        EXPECT_EQ(S_OK, InitializeWith(init.Get(), {path}));
        return menu;
    }

    std::wstring expected_;
    std::unique_ptr<RecorderAtInstallPath> recorder_;
    CurrentDriveFixture drives_{HKEY_CURRENT_USER};
};

TEST_F(InvokeCommandTest, VerbsStartTheInstalledProgramWithSwitchAndBarePath) {
    const std::wstring blanks = L"E:\\Quarterly Reports\\Q3 summary.doc";
    const std::wstring container = L"C:\\Users\\me\\My Files\\old notes.txt.tdz";
    {
        ComRef<IContextMenu> menu = MenuFor(blanks);
        ASSERT_NE(nullptr, menu.Get());
        CMINVOKECOMMANDINFO info = InvocationA("TD_Compress");
        EXPECT_EQ(S_OK, menu->InvokeCommand(&info));
        info = InvocationA(MAKEINTRESOURCEA(0));
        EXPECT_EQ(S_OK, menu->InvokeCommand(&info));
    }
    {
        ComRef<IContextMenu> menu = MenuFor(container);
        ASSERT_NE(nullptr, menu.Get());
        CMINVOKECOMMANDINFO info = InvocationA("td_decompress");
        EXPECT_EQ(S_OK, menu->InvokeCommand(&info));
    }
    auto starts = recorder_->WaitForStarts(3);
    std::sort(starts.begin(), starts.end());
    ASSERT_EQ(3u, starts.size());
    EXPECT_EQ(L"-c " + blanks, starts[0]);
    EXPECT_EQ(L"-c " + blanks, starts[1]);
    EXPECT_EQ(L"-d " + container, starts[2]);
}

TEST_F(InvokeCommandTest, ExtendedRecordsCarryUtf16VerbsOrOffsets) {
    const std::wstring path = L"E:\\data\\x.bin";
    ComRef<IContextMenu> menu = MenuFor(path);
    ASSERT_NE(nullptr, menu.Get());

    CMINVOKECOMMANDINFOEX ex = {};
    ex.cbSize = sizeof(ex);
    ex.fMask = CMIC_MASK_UNICODE;
    ex.lpVerb = "td_compress";  // ignored: the UTF-16 verb is the one read
    ex.lpVerbW = L"TD_DECOMPRESS";
    EXPECT_EQ(S_OK, menu->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&ex)));

    // No UTF-16 string: the offset is the low word of the 8-bit field.
    ex.lpVerbW = nullptr;
    ex.lpVerb = MAKEINTRESOURCEA(0);
    EXPECT_EQ(S_OK, menu->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&ex)));

    // A record too short for the extended fields: its 8-bit verb is used.
    CMINVOKECOMMANDINFO shortRecord = InvocationA("td_decompress");
    shortRecord.fMask = CMIC_MASK_UNICODE;
    EXPECT_EQ(S_OK, menu->InvokeCommand(&shortRecord));

    auto starts = recorder_->WaitForStarts(3);
    std::sort(starts.begin(), starts.end());
    ASSERT_EQ(3u, starts.size());
    EXPECT_EQ(L"-c " + path, starts[0]);
    EXPECT_EQ(L"-d " + path, starts[1]);
    EXPECT_EQ(L"-d " + path, starts[2]);
}

TEST_F(InvokeCommandTest, UnknownVerbsAndOffsetsStartNothing) {
    ComRef<IContextMenu> menu = MenuFor(L"E:\\a.txt");
    ASSERT_NE(nullptr, menu.Get());
    CMINVOKECOMMANDINFO info = InvocationA("open");
    EXPECT_EQ(E_FAIL, menu->InvokeCommand(&info));
    info = InvocationA("td_compress ");
    EXPECT_EQ(E_FAIL, menu->InvokeCommand(&info));
    info = InvocationA(MAKEINTRESOURCEA(2));
    EXPECT_EQ(E_FAIL, menu->InvokeCommand(&info));
    CMINVOKECOMMANDINFOEX ex = {};
    ex.cbSize = sizeof(ex);
    ex.fMask = CMIC_MASK_UNICODE;
    ex.lpVerb = "td_compress";
    ex.lpVerbW = L"properties";
    EXPECT_EQ(E_FAIL, menu->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&ex)));
    EXPECT_EQ(E_INVALIDARG, menu->InvokeCommand(nullptr));

    // One good start afterwards, and it is the only one.
    info = InvocationA("td_compress");
    EXPECT_EQ(S_OK, menu->InvokeCommand(&info));
    ASSERT_EQ(1u, recorder_->WaitForStarts(1).size());
    Sleep(300);
    const auto starts = recorder_->Starts();
    ASSERT_EQ(1u, starts.size());
    EXPECT_EQ(L"-c E:\\a.txt", starts[0]);
}

TEST_F(InvokeCommandTest, LongestSelectablePathFitsTheParameters) {
    const std::wstring path = PathOfLength(259);
    ASSERT_EQ(259u, path.size());
    ComRef<IContextMenu> menu = MenuFor(path);
    ASSERT_NE(nullptr, menu.Get());
    CMINVOKECOMMANDINFO info = InvocationA("td_compress");
    EXPECT_EQ(S_OK, menu->InvokeCommand(&info));
    const auto starts = recorder_->WaitForStarts(1);
    ASSERT_EQ(1u, starts.size());
    EXPECT_EQ(L"-c " + path, starts[0]);
}

TEST_F(InvokeCommandTest, NoSelectionOrNoProgramIsReportedAsFailure) {
    // After a selection of two files there is no file to hand over.
    ComRef<IContextMenu> menu(CreateShellExt<IContextMenu>(IID_IContextMenu));
    ASSERT_NE(nullptr, menu.Get());
    ComRef<IShellExtInit> init;
    ASSERT_EQ(S_OK, menu->QueryInterface(IID_IShellExtInit, init.Out()));
    ASSERT_EQ(S_OK, InitializeWith(init.Get(), {L"E:\\a.txt"}));
    ASSERT_EQ(S_OK, InitializeWith(init.Get(), {L"E:\\a.txt", L"E:\\b.txt"}));
    CMINVOKECOMMANDINFO info = InvocationA("td_compress");
    EXPECT_EQ(E_FAIL, menu->InvokeCommand(&info));

    // The program is not where the extension looks for it.
    recorder_->RemoveExecutable();
    ComRef<IContextMenu> single = MenuFor(L"E:\\a.txt");
    ASSERT_NE(nullptr, single.Get());
    EXPECT_TRUE(FAILED(single->InvokeCommand(&info)));
    Sleep(300);
    EXPECT_TRUE(recorder_->Starts().empty());
}

}  // namespace
