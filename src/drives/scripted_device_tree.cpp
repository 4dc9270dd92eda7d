#include "drives/scripted_device_tree.h"

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <fstream>
#include <sstream>

#include "drives/device_tree.h"

namespace {

enum SetKind : INT_PTR { kUsbSet = 0x7100, kVolumeSet, kDiskSet, kOtherSet };

struct State {
    CRITICAL_SECTION lock;
    std::vector<ScriptedStick> sticks;
    std::wstring scriptPath;
    std::vector<EjectRequest> ejects;
    int openSets = 0;
    State() { InitializeCriticalSection(&lock); }
};

State& S()
{
    static State state;
    return state;
}

class Locked {
public:
    Locked() { EnterCriticalSection(&S().lock); }
    ~Locked() { LeaveCriticalSection(&S().lock); }
};

void Reload()
{
    if (!S().scriptPath.empty()) {
        std::vector<ScriptedStick> sticks;
        if (LoadDeviceTreeScript(S().scriptPath, &sticks))
            S().sticks = sticks;
    }
}

std::wstring DiskId(int i) { return L"USBSTOR\\DISK&VEN_TDZ&PROD_STICK&REV_1.00\\" + std::to_wstring(i) + L"&0"; }

std::wstring Hashed(std::wstring text)
{
    for (wchar_t& c : text) {
        if (c == L'\\')
            c = L'#';
    }
    return text;
}

// Which stick a node belongs to and what it is (0 USB, 1 disk, 2 volume).
bool Decode(DEVINST node, int* stick, int* level)
{
    const int base = static_cast<int>(node) & ~0xFF;
    *stick = static_cast<int>(node) & 0xFF;
    *level = base == 0x100 ? 0 : base == 0x200 ? 1 : base == 0x300 ? 2 : -1;
    return *level >= 0 && *stick < static_cast<int>(S().sticks.size());
}

std::wstring NodeId(int stick, int level)
{
    const ScriptedStick& s = S().sticks[stick];
    if (level == 0)
        return s.hardwareId + L"\\SERIAL" + std::to_wstring(stick);
    if (level == 1)
        return DiskId(stick);
    return L"STORAGE\\VOLUME\\_??_" + Hashed(DiskId(stick)) + L"#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}";
}

bool CopyOut(const std::wstring& text, wchar_t* out, size_t units)
{
    if (text.size() + 1 > units)
        return false;
    std::wmemcpy(out, text.c_str(), text.size() + 1);
    return true;
}

// Sticks with a volume, in order: the interfaces of the volume and disk sets.
std::vector<int> WithVolumes()
{
    std::vector<int> list;
    for (size_t i = 0; i < S().sticks.size(); ++i) {
        if (S().sticks[i].driveLetter != 0)
            list.push_back(static_cast<int>(i));
    }
    return list;
}

std::wstring InterfacePath(SetKind kind, int stick)
{
    if (kind == kVolumeSet)
        return std::wstring(1, S().sticks[stick].driveLetter) + L":";
    return L"\\\\?\\tdzdisk#" + std::to_wstring(stick);
}

HDEVINFO WINAPI GetClassDevs(const GUID* guid, PCWSTR, HWND, DWORD flags)
{
    Locked lock;
    Reload();
    ++S().openSets;
    if (!(flags & DIGCF_DEVICEINTERFACE))
        return reinterpret_cast<HDEVINFO>(guid->Data1 == 0x36FC9E60 ? kUsbSet : kOtherSet);
    if (guid->Data1 == 0x53F5630D)
        return reinterpret_cast<HDEVINFO>(kVolumeSet);
    if (guid->Data1 == 0x53F56307)
        return reinterpret_cast<HDEVINFO>(kDiskSet);
    return reinterpret_cast<HDEVINFO>(kOtherSet);
}

BOOL WINAPI DestroyList(HDEVINFO)
{
    Locked lock;
    --S().openSets;
    return TRUE;
}

BOOL WINAPI EnumDeviceInfo(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA info)
{
    Locked lock;
    if (reinterpret_cast<INT_PTR>(set) != kUsbSet || index >= S().sticks.size()) {
        ::SetLastError(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    info->DevInst = ScriptedUsbNode(static_cast<int>(index));
    return TRUE;
}

BOOL WINAPI GetRegistryProperty(HDEVINFO, PSP_DEVINFO_DATA info, DWORD property, PDWORD type, PBYTE buffer,
                                DWORD size, PDWORD required)
{
    Locked lock;
    int stick = 0, level = 0;
    if (!Decode(info->DevInst, &stick, &level) || level != 0)
        return FALSE;
    std::wstring text;
    if (property == SPDRP_SERVICE)
        text = S().sticks[stick].service;
    else if (property == SPDRP_HARDWAREID)
        text = S().sticks[stick].hardwareId + std::wstring(1, L'\0') + L"USB\\Class_08";
    else
        return FALSE;
    text.push_back(L'\0');
    const DWORD bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (required)
        *required = bytes;
    if (type)
        *type = property == SPDRP_SERVICE ? REG_SZ : REG_MULTI_SZ;
    if (bytes > size) {
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(buffer, text.c_str(), bytes);
    return TRUE;
}

BOOL WINAPI GetInstanceId(HDEVINFO, PSP_DEVINFO_DATA info, PWSTR id, DWORD units, PDWORD)
{
    Locked lock;
    int stick = 0, level = 0;
    return Decode(info->DevInst, &stick, &level) && CopyOut(NodeId(stick, level), id, units);
}

BOOL WINAPI EnumInterfaces(HDEVINFO set, PSP_DEVINFO_DATA, const GUID*, DWORD index, PSP_DEVICE_INTERFACE_DATA data)
{
    Locked lock;
    const INT_PTR kind = reinterpret_cast<INT_PTR>(set);
    const std::vector<int> list = WithVolumes();
    if ((kind != kVolumeSet && kind != kDiskSet) || index >= list.size()) {
        ::SetLastError(ERROR_NO_MORE_ITEMS);
        return FALSE;
    }
    data->Reserved = static_cast<ULONG_PTR>(list[index]);
    return TRUE;
}

BOOL WINAPI GetInterfaceDetail(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA data, PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail,
                               DWORD size, PDWORD required, PSP_DEVINFO_DATA info)
{
    Locked lock;
    const auto kind = static_cast<SetKind>(reinterpret_cast<INT_PTR>(set));
    const int stick = static_cast<int>(data->Reserved);
    if (stick >= static_cast<int>(S().sticks.size()))
        return FALSE;
    const std::wstring path = InterfacePath(kind, stick);
    const DWORD bytes = static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) +
                                           (path.size() + 1) * sizeof(wchar_t));
    if (required)
        *required = bytes;
    if (!detail || size < bytes) {
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::wmemcpy(detail->DevicePath, path.c_str(), path.size() + 1);
    if (info)
        info->DevInst = kind == kVolumeSet ? ScriptedVolumeNode(stick) : ScriptedDiskNode(stick);
    return TRUE;
}

CONFIGRET WINAPI GetDeviceId(DEVINST node, PWSTR id, ULONG units, ULONG)
{
    Locked lock;
    int stick = 0, level = 0;
    if (!Decode(node, &stick, &level))
        return CR_NO_SUCH_DEVNODE;
    return CopyOut(NodeId(stick, level), id, units) ? CR_SUCCESS : CR_BUFFER_SMALL;
}

CONFIGRET WINAPI GetChild(PDEVINST child, DEVINST node, ULONG)
{
    Locked lock;
    int stick = 0, level = 0;
    if (!Decode(node, &stick, &level) || level == 2 || (level == 1 && S().sticks[stick].driveLetter == 0))
        return CR_NO_SUCH_DEVNODE;
    *child = level == 0 ? ScriptedDiskNode(stick) : ScriptedVolumeNode(stick);
    return CR_SUCCESS;
}

CONFIGRET WINAPI GetParent(PDEVINST parent, DEVINST node, ULONG)
{
    Locked lock;
    int stick = 0, level = 0;
    if (!Decode(node, &stick, &level) || level == 0)
        return CR_NO_SUCH_DEVNODE;
    *parent = level == 1 ? ScriptedUsbNode(stick) : ScriptedDiskNode(stick);
    return CR_SUCCESS;
}

CONFIGRET WINAPI GetNodeProperty(DEVINST node, ULONG property, PULONG type, PVOID buffer, PULONG size, ULONG)
{
    Locked lock;
    int stick = 0, level = 0;
    if (!Decode(node, &stick, &level) || level != 2 || property != CM_DRP_PHYSICAL_DEVICE_OBJECT_NAME)
        return CR_NO_SUCH_VALUE;
    // The volume's device object is what its drive letter links to.
    const wchar_t drive[3] = {S().sticks[stick].driveLetter, L':', L'\0'};
    wchar_t target[256] = {};
    if (!::QueryDosDeviceW(drive, target, 256))
        return CR_NO_SUCH_VALUE;
    const ULONG bytes = static_cast<ULONG>((std::wcslen(target) + 1) * sizeof(wchar_t));
    if (type)
        *type = REG_SZ;
    if (bytes > *size) {
        *size = bytes;
        return CR_BUFFER_SMALL;
    }
    std::memcpy(buffer, target, bytes);
    *size = bytes;
    return CR_SUCCESS;
}

CONFIGRET WINAPI RequestEject(DEVINST node, PPNP_VETO_TYPE vetoType, LPWSTR vetoName, ULONG units, ULONG)
{
    Locked lock;
    int stick = 0, level = 0;
    if (!Decode(node, &stick, &level) || level != 0) {
        S().ejects.push_back({node, false});
        return CR_INVALID_DEVNODE;
    }
    ScriptedStick& s = S().sticks[stick];
    if (s.vetoes > 0) {
        --s.vetoes;
        S().ejects.push_back({node, false});
        if (vetoType)
            *vetoType = PNP_VetoOutstandingOpen;
        if (vetoName && units > 0)
            lstrcpynW(vetoName, L"\\Device\\HarddiskVolume9", static_cast<int>(units));
        return CR_REMOVE_VETOED;
    }
    if (vetoType)
        *vetoType = PNP_VetoTypeUnknown;
    S().ejects.push_back({node, true});
    S().sticks.erase(S().sticks.begin() + stick);
    if (!S().scriptPath.empty()) {
        // Rewritten without the stick, so the next enumeration agrees.
        std::wofstream out(std::string(S().scriptPath.begin(), S().scriptPath.end()));
        for (const ScriptedStick& kept : S().sticks)
            out << kept.hardwareId << L' ' << (kept.driveLetter ? std::wstring(1, kept.driveLetter) : L"-") << L' '
                << kept.deviceNumber << L' ' << kept.vetoes << L' ' << kept.service << L'\n';
    }
    return CR_SUCCESS;
}

bool StorageNumber(const wchar_t* path, STORAGE_DEVICE_NUMBER* number)
{
    Locked lock;
    Reload();
    for (size_t i = 0; i < S().sticks.size(); ++i) {
        const ScriptedStick& s = S().sticks[i];
        const wchar_t volume[7] = {L'\\', L'\\', L'.', L'\\', s.driveLetter, L':', L'\0'};
        if (s.driveLetter != 0 && (_wcsicmp(path, volume) == 0 ||
                                   path == InterfacePath(kDiskSet, static_cast<int>(i)))) {
            number->DeviceType = FILE_DEVICE_DISK;
            number->DeviceNumber = s.deviceNumber;
            number->PartitionNumber = _wcsicmp(path, volume) == 0 ? 1 : 0;
            return true;
        }
    }
    return false;
}

const DeviceTreeApi kScripted{GetClassDevs,  EnumDeviceInfo, GetRegistryProperty, GetInstanceId, EnumInterfaces,
                              GetInterfaceDetail, DestroyList, GetDeviceId,      GetChild,      GetParent,
                              GetNodeProperty, RequestEject,  StorageNumber};

}  // namespace

void PlayDeviceTree(const std::vector<ScriptedStick>& sticks)
{
    {
        Locked lock;
        S().sticks = sticks;
        S().scriptPath.clear();
        S().ejects.clear();
    }
    SetDeviceTree(&kScripted);
}

void StopDeviceTree() { SetDeviceTree(nullptr); }

bool LoadDeviceTreeScript(const std::wstring& path, std::vector<ScriptedStick>* sticks)
{
    std::wifstream in(std::string(path.begin(), path.end()));
    if (!in)
        return false;
    sticks->clear();
    std::wstring line;
    while (std::getline(in, line)) {
        std::wistringstream fields(line);
        ScriptedStick stick;
        std::wstring letter;
        if (!(fields >> stick.hardwareId >> letter))
            continue;
        stick.driveLetter = letter == L"-" ? 0 : letter[0];
        fields >> stick.deviceNumber >> stick.vetoes >> stick.service;
        if (stick.service.empty())
            stick.service = L"USBSTOR";
        sticks->push_back(stick);
    }
    return true;
}

bool PlayDeviceTreeFromEnvironment()
{
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"TDZ_DEVICE_TREE", path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return false;
    PlayDeviceTree({});
    Locked lock;
    S().scriptPath = path;
    Reload();
    return true;
}

std::vector<EjectRequest> EjectRequests()
{
    Locked lock;
    return S().ejects;
}

int OpenDeviceSets()
{
    Locked lock;
    return S().openSets;
}
