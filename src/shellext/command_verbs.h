// Which command an invocation record asks for.
#pragma once

#include <windows.h>
#include <shlobj.h>

constexpr int kUnknownVerb = -1;

// The command offset of an invocation: a verb string compared ignoring case
// with "td_compress" and "td_decompress" (UTF-16 in the extended record that
// CMIC_MASK_UNICODE announces, 8-bit otherwise), or the offset carried in
// the verb field's low word. kUnknownVerb for any other verb string. An
// offset is returned as it came; the caller decides whether it exists.
[[nodiscard]] int InvokedCommandOffset(const CMINVOKECOMMANDINFO& info);
