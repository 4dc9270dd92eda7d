#!/bin/bash
# check-imports.sh [BUILD_DIR...]   (default: build/win32 build/win64)
#
# Every .exe and .dll of the Windows trees may import only Windows system
# DLLs: a program that needs libstdc++-6.dll or libwinpthread-1.dll next to
# it does not start on a user's machine. The 32-bit tree ships to Windows
# 2000 and XP as well, so its binaries must not import functions those
# systems lack (the loader refuses the whole program), and their PE headers
# must not ask for a newer subsystem version than 5.0.
set -u

allowed_dlls=(
  kernel32 user32 gdi32 advapi32 shell32 shlwapi ole32 oleaut32 comctl32
  comdlg32 setupapi cfgmgr32 version msvcrt ws2_32 ntdll rpcrt4 uxtheme
  msimg32 psapi imm32 winspool.drv winmm mpr netapi32 userenv crypt32
  wintrust secur32 shfolder newdev oleacc
)

# Functions NT 5.0 and 5.1 do not have. Such a function must be looked up
# with GetProcAddress instead. Windows 2000's shell32 exports IsUserAnAdmin
# by ordinal (680) only, so an import of it by name fails there too.
not_on_nt5=(
  GetTickCount64 GetSystemTimePreciseAsFileTime
  InitializeSRWLock AcquireSRWLockExclusive AcquireSRWLockShared
  ReleaseSRWLockExclusive ReleaseSRWLockShared
  TryAcquireSRWLockExclusive TryAcquireSRWLockShared
  InitializeConditionVariable SleepConditionVariableCS SleepConditionVariableSRW
  WakeConditionVariable WakeAllConditionVariable
  InitOnceExecuteOnce InitOnceBeginInitialize InitOnceComplete InitOnceInitialize
  InitializeCriticalSectionEx CreateEventExA CreateEventExW CreateMutexExA
  CreateMutexExW CreateSemaphoreExW
  FlsAlloc FlsFree FlsGetValue FlsSetValue
  CreateSymbolicLinkA CreateSymbolicLinkW
  GetFinalPathNameByHandleA GetFinalPathNameByHandleW
  GetFileInformationByHandleEx SetFileInformationByHandle CreateFile2
  QueryFullProcessImageNameA QueryFullProcessImageNameW
  GetLocaleInfoEx LCIDToLocaleName LocaleNameToLCID CompareStringEx
  GetUserDefaultLocaleName
  RegGetValueA RegGetValueW RegDeleteTreeA RegDeleteTreeW
  RegDeleteKeyExA RegDeleteKeyExW RegSetKeyValueW
  SHGetKnownFolderPath SHCreateItemFromParsingName
  TaskDialog TaskDialogIndirect
  ChangeWindowMessageFilter ChangeWindowMessageFilterEx SetProcessDPIAware
  Wow64DisableWow64FsRedirection Wow64RevertWow64FsRedirection
  IsWow64Process GetNativeSystemInfo GetSystemWow64DirectoryA
  GetSystemWow64DirectoryW GetModuleHandleExA GetModuleHandleExW
  SetDllDirectoryA SetDllDirectoryW GetProcessId GetThreadId AttachConsole
  GetVolumePathNamesForVolumeNameA GetVolumePathNamesForVolumeNameW
  AddVectoredExceptionHandler GetLogicalProcessorInformation
  IsUserAnAdmin
)

if [ $# -eq 0 ]; then
  set -- build/win32 build/win64
fi

failures=0
fail() {
  echo "check-imports: FAIL: $*" >&2
  failures=$((failures + 1))
}

is_allowed_dll() {
  local dll=${1,,}
  dll=${dll%.dll}
  local a
  for a in "${allowed_dlls[@]}"; do
    [ "$dll" = "$a" ] && return 0
  done
  return 1
}

checked=0
for tree in "$@"; do
  if [ ! -d "$tree" ]; then
    fail "$tree does not exist (build it first)"
    continue
  fi
  case "$(basename "$tree")" in
    win32) objdump=i686-w64-mingw32-objdump; nt5=1 ;;
    *)     objdump=x86_64-w64-mingw32-objdump; nt5=0 ;;
  esac

  while IFS= read -r -d '' bin; do
    checked=$((checked + 1))
    if ! dump=$("$objdump" -p "$bin" 2>&1); then
      fail "$bin: $objdump cannot read it: $dump"
      continue
    fi
    # "DLL Name: X" opens a DLL's import list; its rows are
    # "<vma> <hint> <name>" until a blank line.
    imports=$(awk '
      /^\tDLL Name: / { dll = $3; print "DLL " dll; next }
      /^$/ { dll = "" }
      dll != "" && $1 ~ /^[0-9a-f]+$/ && NF >= 3 { print "FN " dll " " $3 }
    ' <<<"$dump")
    while read -r kind dll fn; do
      [ -n "$kind" ] || continue
      if [ "$kind" = DLL ]; then
        is_allowed_dll "$dll" ||
          fail "$bin imports $dll, which is not a Windows system DLL (link it statically)"
      elif [ $nt5 = 1 ]; then
        for f in "${not_on_nt5[@]}"; do
          [ "$fn" = "$f" ] &&
            fail "$bin imports $fn from $dll, which Windows 2000/XP lack (look it up with GetProcAddress)"
        done
      fi
    done <<<"$imports"

    if [ $nt5 = 1 ]; then
      for field in MajorOSystemVersion MajorSubsystemVersion; do
        v=$(awk -v f="$field" '$1 == f { print $2 }' <<<"$dump")
        minor_field=${field/Major/Minor}
        m=$(awk -v f="$minor_field" '$1 == f { print $2 }' <<<"$dump")
        if [ -n "$v" ] && { [ "$v" -gt 5 ] || { [ "$v" -eq 5 ] && [ "${m:-0}" -gt 0 ]; }; }; then
          fail "$bin: PE header $field $v.$m is newer than Windows 2000 (5.0)"
        fi
      done
    fi
  done < <(find "$tree" \( -name wineprefix -o -name CMakeFiles -o -name _googletest \) -prune \
             -o -type f \( -iname '*.exe' -o -iname '*.dll' \) -print0 | sort -z)
done

if [ $failures -ne 0 ]; then
  echo "check-imports: $failures problem(s) in the Windows binaries" >&2
  exit 1
fi
echo "check-imports: $checked binaries checked, imports OK"
