#include "container/eligibility.h"

#include "base/container_name.h"
#include "container/job_constants.h"
#include "container/text_compare.h"

namespace {

constexpr const wchar_t* kExcludedFromCompression[] = {
    L".tmp", L".jpg", L".mp3", L".mpg", L".mp4", L".wma", L".wmv", L".zip", L".lzh", L".lock",
};

// Programs that must keep running from the drive: ours, and those a device
// maker ships on it.
constexpr const wchar_t* kProtectedProgramPrefixes[] = {L"Tandrel", L"Decompression", L"Pellantrowick"};
constexpr wchar_t kProtectedProgramPart[] = L"Quorvalhelp";  // matched with case, anywhere

}  // namespace

const wchar_t* PathFileName(const wchar_t* path)
{
    const wchar_t* name = path;
    for (const wchar_t* p = path; *p != 0; ++p) {
        if (*p == L'\\' || *p == L'/')
            name = p + 1;
    }
    return name;
}

const wchar_t* PathExtension(const wchar_t* path)
{
    const wchar_t* name = PathFileName(path);
    const wchar_t* dot = nullptr;
    const wchar_t* p = name;
    for (; *p != 0; ++p) {
        if (*p == L'.')
            dot = p;
    }
    return dot != nullptr ? dot : p;
}

uint32_t ExtensionFilter(uint32_t mode, const wchar_t* extension)
{
    // Containers: for decompression only, never for compression.
    if (HasContainerExtension(extension))
        return mode == kOperationDecompress ? 1 : 0;
    if (mode == kOperationDecompress)
        return 0;
    for (const wchar_t* excluded : kExcludedFromCompression) {
        if (EqualsIgnoringAsciiCase(extension, excluded))
            return 0;
    }
    return 1;
}

ResultCode CheckSpecialName(const wchar_t* path)
{
    if (HasContainerExtension(path))
        return kSkipContainer;
    const wchar_t* extension = PathExtension(path);
    if (EqualsIgnoringAsciiCase(extension, L".tmp"))
        return kSkipTmpFile;
    if (!EqualsIgnoringAsciiCase(extension, L".exe"))
        return 0;
    const wchar_t* name = PathFileName(path);
    for (const wchar_t* prefix : kProtectedProgramPrefixes) {
        if (StartsWithIgnoringAsciiCase(name, prefix))
            return kSkipOwnProgram;
    }
    if (Contains(name, kProtectedProgramPart))
        return kSkipOwnProgram;
    return 0;
}
