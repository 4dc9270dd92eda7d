#include "shellext/command_verbs.h"

#include <shlwapi.h>

#include "shellext/shellext_ids.h"

namespace {

int OffsetOfVerb(const char* verb) {
    for (int offset = 0; offset < 2; ++offset) {
        if (lstrcmpiA(verb, kVerbsA[offset]) == 0) return offset;
    }
    return kUnknownVerb;
}

int OffsetOfVerb(const wchar_t* verb) {
    for (int offset = 0; offset < 2; ++offset) {
        if (StrCmpIW(verb, kVerbsW[offset]) == 0) return offset;
    }
    return kUnknownVerb;
}

// Verb fields hold either a pointer to a string or, below 0x10000, an offset.
int OffsetInLowWord(const void* verb) {
    return LOWORD(reinterpret_cast<ULONG_PTR>(verb));
}

}  // namespace

int InvokedCommandOffset(const CMINVOKECOMMANDINFO& info) {
    // The extended fields exist only when the record is as large as the
    // extended form; a caller that sets the flag on a short record gets its
    // 8-bit verb read instead of memory beyond the record.
    if ((info.fMask & CMIC_MASK_UNICODE) != 0 && info.cbSize >= sizeof(CMINVOKECOMMANDINFOEX)) {
        const auto& extended = reinterpret_cast<const CMINVOKECOMMANDINFOEX&>(info);
        if (!IS_INTRESOURCE(extended.lpVerbW)) return OffsetOfVerb(extended.lpVerbW);
        return OffsetInLowWord(extended.lpVerb);
    }
    if (!IS_INTRESOURCE(info.lpVerb)) return OffsetOfVerb(info.lpVerb);
    return OffsetInLowWord(info.lpVerb);
}
