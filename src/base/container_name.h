// The one container-name rule of the project: whether a path names a .tdz
// container. The file operations, the job producers, Decompression.exe, the
// shell extension and the tdz tool all ask this.
//
// Header-only and portable (no platform headers), so that every tree and
// every folder may include it, the host tree's portable core included.
#pragma once

namespace container_name_detail {

template <typename Char>
constexpr Char FoldAscii(Char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<Char>(c - 'A' + 'a') : c;
}

}  // namespace container_name_detail

// True when the extension of the last component of path (behind the last
// "\" or "/", from its last "." on) is ".tdz" in any ASCII letter case.
// ".tdz" alone counts (a name of nothing but the extension); non-ASCII
// letters never fold to ASCII ones. False for null.
template <typename Char>
constexpr bool HasContainerExtensionOf(const Char* path)
{
    if (path == nullptr)
        return false;
    const Char* name = path;
    for (const Char* p = path; *p != 0; ++p) {
        if (*p == '\\' || *p == '/')
            name = p + 1;
    }
    const Char* dot = nullptr;
    for (const Char* p = name; *p != 0; ++p) {
        if (*p == '.')
            dot = p;
    }
    if (dot == nullptr)
        return false;
    constexpr char kExtension[] = ".tdz";
    for (int i = 0; i < 5; ++i) {
        if (container_name_detail::FoldAscii(dot[i]) != static_cast<Char>(kExtension[i]))
            return false;
    }
    return true;
}

inline bool HasContainerExtension(const wchar_t* path) { return HasContainerExtensionOf(path); }
inline bool HasContainerExtension(const char* path) { return HasContainerExtensionOf(path); }
