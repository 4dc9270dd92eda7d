#include "base/platform_facts.h"

#include <cstdlib>

namespace {

BOOL RealIsUserAnAdmin()
{
    using Proc = BOOL(WINAPI*)();
    HMODULE shell = ::GetModuleHandleW(L"shell32.dll");
    if (!shell)
        shell = ::LoadLibraryW(L"shell32.dll");
    if (!shell)
        return FALSE;
    auto proc = reinterpret_cast<Proc>(reinterpret_cast<void*>(::GetProcAddress(shell, MAKEINTRESOURCEA(680))));
    return proc ? proc() : FALSE;
}

bool RealIsMemberOfAdministrators()
{
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY | TOKEN_ADJUST_PRIVILEGES, &token))
        return false;
    DWORD size = 0;
    ::GetTokenInformation(token, TokenGroups, nullptr, 0, &size);
    auto* groups = size ? static_cast<TOKEN_GROUPS*>(std::malloc(size)) : nullptr;
    if (!groups || !::GetTokenInformation(token, TokenGroups, groups, size, &size)) {
        std::free(groups);
        ::CloseHandle(token);
        return false;
    }
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!::AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS,
                                    0, 0, 0, 0, 0, 0, &administrators)) {
        std::free(groups);
        ::CloseHandle(token);
        return false;
    }
    bool member = false;
    for (DWORD i = 0; i < groups->GroupCount && !member; ++i)
        member = ::EqualSid(groups->Groups[i].Sid, administrators) != FALSE;
    ::FreeSid(administrators);
    std::free(groups);
    ::CloseHandle(token);
    return member;
}

bool RealIsWow64()
{
    using Proc = BOOL(WINAPI*)(HANDLE, PBOOL);
    HMODULE kernel = ::GetModuleHandleW(L"kernel32");
    auto proc = kernel ? reinterpret_cast<Proc>(reinterpret_cast<void*>(::GetProcAddress(kernel, "IsWow64Process")))
                       : nullptr;
    BOOL wow64 = FALSE;
    return proc && proc(::GetCurrentProcess(), &wow64) && wow64;
}

const PlatformFacts kReal{::GetVersionExW, RealIsUserAnAdmin, RealIsMemberOfAdministrators, RealIsWow64, 0};
const PlatformFacts* g_facts = &kReal;

}  // namespace

const PlatformFacts& RealPlatformFacts() { return kReal; }
void SetPlatformFacts(const PlatformFacts* facts) { g_facts = facts ? facts : &kReal; }
const PlatformFacts& CurrentPlatformFacts() { return *g_facts; }

bool IsNt6Family()
{
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
    return g_facts->getVersion(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT && info.dwMajorVersion == 6;
}

bool IsWow64() { return g_facts->isWow64(); }
bool IsUserAdmin() { return g_facts->isUserAnAdmin() != FALSE; }
bool IsMemberOfAdministrators() { return g_facts->isMemberOfAdministrators(); }
REGSAM OwnRegistryView() { return g_facts->ownRegistryView; }
