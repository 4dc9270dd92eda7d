#include "app/shell_registration.h"

#include <shlobj.h>

#include <cwchar>
#include <initializer_list>

#include "app/install_paths.h"
#include "app/registry_edit.h"
#include "base/platform_facts.h"

namespace {

constexpr wchar_t kClassId[] = L"{5B1F3C2E-8D47-4A9B-9E21-6C0D7F4A1B93}";
constexpr wchar_t kClassDescription[] = L"Tandrel Shell Extension";
constexpr wchar_t kProgId[] = L"TandrelFile.1";
constexpr wchar_t kFileTypeDescription[] = L"Tandrel File";
constexpr wchar_t kApproved[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
constexpr wchar_t kOverlayParent[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";
constexpr wchar_t kOverlayKey[] = L"ShellIconOverlayIdentifiers\\TandrelFile.1";
constexpr wchar_t kMachineServer[] = L"%SystemRoot%\\system32\\Tandrel\\TDShellExt.dll";
// The executable is quoted: the installation folder of the NT 6 family
// always holds a blank ("Velmora Corporation").
constexpr wchar_t kMachineOpenCommand[] = L"\"%SystemRoot%\\system32\\Tandrel\\Tandrel.exe\" -o %1";

constexpr REGSAM kRegisterAccess = KEY_WRITE;
constexpr REGSAM kRemoveAccess = KEY_ALL_ACCESS;

// Where one pass writes: the roots of the NT 5 (machine) or the NT 6 (user)
// registration, in one registry view.
struct Pass {
    bool machine;
    REGSAM view;
    bool wow64Pass;  // the 64-bit view of a 32-bit program
};

HKEY ClassesRootKey(const Pass& pass) { return pass.machine ? HKEY_CLASSES_ROOT : HKEY_CURRENT_USER; }
const wchar_t* ClassesRootPath(const Pass& pass) { return pass.machine ? nullptr : L"Software\\Classes"; }
const wchar_t* ClassRootPath(const Pass& pass) { return pass.machine ? L"CLSID" : L"Software\\Classes\\CLSID"; }
HKEY ApprovalRoot(const Pass& pass) { return pass.machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }

bool UserServerPath(bool wow64Pass, wchar_t (&path)[MAX_PATH])
{
    return InstallationFolder(path) && AppendToPath(path, wow64Pass ? L"\\TDShellExt64.dll" : L"\\TDShellExt.dll");
}

bool UserOpenCommand(wchar_t (&command)[MAX_PATH])
{
    wchar_t folder[MAX_PATH];
    if (!InstallationFolder(folder))
        return false;
    command[0] = L'"';
    command[1] = L'\0';
    return AppendToPath(command, folder) && AppendToPath(command, L"\\Tandrel.exe\" -o %1");
}

// The classes root of a pass: HKEY_CLASSES_ROOT itself (never closed), or
// the user's classes key, made non-volatile when a fresh profile lacks it.
class ClassesRoot {
public:
    ClassesRoot(const Pass& pass, REGSAM access, bool create)
    {
        if (pass.machine)
            return;
        owned_ = create ? CreateKey(HKEY_CURRENT_USER, ClassesRootPath(pass), KeyLife::kPermanent, access, pass.view)
                        : OpenKey(HKEY_CURRENT_USER, ClassesRootPath(pass), access, pass.view);
        machine_ = false;
    }
    bool Valid() const { return machine_ || owned_.Valid(); }
    HKEY Get() const { return machine_ ? HKEY_CLASSES_ROOT : owned_.Get(); }

private:
    bool machine_ = true;
    RegKey owned_;
};

bool WriteClass(const Pass& pass)
{
    RegKey classRoot = OpenKey(ClassesRootKey(pass), ClassRootPath(pass), kRegisterAccess, pass.view);
    if (!classRoot.Valid() && !pass.machine)
        classRoot = CreateKey(HKEY_CURRENT_USER, ClassRootPath(pass), KeyLife::kPermanent, kRegisterAccess, pass.view);
    if (!classRoot.Valid())
        return false;
    RegKey classKey = CreateKey(classRoot.Get(), kClassId, KeyLife::kPermanent, kRegisterAccess, pass.view);
    classRoot.Reset();
    if (!classKey.Valid() || !SetText(classKey.Get(), nullptr, kClassDescription))
        return false;

    wchar_t server[MAX_PATH] = {};
    if (pass.machine) {
        std::wmemcpy(server, kMachineServer, sizeof(kMachineServer) / sizeof(wchar_t));
    } else if (!UserServerPath(pass.wow64Pass, server)) {
        return false;
    }
    {
        RegKey inProc = CreateKey(classKey.Get(), L"InProcServer32", KeyLife::kPermanent, kRegisterAccess, pass.view);
        if (!inProc.Valid() || !SetText(inProc.Get(), nullptr, server, REG_EXPAND_SZ) ||
            !SetText(inProc.Get(), L"ThreadingModel", L"Apartment"))
            return false;
    }
    RegKey progId = CreateKey(classKey.Get(), L"ProgID", KeyLife::kPermanent, kRegisterAccess, pass.view);
    classKey.Reset();
    if (!progId.Valid() || !SetText(progId.Get(), nullptr, kProgId))
        return false;
    progId.Reset();

    // The machine's approval key belongs to the system: opened, never made.
    RegKey approval = OpenKey(ApprovalRoot(pass), kApproved, kRegisterAccess, pass.view);
    if (!approval.Valid() && !pass.machine)
        approval = CreateKey(HKEY_CURRENT_USER, kApproved, KeyLife::kPermanent, kRegisterAccess, pass.view);
    if (!approval.Valid() || !SetText(approval.Get(), kClassId, kProgId))
        return false;
    approval.Reset();

    if (pass.machine) {
        RegKey explorer = OpenKey(HKEY_LOCAL_MACHINE, kOverlayParent, kRegisterAccess, pass.view);
        if (!explorer.Valid())
            return false;
        RegKey overlay = CreateKey(explorer.Get(), kOverlayKey, KeyLife::kPermanent, kRegisterAccess, pass.view);
        if (!overlay.Valid() || !SetText(overlay.Get(), nullptr, kClassId))
            return false;
    }
    ::SHLoadNonloadedIconOverlayIdentifiers();
    return true;
}

bool WriteFileType(const Pass& pass)
{
    ClassesRoot root(pass, kRegisterAccess, true);
    if (!root.Valid())
        return false;
    const HKEY classes = root.Get();
    const REGSAM view = pass.view;
    {
        RegKey extension = CreateKey(classes, L".tdz", KeyLife::kVolatile, kRegisterAccess, view);
        if (!extension.Valid() || !SetText(extension.Get(), nullptr, kProgId))
            return false;
    }
    {
        // "*", "shellex" and "ContextMenuHandlers" are shared with every
        // other handler: only our own key is volatile.
        RegKey handler =
            CreateKey(classes, L"*\\shellex\\ContextMenuHandlers\\Tandrel", KeyLife::kVolatile, kRegisterAccess, view);
        if (!handler.Valid() || !SetText(handler.Get(), nullptr, kClassId))
            return false;
    }
    RegKey progId = CreateKey(classes, kProgId, KeyLife::kVolatile, kRegisterAccess, view);
    if (!progId.Valid() || !SetText(progId.Get(), nullptr, kFileTypeDescription) ||
        !SetText(progId.Get(), L"NeverShowExt", L""))
        return false;

    wchar_t command[MAX_PATH] = {};
    if (pass.machine) {
        std::wmemcpy(command, kMachineOpenCommand, sizeof(kMachineOpenCommand) / sizeof(wchar_t));
    } else if (!UserOpenCommand(command)) {
        return false;
    }
    struct Entry {
        const wchar_t* path;
        const wchar_t* data;
        DWORD type;
    };
    const Entry entries[] = {
        {L"CLSID", kClassId, REG_SZ},
        {L"DefaultIcon", L"%1", REG_SZ},
        {L"Shell\\open\\command", command, REG_EXPAND_SZ},
        {L"ShellEx\\IconHandler", kClassId, REG_SZ},
    };
    for (const Entry& entry : entries) {
        RegKey key = CreateKey(progId.Get(), entry.path, KeyLife::kVolatileBranch, kRegisterAccess, view);
        if (!key.Valid() || !SetText(key.Get(), nullptr, entry.data, entry.type))
            return false;
    }
    ::SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
    if (!pass.machine)
        ::SHLoadNonloadedIconOverlayIdentifiers();
    return true;
}

// Deletes the leaves named in children under parent\path, when it opens.
void DeleteUnder(HKEY root, const wchar_t* path, std::initializer_list<const wchar_t*> children, REGSAM view)
{
    RegKey key = OpenKey(root, path, kRemoveAccess, view);
    if (!key.Valid())
        return;
    for (const wchar_t* child : children)
        DeleteSubkey(key.Get(), child, view);
}

void RemoveClass(const Pass& pass)
{
    if (pass.machine)
        DeleteUnder(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\"
                                        L"ShellIconOverlayIdentifiers",
                    {kProgId}, pass.view);
    wchar_t classPath[MAX_PATH] = {};
    AppendToPath(classPath, ClassRootPath(pass));
    AppendToPath(classPath, L"\\");
    AppendToPath(classPath, kClassId);
    DeleteUnder(ClassesRootKey(pass), classPath, {L"InProcServer32", L"ProgID"}, pass.view);
    DeleteUnder(ClassesRootKey(pass), ClassRootPath(pass), {kClassId}, pass.view);
    RegKey approval = OpenKey(ApprovalRoot(pass), kApproved, kRemoveAccess, pass.view);
    if (approval.Valid())
        ::RegDeleteValueW(approval.Get(), kClassId);
}

void RemoveFileType(const Pass& pass)
{
    ClassesRoot root(pass, kRemoveAccess, false);
    if (!root.Valid())
        return;
    const HKEY classes = root.Get();
    // Leaves first: a key with subkeys cannot be deleted in one call.
    DeleteUnder(classes, L"TandrelFile.1\\Shell\\open", {L"command"}, pass.view);
    DeleteUnder(classes, L"TandrelFile.1\\Shell", {L"open"}, pass.view);
    DeleteUnder(classes, L"TandrelFile.1\\ShellEx", {L"IconHandler"}, pass.view);
    DeleteUnder(classes, kProgId, {L"CLSID", L"DefaultIcon", L"Shell", L"ShellEx"}, pass.view);
    DeleteSubkey(classes, kProgId, pass.view);
    DeleteSubkey(classes, L".tdz", pass.view);
    DeleteUnder(classes, L"*\\shellex\\ContextMenuHandlers", {L"Tandrel"}, pass.view);
    ::SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
}

// NT 5 once; NT 6 in the program's own view and, under WOW64 and after a
// successful first pass, in the 64-bit view.
template <typename Step>
bool ForEachPass(Step step, bool stopOnFailure)
{
    if (!IsNt6Family())
        return step(Pass{true, OwnRegistryView(), false});
    const bool first = step(Pass{false, OwnRegistryView(), false});
    if ((!first && stopOnFailure) || !IsWow64())
        return first;
    return step(Pass{false, kWow64RegistryView, true});
}

}  // namespace

int RegisterShellExtension()
{
    return ForEachPass(WriteClass, true) ? 1 : 0;
}

int RegisterFileType()
{
    return ForEachPass(WriteFileType, true) ? 1 : 0;
}

int UnregisterShellExtension()
{
    ForEachPass([](const Pass& pass) { return RemoveClass(pass), true; }, false);
    if (IsNt6Family())
        ::SHChangeNotify(SHCNE_UPDATEIMAGE, SHCNF_DWORD, nullptr, nullptr);
    return 1;
}

int UnregisterFileType()
{
    ForEachPass([](const Pass& pass) { return RemoveFileType(pass), true; }, false);
    return 1;
}
