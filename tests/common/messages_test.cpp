// Which job results reach the user, with which text, name and icon.
#include <gtest/gtest.h>

#include <cwchar>
#include <thread>

#include "common/display_name.h"
#include "common/job_failure.h"
#include "common/message_box.h"
#include "common/program_style.h"
#include "base/ui_language.h"
#include "modal_run.h"
#include "window_probe.h"

using probe::Narrow;

namespace {

JobRecord Job(const wchar_t* folder, const wchar_t* name, uint32_t operation)
{
    JobRecord job{};
    wcsncpy(job.folder, folder, kPathUnits - 1);
    wcsncpy(job.name, name, kPathUnits - 1);
    job.operation = operation;
    return job;
}

class JobMessages : public ::testing::Test {
protected:
    void SetUp() override { SetProgramStyle(kTandrelStyle); }
    void TearDown() override { SetProgramStyle(kTandrelStyle); }
};

}  // namespace

TEST(DisplayNames, CutAfter32UnitsAndDropTheContainerExtension)
{
    EXPECT_EQ(ShortenName(L"abcdefghijklmnopqrstuvwxyz012345"), L"abcdefghijklmnopqrstuvwxyz012345");
    EXPECT_EQ(ShortenName(L"abcdefghijklmnopqrstuvwxyz0123456"), L"abcdefghijklmnopqrstuvwxyz012345...");
    EXPECT_EQ(ShortenName(L""), L"");
    EXPECT_EQ(ShortenName(nullptr), L"");
    EXPECT_EQ(JobDisplayName(L"E:\\a\\report.txt", true), L"report.txt");
    EXPECT_EQ(JobDisplayName(L"E:\\a\\report.txt.tdz", false), L"report.txt");
    EXPECT_EQ(JobDisplayName(L"E:\\a.b\\noext", false), L"noext");
    EXPECT_EQ(JobDisplayName(L"E:report.tdz", false), L"report");
}

TEST(UiLanguageIds, TheEighteenRightToLeftLanguages)
{
    int count = 0;
    for (unsigned id = 0; id <= 0xFFFF; ++id)
        count += IsRightToLeftLanguageId(static_cast<LANGID>(id)) ? 1 : 0;
    EXPECT_EQ(count, 18);
    for (LANGID id : {0x0401, 0x0801, 0x0C01, 0x2001, 0x3C01, 0x4001, 0x0420, 0x0429})
        EXPECT_TRUE(IsRightToLeftLanguageId(id)) << std::hex << id;
    for (LANGID id : {0x0001, 0x4401, 0x0409, 0x040D, 0x0411, 0x0421})
        EXPECT_FALSE(IsRightToLeftLanguageId(id)) << std::hex << id;
}

TEST_F(JobMessages, OnlyFailuresAndTooLongNamesAreReportedAndInUseOnlyForASingleRequest)
{
    for (JobReporter who : {JobReporter::Frame, JobReporter::SingleRequest}) {
        EXPECT_FALSE(IsReportedJobResult(kResultDone, who));
        EXPECT_FALSE(IsReportedJobResult(kResultCancelled, who));
        EXPECT_FALSE(IsReportedJobResult(kResultDeclined, who));
        EXPECT_FALSE(IsReportedJobResult(kSkipSmallFile, who));
        EXPECT_FALSE(IsReportedJobResult(kHeaderWrongMagic, who));
        EXPECT_TRUE(IsReportedJobResult(kJobPathTooLong, who));
        EXPECT_TRUE(IsReportedJobResult(kDamagedChecksum, who));
        EXPECT_TRUE(IsReportedJobResult(kDecodeCodecBase + 11, who));
        EXPECT_TRUE(IsReportedJobResult(kDecompressNoSpace, who));
    }
    EXPECT_FALSE(IsReportedJobResult(kResultInUse, JobReporter::Frame));
    EXPECT_TRUE(IsReportedJobResult(kResultInUse, JobReporter::SingleRequest));
}

TEST_F(JobMessages, EachKindHasItsTextNameAndIcon)
{
    const JobRecord compress = Job(L"E:\\a\\", L"report.txt", kOperationCompress);
    const JobRecord decompress = Job(L"E:\\a\\report.txt.tdz", L"", kOperationDecompress);
    const JobReporter frame = JobReporter::Frame;
    const JobReporter single = JobReporter::SingleRequest;

    JobFailureMessage m = DescribeJobFailure(compress, kEncodeWriteDiskFull, frame);
    EXPECT_EQ(m.text, L"report.txt\n\nFree space is not enough.");
    EXPECT_EQ(m.type, static_cast<UINT>(MB_OK | MB_ICONERROR));

    m = DescribeJobFailure(decompress, kDamagedSizeMismatch, single);
    EXPECT_EQ(m.text, L"report.txt\n\nFile is corrupted.");

    m = DescribeJobFailure(decompress, kDecodeCodecBase + 11, single);
    EXPECT_EQ(m.text, L"report.txt\n\nFile decompression has failed. (9003900B)");
    EXPECT_EQ(m.type, static_cast<UINT>(MB_OK | MB_ICONERROR));

    m = DescribeJobFailure(compress, kOpenFailed, frame);
    EXPECT_EQ(m.text, L"report.txt\n\nFile compression has failed. (30018000)");

    m = DescribeJobFailure(compress, kParkSourceInUse, frame);
    EXPECT_EQ(m.text, L"report.txt\n\nFile cannot be compressed because it is used for other program.");
    m = DescribeJobFailure(decompress, kResultInUse, single);
    EXPECT_EQ(m.text, L"report.txt\n\nFile cannot be decompressed because it is used for other program.");

    // A name too long shows the whole path and no icon.
    m = DescribeJobFailure(compress, kJobPathTooLong, frame);
    EXPECT_EQ(m.text, L"E:\\a\\report.txt\n\nThe target file could not be compressed or decompressed, because the "
                      L"file name was too long.");
    EXPECT_EQ(m.type, static_cast<UINT>(MB_OK));
}

TEST_F(JobMessages, TheFrameNamesAJobByItsNameFieldWhenTheJoinedPathIsTooLong)
{
    std::wstring folder = L"E:\\" + std::wstring(200, L'f') + L"\\";
    std::wstring name = std::wstring(60, L'd') + L"\\deep.txt";  // joined: 273 units
    const JobRecord job = Job(folder.c_str(), name.c_str(), kOperationCompress);
    EXPECT_EQ(DescribeJobFailure(job, kEncodeReadFailed, JobReporter::Frame).text,
              name + L"\n\nFile compression has failed. (80018001)");
    // A single request joins into one path buffer and names the last component.
    // (259 units: the cut falls inside the sub-folder's name).
    EXPECT_EQ(DescribeJobFailure(job, kEncodeReadFailed, JobReporter::SingleRequest).text,
              std::wstring(55, L'd') + L"\n\nFile compression has failed. (80018001)");
}

TEST_F(JobMessages, DecompressionHasItsOwnTooLongTextAndNoRightToLeftBits)
{
    SetProgramStyle(kDecompressionStyle);
    EXPECT_EQ(MessageBoxType(MB_ICONERROR), static_cast<UINT>(MB_ICONERROR));
    // Under this table 61245 is the tray program's administrator question;
    // Decompression's own table holds the too-long text there.
    EXPECT_EQ(GetProgramStyle().nameTooLongTextId, 61245u);
    SetProgramStyle(kTandrelStyle);
    EXPECT_EQ(GetProgramStyle().nameTooLongTextId, 61266u);
    EXPECT_EQ(MessageBoxType(0x124) & ~kRightToLeftMessageBox, 0x124u);
}

TEST_F(JobMessages, ReportShowsOneBoxWithCaptionAndReturnsWhenItIsClosed)
{
    const JobRecord job = Job(L"E:\\report.txt.tdz", L"", kOperationDecompress);
    DWORD self = ::GetCurrentThreadId();
    std::thread user([self] {
        HWND box = probe::WaitForThreadWindow(self, MessageBoxWindow());
        EXPECT_NE(box, nullptr);
        if (!box)
            return;
        EXPECT_EQ(probe::Text(box), L"Tandrel");
        EXPECT_EQ(probe::MessageBoxText(box), L"report.txt\n\nFile is corrupted.");
        probe::Click(box, IDOK);
    });
    ReportJobFailure(nullptr, job, kDamagedChecksum, JobReporter::SingleRequest);
    user.join();
}
