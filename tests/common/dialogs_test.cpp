// The replace question and the progress dialogs, driven as a user drives
// them, against a scripted worker.
#include <gtest/gtest.h>

#include <cstdlib>

#include "common/confirm_replace_dlg.h"
#include "common/display_name.h"
#include "common/processing_dlg.h"
#include "common/processing_modal_dlg.h"
#include "common/program_style.h"
#include "common/resource_ids.h"
#include "container/job_constants.h"
#include "fake_worker.h"
#include "app_loop.h"
#include "modal_run.h"
#include "window_probe.h"

using probe::Narrow;

namespace {

const wchar_t kName32[] = L"abcdefghijklmnopqrstuvwxyz012345";    // 32 units: shown whole
const wchar_t kName33[] = L"abcdefghijklmnopqrstuvwxyz0123456";   // 33: cut
const wchar_t kName33Shown[] = L"abcdefghijklmnopqrstuvwxyz012345...";

class ReplaceQuestion : public ::testing::Test {
protected:
    void SetUp() override { SetProgramStyle(kTandrelStyle); }
};

int AnswerOf(bool singleFile, const std::function<void(HWND)>& user)
{
    CConfirmReplaceDlg dialog;
    dialog.SetSingleFile(singleFile);
    dialog.SetMessage(L"question");
    ModalRun run;
    run.Start(dialog);
    HWND hwnd = run.WaitForDialog(WithControl(IDC_REPLACE_YES));
    EXPECT_NE(hwnd, nullptr);
    if (hwnd)
        user(hwnd);
    run.Join();
    return dialog.GetResult();
}

}  // namespace

TEST_F(ReplaceQuestion, ShowsLocalizedButtonsAndTheTextAndAnswersByButton)
{
    CConfirmReplaceDlg dialog;
    dialog.SetMessage(L"File 'x' already exists. Do you want to replace it?");
    ModalRun run;
    run.Start(dialog);
    HWND hwnd = run.WaitForDialog(WithControl(IDC_REPLACE_YES));
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(probe::Text(hwnd), L"Tandrel");
    EXPECT_EQ(probe::ItemText(hwnd, IDC_REPLACE_TEXT), L"File 'x' already exists. Do you want to replace it?");
    EXPECT_EQ(probe::ItemText(hwnd, IDC_REPLACE_YES), L"Yes");
    EXPECT_EQ(probe::ItemText(hwnd, IDC_REPLACE_YES_TO_ALL), L"Yes to All");
    EXPECT_EQ(probe::ItemText(hwnd, IDC_REPLACE_NO), L"No");
    EXPECT_EQ(probe::ItemText(hwnd, IDC_REPLACE_CANCEL), L"Cancel");
    // "R&D plan.txt" shows its "&": no label that shows a name takes prefixes.
    EXPECT_NE(probe::Style(::GetDlgItem(hwnd, IDC_REPLACE_TEXT)) & SS_NOPREFIX, 0u);
    // Opened centred on the screen (it has no owner), not at its top-left corner.
    RECT box{};
    RECT work{};
    ::GetWindowRect(hwnd, &box);
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_LE(std::abs((box.left + box.right) - (work.left + work.right)), 2);
    EXPECT_LE(std::abs((box.top + box.bottom) - (work.top + work.bottom)), 2);
    for (int id : {IDC_REPLACE_YES, IDC_REPLACE_YES_TO_ALL, IDC_REPLACE_NO, IDC_REPLACE_CANCEL})
        EXPECT_TRUE(probe::ItemVisible(hwnd, id)) << id;
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    ASSERT_TRUE(::GetGUIThreadInfo(run.threadId, &info));
    EXPECT_EQ(info.hwndFocus, ::GetDlgItem(hwnd, IDC_REPLACE_YES));
    probe::Click(hwnd, IDC_REPLACE_YES_TO_ALL);
    EXPECT_EQ(run.Join(), IDOK);
    EXPECT_EQ(dialog.GetResult(), static_cast<int>(kAnswerYesToAll));

    EXPECT_EQ(AnswerOf(false, [](HWND h) { probe::Click(h, IDC_REPLACE_YES); }), static_cast<int>(kAnswerYes));
    EXPECT_EQ(AnswerOf(false, [](HWND h) { probe::Click(h, IDC_REPLACE_NO); }), static_cast<int>(kAnswerNo));
    EXPECT_EQ(AnswerOf(false, [](HWND h) { probe::Click(h, IDC_REPLACE_CANCEL); }), static_cast<int>(kAnswerCancel));
}

TEST_F(ReplaceQuestion, EscapeAnswersNoSoNothingIsReplaced)
{
    EXPECT_EQ(AnswerOf(false, probe::PressEscape), static_cast<int>(kAnswerNo));
    EXPECT_EQ(AnswerOf(true, probe::PressEscape), static_cast<int>(kAnswerNo));
    // A question that never opened does not consent either.
    CConfirmReplaceDlg never;
    EXPECT_EQ(never.GetResult(), static_cast<int>(kAnswerNo));
}

TEST_F(ReplaceQuestion, SingleFileOffersOnlyYesAndNoInTheirPlaces)
{
    EXPECT_EQ(AnswerOf(true, [](HWND h) {
        EXPECT_TRUE(probe::ItemVisible(h, IDC_REPLACE_YES));
        EXPECT_TRUE(probe::ItemVisible(h, IDC_REPLACE_NO));
        EXPECT_FALSE(probe::ItemVisible(h, IDC_REPLACE_YES_TO_ALL));
        EXPECT_FALSE(probe::ItemVisible(h, IDC_REPLACE_CANCEL));
        RECT no{};
        ::GetWindowRect(::GetDlgItem(h, IDC_REPLACE_NO), &no);
        RECT yes{};
        ::GetWindowRect(::GetDlgItem(h, IDC_REPLACE_YES), &yes);
        EXPECT_GT(no.left - yes.right, 50);  // the hidden "Yes to All" keeps its gap
        probe::Click(h, IDC_REPLACE_YES);
    }), static_cast<int>(kAnswerYes));
}

namespace {

class ModalProgress : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetProgramStyle(kTandrelStyle);
        fake::Use(&script);
        CProcessingModalDlg::SetWorker(fake::FakeWorker);
    }
    void TearDown() override { CProcessingModalDlg::SetWorker(nullptr); }

    HWND Start(const wchar_t* path, uint32_t operation)
    {
        dialog.SetPath(path);
        dialog.SetOperation(operation);
        run.Start(dialog);
        return run.WaitForDialog(WithControl(IDC_PROGRESS_BAR));
    }

    fake::Script script;
    CProcessingModalDlg dialog;
    ModalRun run;
};

}  // namespace

TEST_F(ModalProgress, SubmitsOneJobAndShowsEachPhaseWithItsTitleCancelStateAndName)
{
    using fake::StepKind;
    script.steps = {{StepKind::Phase, kPhasePrepareCompress, kName33},
                    {StepKind::Progress, 40, L""},
                    {StepKind::Phase, kPhaseCompress, kName32},
                    {StepKind::Phase, kPhaseEndCompress, kName32},
                    {StepKind::Phase, kPhaseEndDecompress, kName32},
                    {StepKind::Phase, 9, kName32},
                    {StepKind::Done, kResultDone, L""}};
    HWND hwnd = Start(L"C:\\data\\report.txt", kOperationCompress);
    ASSERT_NE(hwnd, nullptr);
    ASSERT_TRUE(probe::WaitUntil([&] { return script.gotJob; }));
    EXPECT_STREQ(script.job.folder, L"C:\\data\\report.txt");
    EXPECT_STREQ(script.job.name, L"");
    EXPECT_EQ(script.job.operation, kOperationCompress);
    EXPECT_EQ(script.job.retryMark, 0u);
    EXPECT_EQ(probe::Text(hwnd), L"Processing...");
    EXPECT_EQ(probe::ItemText(hwnd, IDCANCEL), L"Cancel");

    auto titleIs = [&](const wchar_t* title) {
        return probe::WaitUntil([&] { return probe::Text(hwnd) == title; }, 20000);
    };
    ASSERT_TRUE(script.Advance());
    ASSERT_TRUE(titleIs(L"Preparing to Compress file...")) << Narrow(probe::Text(hwnd));
    EXPECT_TRUE(probe::IsVisible(hwnd));
    EXPECT_EQ(probe::ItemText(hwnd, IDC_PROGRESS_LABEL), kName33Shown);
    EXPECT_TRUE(probe::ItemEnabled(hwnd, IDCANCEL));
    EXPECT_EQ(probe::ProgressMax(hwnd, IDC_PROGRESS_BAR), 100);

    ASSERT_TRUE(script.Advance());
    EXPECT_TRUE(probe::WaitUntil([&] { return probe::ProgressPos(hwnd, IDC_PROGRESS_BAR) == 40; }, 20000));

    ASSERT_TRUE(script.Advance());
    ASSERT_TRUE(titleIs(L"Compressing..."));
    EXPECT_EQ(probe::ItemText(hwnd, IDC_PROGRESS_LABEL), kName32);
    EXPECT_EQ(probe::ProgressPos(hwnd, IDC_PROGRESS_BAR), 0);  // each phase starts over

    ASSERT_TRUE(script.Advance());
    ASSERT_TRUE(titleIs(L"Ending compression..."));
    EXPECT_FALSE(probe::ItemEnabled(hwnd, IDCANCEL));
    ASSERT_TRUE(script.Advance());
    ASSERT_TRUE(titleIs(L"Ending decompression..."));
    EXPECT_FALSE(probe::ItemEnabled(hwnd, IDCANCEL));
    ASSERT_TRUE(script.Advance());
    ASSERT_TRUE(titleIs(L"Processing..."));
    EXPECT_TRUE(probe::ItemEnabled(hwnd, IDCANCEL));

    ASSERT_TRUE(script.Advance());
    EXPECT_EQ(run.Join(), IDOK);
    EXPECT_EQ(::WaitForSingleObject(script.finished, 20000), WAIT_OBJECT_0);
    EXPECT_TRUE(script.sawQuit);
}

TEST_F(ModalProgress, AFailedJobIsReportedInABoxOwnedByTheDialog)
{
    script.steps = {{fake::StepKind::Phase, kPhasePrepareDecompress, L"report.txt"},
                    {fake::StepKind::Done, kDamagedChecksum, L""}};
    HWND hwnd = Start(L"C:\\data\\report.txt.tdz", kOperationDecompress);
    ASSERT_NE(hwnd, nullptr);
    ASSERT_TRUE(script.Advance());
    ASSERT_TRUE(script.Advance());
    HWND box = run.WaitForDialog(MessageBoxWindow());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(probe::Text(box), L"Tandrel");
    EXPECT_EQ(probe::MessageBoxText(box), L"report.txt\n\nFile is corrupted.");
    EXPECT_EQ(::GetWindow(box, GW_OWNER), hwnd);
    probe::Click(box, IDOK);
    EXPECT_EQ(run.Join(), IDCANCEL);
}

TEST_F(ModalProgress, AFileStillInUseIsReportedForASingleRequest)
{
    script.steps = {{fake::StepKind::Done, kResultInUse, L""}};
    ASSERT_NE(Start(L"C:\\data\\big.bin", kOperationCompress), nullptr);
    ASSERT_TRUE(script.Advance());
    HWND box = run.WaitForDialog(MessageBoxWindow());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(probe::MessageBoxText(box), L"big.bin\n\nFile cannot be compressed because it is used for other program.");
    probe::Click(box, IDOK);
    EXPECT_EQ(run.Join(), IDCANCEL);
}

TEST_F(ModalProgress, ReplaceQuestionOffersOnlyYesAndNoAndEscapeMeansNo)
{
    script.steps = {{fake::StepKind::Phase, kPhasePrepareDecompress, kName33},
                    {fake::StepKind::Replace, kReplaceModeDecompress, L""},
                    {fake::StepKind::Replace, kReplaceModeDecompress, L""},
                    {fake::StepKind::Done, kResultDeclined, L""}};
    HWND hwnd = Start(L"C:\\data\\x.tdz", kOperationDecompress);
    ASSERT_NE(hwnd, nullptr);
    ASSERT_TRUE(script.Advance());

    ::SetEvent(script.gate);  // the first question; answered below
    HWND question = run.WaitForDialog(WithControl(IDC_REPLACE_YES));
    ASSERT_NE(question, nullptr);
    EXPECT_EQ(probe::ItemText(question, IDC_REPLACE_TEXT),
              std::wstring(L"File '") + kName33Shown + L"' already exists. Do you want to replace it?");
    EXPECT_FALSE(probe::ItemVisible(question, IDC_REPLACE_YES_TO_ALL));
    EXPECT_FALSE(probe::ItemVisible(question, IDC_REPLACE_CANCEL));
    // While the worker waits for the answer its dialog cannot be cancelled.
    EXPECT_FALSE(::IsWindowEnabled(hwnd));
    probe::PressEscape(question);
    ASSERT_EQ(::WaitForSingleObject(script.stepDone, 10000), WAIT_OBJECT_0);
    ASSERT_EQ(script.answers.size(), 1u);
    EXPECT_EQ(script.answers[0], kAnswerNo);
    EXPECT_TRUE(probe::WaitUntil([&] { return ::IsWindowEnabled(hwnd) != FALSE; }, 20000));

    ::SetEvent(script.gate);
    question = run.WaitForDialog(WithControl(IDC_REPLACE_YES));
    ASSERT_NE(question, nullptr);
    probe::Click(question, IDC_REPLACE_YES);
    ASSERT_EQ(::WaitForSingleObject(script.stepDone, 10000), WAIT_OBJECT_0);
    ASSERT_EQ(script.answers.size(), 2u);
    EXPECT_EQ(script.answers[1], kAnswerYes);

    // Declined is no failure: no message, the dialog just ends.
    ASSERT_TRUE(script.Advance());
    EXPECT_EQ(run.Join(), IDCANCEL);
}

// Cancel cancels the job, but the dialog (and with it the program) ends only
// with the job's report: the step that puts a parked file back is not
// cancellable, and the file must not be left in the temporary folder.
TEST_F(ModalProgress, CancelSetsTheCancelEventAndTheDialogShowsItIsFinishingUntilTheJobEnds)
{
    script.steps = {{fake::StepKind::Phase, kPhaseDecompress, L"movie.avi"},
                    {fake::StepKind::WaitForCancel, 0, L""},
                    {fake::StepKind::Phase, kPhaseEndDecompress, L"movie.avi"},
                    {fake::StepKind::Done, kResultCancelled, L""}};
    HWND hwnd = Start(L"C:\\data\\movie.avi.tdz", kOperationDecompress);
    ASSERT_NE(hwnd, nullptr);
    ASSERT_TRUE(script.Advance());
    ASSERT_TRUE(script.Advance());  // the worker now waits for the cancel
    EXPECT_NE(probe::Style(::GetDlgItem(hwnd, IDC_PROGRESS_LABEL)) & SS_NOPREFIX, 0u);
    probe::Click(hwnd, IDCANCEL);
    ASSERT_TRUE(probe::WaitUntil([&] { return script.sawCancel; }, 20000));
    EXPECT_TRUE(probe::WaitUntil([&] { return probe::Text(hwnd) == L"Ending decompression..."; }, 20000))
        << Narrow(probe::Text(hwnd));
    EXPECT_FALSE(probe::ItemEnabled(hwnd, IDCANCEL));
    probe::PumpFor(3500);  // longer than the old 3-second give-up
    EXPECT_TRUE(::IsWindow(hwnd));
    EXPECT_EQ(run.result.load(), -2);
    EXPECT_FALSE(script.sawQuit);

    ASSERT_TRUE(script.Advance());  // the copy back ends
    ASSERT_TRUE(script.Advance());  // the job reports
    EXPECT_EQ(run.Join(), IDCANCEL);
    EXPECT_EQ(::WaitForSingleObject(script.finished, 20000), WAIT_OBJECT_0);
    EXPECT_TRUE(script.sawQuit);
}

TEST_F(ModalProgress, WithoutAWorkerTheDialogEndsWithThree)
{
    CProcessingModalDlg::SetWorker(nullptr);
    dialog.SetPath(L"C:\\x.tdz");
    EXPECT_EQ(dialog.DoModal(), 3);
}

TEST(TrayProgress, ShowsForARunOfJobsHidesAfterTheLastAndCancelHidesAtOnce)
{
    SetProgramStyle(kTandrelStyle);
    HWND frame = ::CreateWindowExW(0, L"STATIC", L"frame", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    HANDLE cancel = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    auto* dialog = new CProcessingDlg;  // deletes itself with its window
    dialog->SetCancelEvent(cancel);
    ASSERT_TRUE(dialog->Create(frame));
    HWND hwnd = dialog->GetHwnd();
    EXPECT_FALSE(probe::IsVisible(hwnd));
    EXPECT_EQ(probe::Text(hwnd), L"Processing...");
    EXPECT_EQ(probe::ItemText(hwnd, IDCANCEL), L"Cancel");
    EXPECT_EQ(::GetWindow(hwnd, GW_OWNER), frame);

    int activeJobs = 0;
    dialog->OnJobQueued(activeJobs);
    dialog->OnJobQueued(activeJobs);
    EXPECT_EQ(activeJobs, 2);
    EXPECT_FALSE(probe::IsVisible(hwnd));  // only a phase shows it
    dialog->OnJobPhase(kPhasePrepareCompress, 100, kName33);
    EXPECT_TRUE(probe::IsVisible(hwnd));
    EXPECT_EQ(probe::Text(hwnd), L"Preparing to Compress file...");
    EXPECT_EQ(probe::ItemText(hwnd, IDC_PROGRESS_LABEL), kName33Shown);
    dialog->OnJobPhase(kPhaseCompress, 100, kName32);
    dialog->OnJobProgress(70);
    EXPECT_EQ(probe::ProgressPos(hwnd, IDC_PROGRESS_BAR), 70);
    dialog->OnJobDone(activeJobs);
    EXPECT_TRUE(probe::IsVisible(hwnd));  // one job left
    EXPECT_EQ(probe::ItemText(hwnd, IDC_PROGRESS_LABEL), L"");
    dialog->OnJobPhase(kPhaseEndCompress, 100, kName32);
    EXPECT_FALSE(probe::ItemEnabled(hwnd, IDCANCEL));
    dialog->OnJobDone(activeJobs);
    EXPECT_EQ(activeJobs, 0);
    EXPECT_FALSE(probe::IsVisible(hwnd));

    // Cancel (or Escape) hides it at once and cancels through the event.
    dialog->OnJobQueued(activeJobs);
    dialog->OnJobPhase(kPhaseCompress, 100, L"a.doc");
    probe::PressEscape(hwnd);
    ASSERT_TRUE(probe::WaitUntil([&] {
        DispatchQueuedAsTheProgramDoes();
        return !probe::IsVisible(hwnd);
    }, 20000));
    EXPECT_EQ(::WaitForSingleObject(cancel, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(::IsWindow(hwnd));  // hidden, never closed
    ::SetEvent(cancel);
    dialog->OnJobDone(activeJobs);
    // The next run starts with the event cleared: the old cancel is spent.
    dialog->OnJobQueued(activeJobs);
    EXPECT_EQ(::WaitForSingleObject(cancel, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    dialog->OnJobPhase(kPhaseCompress, 100, L"b.doc");
    EXPECT_TRUE(probe::IsVisible(hwnd));

    ::DestroyWindow(frame);  // takes the dialog with it
    EXPECT_FALSE(::IsWindow(hwnd));
    ::CloseHandle(cancel);
}

// The 32-unit cut never splits a surrogate pair (an emoji would show as a box).
TEST(DisplayName, TheCutKeepsSurrogatePairsWhole)
{
    const std::wstring a31(31, L'a');
    EXPECT_EQ(ShortenName((a31 + L"\xD83D\xDE00" + L"b").c_str()), a31 + L"...");
    EXPECT_EQ(ShortenName((a31 + L"b\xD83D\xDE00").c_str()), a31 + L"b...");
    EXPECT_EQ(ShortenName((L"R&D" + a31).c_str()), L"R&D" + std::wstring(29, L'a') + L"...");
}
