// What the tests of the compress and decompress operations share: a private
// folder, a notify window that answers replace questions, the reply event.
#pragma once

#include "container/compress_file.h"
#include "container/decompress_file.h"
#include "container/job_constants.h"
#include "file_test_util.h"

class FileOpsTest : public ::testing::Test {
protected:
    explicit FileOpsTest(const std::wstring& root = L"") : folder(root) {}

    ResultCode Compress(const std::wstring& source, HANDLE cancel = nullptr)
    {
        return CompressFile(window.Handle(), cancel, reply.Get(), source.c_str(), (source + L".tdz").c_str(),
                            &replaceAll);
    }
    // The restored path is the container path without ".tdz".
    ResultCode Decompress(const std::wstring& container, HANDLE cancel = nullptr)
    {
        const std::wstring target = container.substr(0, container.size() - 4);
        return DecompressFile(window.Handle(), cancel, reply.Get(), container.c_str(), target.c_str(),
                              &replaceAll);
    }
    // A container of bytes made by CompressFile, at folder / name + ".tdz".
    std::wstring MakeContainer(const std::wstring& name, const Bytes& bytes)
    {
        const std::wstring source = folder / name;
        EXPECT_TRUE(WriteBytes(source, bytes));
        EXPECT_EQ(CompressFile(nullptr, nullptr, nullptr, source.c_str(), (source + L".tdz").c_str(), nullptr), 0u);
        return source + L".tdz";
    }

    WindowsLikeCopy copyLikeWindows;
    TestFolder folder;
    EventHandle reply = NewEvent();
    NotifyWindow window{reply.Get()};
    bool replaceAll = false;
};
