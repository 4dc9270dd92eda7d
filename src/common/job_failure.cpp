#include "common/job_failure.h"

#include <cwchar>

#include "common/display_name.h"
#include "common/message_box.h"
#include "common/program_style.h"
#include "common/resource_ids.h"
#include "ui/text.h"

namespace {

// The frame joins into 520 units; a single request into one path buffer,
// cut to fit.
std::wstring JoinJobPath(const JobRecord& job, JobReporter reporter)
{
    std::wstring path = std::wstring(job.folder, wcsnlen(job.folder, kPathUnits)) +
                        std::wstring(job.name, wcsnlen(job.name, kPathUnits));
    size_t limit = (reporter == JobReporter::Frame ? 2 * kPathUnits : kPathUnits) - 1;
    if (path.size() > limit)
        path.resize(limit);
    return path;
}

}  // namespace

bool IsReportedJobResult(ResultCode result, JobReporter reporter)
{
    if (reporter == JobReporter::SingleRequest && result == kResultInUse)
        return true;
    return IsReportedToUser(result);
}

namespace {

// A job that ended with its file parked says where the only copy is.
std::wstring WithParkedCopy(const JobRecord& job, std::wstring text)
{
    const size_t length = wcsnlen(job.parkedPath, kPathUnits);
    if (length == 0 || length == kPathUnits)
        return text;
    return FormatText(L"%s\n\n%s\n%s", text.c_str(), LoadText(IDS_PARKED_COPY_KEPT).c_str(), job.parkedPath);
}

}  // namespace

JobFailureMessage DescribeJobFailure(const JobRecord& job, ResultCode result, JobReporter reporter)
{
    const bool compress = job.operation == kOperationCompress;
    const std::wstring path = JoinJobPath(job, reporter);
    std::wstring name = JobDisplayName(path, compress);
    if (reporter == JobReporter::Frame && path.size() > kPathUnits)
        name.assign(job.name, wcsnlen(job.name, kPathUnits));

    const uint32_t kind = ResultKind(result);
    UINT textId = 0;
    if (kind == kKindPathTooLong) {
        std::wstring text = LoadText(GetProgramStyle().nameTooLongTextId);
        return {FormatText(L"%s\n\n%s", path.c_str(), text.c_str()), MB_OK};
    }
    if (kind == kKindDiskFull)
        textId = IDS_DISK_FULL;
    else if (kind == kKindDamaged)
        textId = IDS_FILE_CORRUPTED;
    else if (kind == kKindFileInUse || (reporter == JobReporter::SingleRequest && result == kResultInUse))
        textId = compress ? IDS_COMPRESS_IN_USE : IDS_DECOMPRESS_IN_USE;

    if (textId != 0) {
        std::wstring text = LoadText(textId);
        return {WithParkedCopy(job, FormatText(L"%s\n\n%s", name.c_str(), text.c_str())), MB_OK | MB_ICONERROR};
    }
    std::wstring text = LoadText(compress ? IDS_COMPRESS_FAILED : IDS_DECOMPRESS_FAILED);
    return {WithParkedCopy(job, FormatText(L"%s\n\n%s (%08X)", name.c_str(), text.c_str(), result)),
            MB_OK | MB_ICONERROR};
}

void ReportJobFailure(HWND owner, const JobRecord& job, ResultCode result, JobReporter reporter)
{
    JobFailureMessage message = DescribeJobFailure(job, result, reporter);
    ShowMessage(owner, message.text, message.type);
}
