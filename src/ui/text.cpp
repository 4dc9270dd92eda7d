#include "ui/text.h"

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <vector>

namespace {

std::wstring ReadFoundBlock(HMODULE module, HRSRC found, UINT id)
{
    if (!found)
        return std::wstring();
    HGLOBAL loaded = ::LoadResource(module, found);
    if (!loaded)
        return std::wstring();
    const void* block = ::LockResource(loaded);
    DWORD bytes = ::SizeofResource(module, found);
    if (!block || bytes == 0)
        return std::wstring();
    return ReadStringBlockEntry(block, bytes, id % 16);
}

}  // namespace

std::wstring ReadStringBlockEntry(const void* block, size_t bytes, unsigned index)
{
    const auto* units = static_cast<const uint16_t*>(block);
    const size_t total = bytes / sizeof(uint16_t);
    size_t at = 0;
    for (unsigned i = 0; i < index; ++i) {
        if (at >= total)
            return std::wstring();
        at += 1 + units[at];
    }
    if (at >= total)
        return std::wstring();
    const size_t count = units[at];
    if (count == 0 || count > total - at - 1)
        return std::wstring();
    std::wstring text(count, L'\0');
    for (size_t i = 0; i < count; ++i)
        text[i] = static_cast<wchar_t>(units[at + 1 + i]);
    return text;
}

std::wstring LoadText(UINT id)
{
    return LoadTextFrom(::GetModuleHandleW(nullptr), id);
}

std::wstring LoadTextFrom(HMODULE module, UINT id)
{
    if (id > 0xFFFF)
        return std::wstring();
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(id / 16 + 1), MAKEINTRESOURCEW(6));  // RT_STRING
    return ReadFoundBlock(module, found, id);
}

std::wstring LoadTextFrom(HMODULE module, UINT id, LANGID language)
{
    if (id > 0xFFFF)
        return std::wstring();
    HRSRC found = ::FindResourceExW(module, MAKEINTRESOURCEW(6), MAKEINTRESOURCEW(id / 16 + 1), language);
    return ReadFoundBlock(module, found, id);
}

std::wstring FormatText(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    std::wstring text = FormatTextV(format, args);
    va_end(args);
    return text;
}

std::wstring FormatTextV(const wchar_t* format, va_list args)
{
    // msvcrt's _vsnwprintf reads "%s" as a wide string in a wide format
    // (the standard vswprintf of MinGW's own printf would read it as a
    // narrow one). It reports truncation with -1, so grow until it fits.
    std::vector<wchar_t> buffer(256);
    for (;;) {
        va_list copy;
        va_copy(copy, args);
        int written = _vsnwprintf(buffer.data(), buffer.size() - 1, format, copy);
        va_end(copy);
        if (written >= 0) {
            buffer[static_cast<size_t>(written)] = L'\0';
            return std::wstring(buffer.data(), static_cast<size_t>(written));
        }
        if (buffer.size() >= (1u << 22))
            return std::wstring();
        buffer.resize(buffer.size() * 2);
    }
}
