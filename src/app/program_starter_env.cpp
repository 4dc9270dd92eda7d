// Linked only into the 64-bit twin, which only tests run: with
// TDZ_FAIL_INSTALLED_START set, the installed copy "cannot be started", as
// a copy that Windows refuses to run, which Wine cannot be made to do.
#include <windows.h>
#include <shellapi.h>

#include "app/tandrel_app.h"

namespace {

HINSTANCE WINAPI RefuseToStart(HWND, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, INT)
{
    return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(SE_ERR_FNF));
}

bool Install()
{
    wchar_t value[8] = {};
    if (::GetEnvironmentVariableW(L"TDZ_FAIL_INSTALLED_START", value, 8) == 0)
        return false;
    SetProgramStarter(RefuseToStart);
    return true;
}

const bool g_installed = Install();

}  // namespace
