#include "container/naming.h"

#include <cwchar>

#include "container/eligibility.h"
#include "container/text_compare.h"

size_t Utf16Length(const wchar_t* text)
{
    if constexpr (sizeof(wchar_t) == 2) {
        return std::wcslen(text);
    } else {
        // Where wchar_t holds whole code points, one beyond the basic plane
        // takes two UTF-16 units on Windows.
        size_t units = 0;
        for (; *text != 0; ++text)
            units += (static_cast<uint32_t>(*text) >> 16) != 0 ? 2 : 1;
        return units;
    }
}

bool JoinPath(wchar_t* dest, size_t destUnits, const wchar_t* a, const wchar_t* b)
{
    dest[0] = 0;
    if (Utf16Length(a) + Utf16Length(b) + 1 > destUnits)
        return false;
    const size_t lengthA = std::wcslen(a);
    std::wmemcpy(dest, a, lengthA);
    std::wcscpy(dest + lengthA, b);
    return true;
}

bool IsInRecycleBin(const wchar_t* path)
{
    const wchar_t* folder = (path[0] != 0 && path[1] == L':') ? path + 2 : path;
    // NT 5 keeps deleted files under RECYCLER, NT 6 under $Recycle.Bin.
    return StartsWithIgnoringAsciiCase(folder, L"\\RECYCLER\\") ||
           StartsWithIgnoringAsciiCase(folder, L"\\$Recycle.Bin\\");
}

bool VolumeRoot(const wchar_t* path, wchar_t (&root)[kPathUnits])
{
    root[0] = 0;
    if (path[0] != 0 && path[1] == L':') {
        root[0] = path[0];
        root[1] = L':';
        root[2] = L'\\';
        root[3] = 0;
        return true;
    }
    if (path[0] != L'\\' || path[1] != L'\\')
        return false;
    // \\server\share\ : the second separator behind the leading pair ends it.
    const wchar_t* end = path + 2;
    for (int separators = 0; *end != 0; ++end) {
        if (*end == L'\\' && ++separators == 2)
            break;
    }
    const size_t length = static_cast<size_t>(end - path);
    if (length + 2 > kPathUnits)
        return false;
    std::wmemcpy(root, path, length);
    root[length] = L'\\';
    root[length + 1] = 0;
    return true;
}

ResultCode ApplyNamingRules(uint32_t operation, const wchar_t* folder, const wchar_t* name, JobPaths* paths)
{
    paths->source[0] = 0;
    paths->target[0] = 0;
    paths->displayName[0] = 0;
    const bool compress = operation == kOperationCompress;
    const size_t limit = compress ? kMaxCompressSourcePath : kMaxDecompressSourcePath;
    if (Utf16Length(folder) + Utf16Length(name) > limit)
        return kJobPathTooLong;
    if (!JoinPath(paths->source, kPathUnits, folder, name))
        return kJobPathTooLong;

    if (compress) {
        if (!JoinPath(paths->target, kPathUnits, paths->source, kContainerExtension))
            return kJobPathTooLong;
    } else {
        // Only the last component's extension goes: a dot in a folder name
        // is no extension, and ".tdz" alone would leave the folder's name.
        const wchar_t* extension = PathExtension(paths->source);
        if (*extension == 0 || extension == PathFileName(paths->source))
            return kContainerWithoutExtension;
        const size_t keep = static_cast<size_t>(extension - paths->source);
        std::wmemcpy(paths->target, paths->source, keep);
        paths->target[keep] = 0;
    }
    std::wcscpy(paths->displayName, PathFileName(compress ? paths->source : paths->target));

    if (IsInRecycleBin(paths->source))
        return kSkipRecycleBin;
    return 0;
}

void ParentFolder(const wchar_t* path, wchar_t (&folder)[kPathUnits])
{
    const size_t keep = static_cast<size_t>(PathFileName(path) - path);
    if (keep == 0 || keep >= kPathUnits) {
        std::wcscpy(folder, L".");
        return;
    }
    std::wmemcpy(folder, path, keep);
    folder[keep] = 0;
}
