#include "container/shell_notify.h"

#include <windows.h>
#include <shlobj.h>

void NotifyCreated(const wchar_t* path)
{
    SHChangeNotify(SHCNE_CREATE, SHCNF_PATHW, path, nullptr);
}

void NotifyDeleted(const wchar_t* path)
{
    SHChangeNotify(SHCNE_DELETE, SHCNF_PATHW, path, nullptr);
}

void NotifyAttributesChanged(const wchar_t* path)
{
    SHChangeNotify(SHCNE_ATTRIBUTES, SHCNF_PATHW, path, nullptr);
}

void NotifyMoved(const wchar_t* from, const wchar_t* to)
{
    SHChangeNotify(SHCNE_RENAMEITEM, SHCNF_PATHW, from, to);
}
