#include "decompression/decompression_app.h"

#include <shellapi.h>

#include "common/message_box.h"
#include "common/parked_copies.h"
#include "common/program_style.h"
#include "common/resource_ids.h"
#include "container/worker_thread.h"
#include "decompression/decompression_dlg.h"
#include "decompression/start_checks.h"
#include "ui/controls.h"
#include "ui/text.h"

namespace {

int CountArguments()
{
    int count = 0;
    LPWSTR* arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!arguments)
        return 0;
    ::LocalFree(arguments);
    return count;
}

}  // namespace

bool CDecompressionApp::InitInstance()
{
    EnableCommonControls();
    SetProgramStyle(kDecompressionStyle);

    if (!IsSupportedSystem()) {
        ShowMessage(nullptr, LoadText(IDS_WRONG_OS), MB_ICONWARNING);
        return false;
    }

    // Whatever an earlier run left in the temporary folder goes back first.
    RestoreParkedCopiesAndReport(nullptr);

    std::wstring path;
    const std::wstring commandText = GetCommandLineText();
    CommandLinePath fromCommandLine = ReadCommandLinePath(commandText, commandText.empty() ? 1 : CountArguments());
    switch (fromCommandLine.source) {
    case PathSource::Ignored:
        return false;
    case PathSource::TooLong: {
        std::wstring text = LoadText(IDS_DECOMPRESSION_NAME_TOO_LONG);
        ShowMessage(nullptr, FormatText(L"%s\n\n%s", fromCommandLine.messageText.c_str(), text.c_str()), MB_OK);
        return false;
    }
    case PathSource::FileDialog:
        if (!AskForContainer(path))
            return false;
        break;
    case PathSource::Path:
        path = fromCommandLine.path;
        break;
    }

    if (!IsContainerPath(path))
        return false;

    ResetJobCounters();
    CProcessingModalDlg::SetWorker(WorkerThread);
    CDecompressionDlg dialog;
    SetMainWnd(&dialog);
    dialog.SetPath(path.c_str());
    dialog.SetOperation(kOperationDecompress);
    dialog.DoModal();
    SetMainWnd(nullptr);
    return false;
}
